// tessary: the program. An unattended run ("/SYNC" or "/VERIFY" anywhere on
// the command line) that has no display, or one nobody sees, and every
// "/RESTORE" run here without loading the window system at all; everything
// else is the program with windows, tessary-gui beside this file, which gets
// the same command line.

#include "app/Display.h"
#include "base/Runtime.h"
#include "app/StartUp.h"
#include "base/StatusLog.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <strings.h>
#include <unistd.h>

namespace {

// The arguments after "/RESTORE" (in any letter case), or -1 without it.
int RestoreAt(int argc, char** argv) {
    for (int i = 1; i < argc; ++i)
        if (::strcasecmp(argv[i], "/RESTORE") == 0) return i + 1;
    return -1;
}

}  // namespace

int main(int argc, char** argv) {
    runtime::SetCommandLine(argc, argv);
    // A file cut short by a size limit is a write that fails, not the end of the program.
    std::signal(SIGXFSZ, SIG_IGN);
    if (const int at = RestoreAt(argc, argv); at > 0) {
        statuslog::SetEcho(true);
        if (at + 1 >= argc) {
            ::LogStatus("/RESTORE needs the folder of a job and a target folder: tessary /RESTORE <job folder> <target folder>");
            return 1;
        }
        return app::RestoreWithoutWindows(argv[at], argv[at + 1]);
    }
    const bool verify = runtime::HasVerifySwitch(runtime::Command());
    if ((verify || runtime::HasSyncSwitch(runtime::Command())) && !display::WindowsCanBeSeen()) {
        statuslog::SetEcho(true);
        return app::RunUnattendedWithoutWindows(verify);
    }
    const std::string windows = runtime::AppPath() + "/tessary-gui";
    ::execv(windows.c_str(), argv);
    std::fprintf(stderr, "Tessary cannot start its windows: %s: %s\n", windows.c_str(), std::strerror(errno));
    return 1;
}

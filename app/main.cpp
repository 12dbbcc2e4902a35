// tessary: the program. An unattended run ("/SYNC" anywhere on the command
// line) that has no display, or one nobody sees, runs here without loading
// the window system at all; everything else is the program with windows,
// tessary-gui beside this file, which gets the same command line.

#include "app/Display.h"
#include "base/Runtime.h"
#include "app/StartUp.h"
#include "base/StatusLog.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

int main(int argc, char** argv) {
    runtime::SetCommandLine(argc, argv);
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

// tessary-gui: the program with its windows, started by tessary (see
// main.cpp) whenever windows may be seen. "/SYNC" anywhere on the command
// line runs every folder job unattended and ends the program.

#include "app/Display.h"
#include "shell/MsgBox.h"
#include "base/Runtime.h"
#include "app/StartUp.h"
#include "base/StatusLog.h"
#include "base/UniqueFd.h"
#include "folders/frmFolders.h"
#include "servers/frmServers.h"
#include "shell/frmMain.h"

#include <QApplication>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>

namespace {

constexpr char kNeedsDisplay[] =
    "Tessary needs a display for its windows: run \"tessary /SYNC\" for an unattended run, "
    "or start the windows with \"xvfb-run -a tessary\".\n";

QtMessageHandler g_qtHandler = nullptr;

// An unattended run's standard error is for problems of the run; Qt's own
// remarks (plugin limits, a missing runtime folder) are never about the
// user's files. Only Qt's critical and fatal messages get through.
void KeepQtQuiet(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (type != QtCriticalMsg && type != QtFatalMsg) return;
    if (g_qtHandler) {
        g_qtHandler(type, context, message);
    } else {
        std::fprintf(stderr, "%s\n", message.toLocal8Bit().constData());
    }
}

// A server that answers can still refuse the program (a display of another
// user, a missing cookie), and Qt then aborts. So a child process opens the
// window system first; only its success lets the run use the display.
bool WindowSystemOpensInAChild(char* program) {
    base::UniqueFd ready, opened;
    if (!base::MakePipe(ready, opened)) return false;
    const pid_t pid = ::fork();
    if (pid < 0) return false;
    if (pid == 0) {
        const base::UniqueFd null(::open("/dev/null", O_WRONLY | O_CLOEXEC));
        ::dup2(null.get(), STDOUT_FILENO);
        ::dup2(null.get(), STDERR_FILENO);
        ::unsetenv("SESSION_MANAGER");  // a short-lived child is no session client
        qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString&) {
            if (type == QtFatalMsg) ::_exit(1);  // instead of an abort and its core dump
        });
        int argc = 1;
        char* argv[] = {program, nullptr};
        const QGuiApplication probe(argc, argv);
        const char byte = 1;
        ::_exit(::write(opened.get(), &byte, 1) == 1 ? 0 : 1);
    }
    opened.reset();
    pollfd p{ready.get(), POLLIN, 0};
    char byte = 0;
    const bool answered = ::poll(&p, 1, 10000) == 1 && ::read(ready.get(), &byte, 1) == 1;
    if (!answered) ::kill(pid, SIGKILL);  // a server that never answers
    ::waitpid(pid, nullptr, 0);
    return answered;
}

}  // namespace

int main(int argc, char** argv) {
    runtime::SetCommandLine(argc, argv);
    const bool unattended = runtime::HasSyncSwitch(runtime::Command());
    const display::WindowSystem windows = display::ChooseWindowSystem();
    if (!unattended && !windows.usable) {
        std::fputs(kNeedsDisplay, stderr);
        return 1;
    }
    if (!windows.platform.empty()) qputenv("QT_QPA_PLATFORM", windows.platform.c_str());
    if (unattended) {
        // The log goes to standard output; nobody answers a box.
        statuslog::SetEcho(true);
        msgbox::SetHeadless(true);
        // Without a display that opens, or with one nobody sees, there are
        // no windows to show: the run goes on without the window system.
        const QByteArray platform = qgetenv("QT_QPA_PLATFORM");
        const bool needsAServer = platform.isEmpty() || platform.startsWith("xcb") || platform.startsWith("wayland");
        if (!display::WindowsCanBeSeen() || (needsAServer && !WindowSystemOpensInAChild(argv[0])))
            return app::RunUnattendedWithoutWindows();
        g_qtHandler = qInstallMessageHandler(KeepQtQuiet);
    }

    // No argument is meant for Qt: it sees the program's name only.
    int qtArgc = 1;
    QApplication app(qtArgc, argv);
    QApplication::setApplicationName(QStringLiteral("Tessary"));
    QGuiApplication::setDesktopFileName(QStringLiteral("tessary"));

    frmMain main({&frmServers::ShowWindow, &frmFolders::ShowWindow});
    main.Form_Load();
    // An unattended run ends the program when it is over: its main window
    // never comes up (the run's transfer windows do).
    if (!main.SyncOnStart) main.show();
    return app.exec();
}

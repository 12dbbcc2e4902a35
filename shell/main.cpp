// tessary: the program. "/SYNC" anywhere on the command line runs every
// folder job unattended and ends the program.

#include "shell/Display.h"
#include "shell/MsgBox.h"
#include "shell/Runtime.h"
#include "shell/StatusLog.h"
#include "shell/frmMain.h"

#include <QApplication>

#include <cstdio>

namespace {

constexpr char kNeedsDisplay[] =
    "Tessary needs a display for its windows: run \"tessary /SYNC\" for an unattended run, "
    "or start the windows with \"xvfb-run -a tessary\".\n";

QtMessageHandler g_qtHandler = nullptr;

// An unattended run's standard error is for problems of the run; Qt's own
// remarks (plugin limits, a missing runtime folder) are never about the
// user's files. Only Qt's critical and fatal messages get through.
void KeepQtQuiet(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if ((type == QtCriticalMsg || type == QtFatalMsg) && g_qtHandler) g_qtHandler(type, context, message);
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
        // The log goes to standard output; nobody answers a box; without a
        // display that opens, the windows are drawn offscreen.
        statuslog::SetEcho(true);
        msgbox::SetHeadless(true);
        g_qtHandler = qInstallMessageHandler(KeepQtQuiet);
        if (!windows.usable) qputenv("QT_QPA_PLATFORM", "offscreen");
    }

    // No argument is meant for Qt: it sees the program's name only.
    int qtArgc = 1;
    QApplication app(qtArgc, argv);
    QApplication::setApplicationName(QStringLiteral("Tessary"));
    QGuiApplication::setDesktopFileName(QStringLiteral("tessary"));

    frmMain main;
    main.Form_Load();
    main.show();
    return app.exec();
}

// tessary: the program. "/SYNC" anywhere on the command line runs every
// folder job unattended and ends the program.

#include "shell/MsgBox.h"
#include "shell/Runtime.h"
#include "shell/StatusLog.h"
#include "shell/frmMain.h"

#include <QApplication>

#include <cstdlib>

int main(int argc, char** argv) {
    runtime::SetCommandLine(argc, argv);
    if (runtime::HasSyncSwitch(runtime::Command())) {
        // An unattended run leaves its log on standard output, and needs no
        // display: without one it draws its windows offscreen.
        statuslog::SetEcho(true);
        const bool display = std::getenv("DISPLAY") || std::getenv("WAYLAND_DISPLAY");
        if (!display && !std::getenv("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
        if (qgetenv("QT_QPA_PLATFORM") == "offscreen") msgbox::SetHeadless(true);
    }

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tessary"));

    frmMain main;
    main.Form_Load();
    main.show();
    return app.exec();
}

// tessary-winshot STORE-FOLDER WINDOW OUT.png: opens one window over the
// store in STORE-FOLDER, the way the menus would, and saves a picture of
// it. WINDOW is frmMain, frmServers, frmServerSettings, frmFolders or
// frmFolderSettings; the editors show the first profile or job.

#include "folders/frmFolderSettings.h"
#include "folders/frmFolders.h"
#include "servers/frmServerSettings.h"
#include "servers/frmServers.h"
#include "shell/Runtime.h"
#include "shell/frmMain.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QListWidget>
#include <QWindow>

#include <iostream>
#include <string>

namespace {

// Lets the window come up and paint; gives up after a few seconds.
void WaitUntilExposed(QWidget* w) {
    QElapsedTimer timer;
    timer.start();
    while (!(w->windowHandle() && w->windowHandle()->isExposed()) && timer.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    QCoreApplication::processEvents();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::cerr << "usage: tessary-winshot STORE-FOLDER WINDOW OUT.png\n";
        return 2;
    }
    const std::string window = argv[2];
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tessary"));
    runtime::SetAppPathForTesting(argv[1]);

    frmMain main;
    main.Form_Load();  // opens the store and writes the start-up lines
    QWidget* shot = nullptr;
    if (window == "frmMain") {
        // A few lines of real work below the start-up lines.
        main.cmdSites_Click();
        frmServers::Loaded()->close();
        main.cmdFoldersList_Click();
        frmFolders::Loaded()->lstServers->setCurrentRow(0);
        frmFolders::Loaded()->lstServers_DblClick();
        frmFolderSettings::Loaded()->close();
        frmFolders::Loaded()->close();
        main.show();
        shot = &main;
    } else if (window == "frmServers") {
        frmServers::ShowWindow();
        frmServers::Loaded()->lstServers->setCurrentRow(1);
        shot = frmServers::Loaded();
    } else if (window == "frmServerSettings") {
        frmServerSettings::ShowWindow().FetchInfo(1);
        shot = frmServerSettings::Loaded();
    } else if (window == "frmFolders") {
        frmFolders::ShowWindow();
        frmFolders::Loaded()->lstServers->setCurrentRow(0);
        shot = frmFolders::Loaded();
    } else if (window == "frmFolderSettings") {
        frmFolderSettings::ShowWindow().FetchInfo(1);
        shot = frmFolderSettings::Loaded();
    } else {
        std::cerr << "tessary-winshot: no window named " << window << "\n";
        return 2;
    }
    WaitUntilExposed(shot);
    if (!shot->grab().save(QString::fromLocal8Bit(argv[3]))) {
        std::cerr << "tessary-winshot: cannot write " << argv[3] << "\n";
        return 1;
    }
    return 0;
}

// tessary-winshot STORE-FOLDER WINDOW OUT.png: one window over the store in STORE-FOLDER, opened as the
// menus would, saved as a picture. WINDOW is frmMain, frmServers, frmServerSettings, frmFolders or
// frmFolderSettings; the editors show the first profile or job.

#include "folders/frmFolderSettings.h"
#include "folders/frmFolders.h"
#include "servers/frmServerSettings.h"
#include "servers/frmServers.h"
#include "base/Runtime.h"
#include "shell/frmMain.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QListWidget>
#include <QWindow>

#include <iostream>

int main(int argc, char** argv) {
    if (argc != 4) return std::cerr << "usage: tessary-winshot STORE-FOLDER WINDOW OUT.png\n", 2;
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tessary"));
    runtime::SetAppPathForTesting(argv[1]);
    frmMain main;
    main.Form_Load();  // opens the store and writes the start-up lines
    const std::string name = argv[2];
    QWidget* shot = nullptr;
    if (name == "frmMain") {  // a few lines of real work below the start-up lines
        main.cmdSites_Click();
        frmServers::Loaded()->close();
        main.cmdFoldersList_Click();
        frmFolders::Loaded()->lstServers->setCurrentRow(0);
        frmFolders::Loaded()->lstServers_DblClick();
        frmFolderSettings::Loaded()->close();
        frmFolders::Loaded()->close();
        main.show();
        shot = &main;
    } else if (name == "frmServers" || name == "frmFolders") {  // the second profile or the first job selected
        ListWindow& list = name == "frmServers" ? static_cast<ListWindow&>(frmServers::Show()) : frmFolders::Show();
        list.lstServers->setCurrentRow(name == "frmServers" ? 1 : 0);
        shot = &list;
    } else if (name == "frmServerSettings") {
        frmServerSettings::Show().FetchInfo(1);
        shot = frmServerSettings::Loaded();
    } else if (name == "frmFolderSettings") {
        frmFolderSettings::Show().FetchInfo(1);
        shot = frmFolderSettings::Loaded();
    } else {
        return std::cerr << "tessary-winshot: no window named " << name << "\n", 2;
    }
    // Lets the window come up and paint; gives up after a few seconds.
    QElapsedTimer timer;
    timer.start();
    while (!(shot->windowHandle() && shot->windowHandle()->isExposed()) && timer.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    QCoreApplication::processEvents();
    if (shot->grab().save(QString::fromLocal8Bit(argv[3]))) return 0;
    return std::cerr << "tessary-winshot: cannot write " << argv[3] << "\n", 1;
}

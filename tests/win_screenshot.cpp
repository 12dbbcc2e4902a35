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

#include <functional>
#include <iostream>
#include <map>

static QWidget* Selected(ListWindow& list, int row) { return list.lstServers->setCurrentRow(row), &list; }
template <class Editor>
static QWidget* Fetched(Editor& editor) { return editor.FetchInfo(1), &editor; }

int main(int argc, char** argv) {
    if (argc != 4) {
        std::cerr << "usage: tessary-winshot STORE-FOLDER WINDOW OUT.png\n";
        return 2;
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tessary"));
    runtime::SetAppPathForTesting(argv[1]);
    frmMain main;
    main.Form_Load();  // opens the store and writes the start-up lines
    const std::map<std::string, std::function<QWidget*()>> windows{
        {"frmMain", [&]() -> QWidget* {
             // A few lines of real work below the start-up lines.
             main.cmdSites_Click();
             frmServers::Loaded()->close();
             main.cmdFoldersList_Click();
             frmFolders::Loaded()->lstServers->setCurrentRow(0);
             frmFolders::Loaded()->lstServers_DblClick();
             frmFolderSettings::Loaded()->close();
             frmFolders::Loaded()->close();
             main.show();
             return &main;
         }},
        {"frmServers", [] { return Selected(frmServers::Show(), 1); }},
        {"frmServerSettings", [] { return Fetched(frmServerSettings::Show()); }},
        {"frmFolders", [] { return Selected(frmFolders::Show(), 0); }},
        {"frmFolderSettings", [] { return Fetched(frmFolderSettings::Show()); }},
    };
    const auto open = windows.find(argv[2]);
    if (open == windows.end()) {
        std::cerr << "tessary-winshot: no window named " << argv[2] << "\n";
        return 2;
    }
    QWidget* shot = open->second();
    // Lets the window come up and paint; gives up after a few seconds.
    QElapsedTimer timer;
    timer.start();
    while (!(shot->windowHandle() && shot->windowHandle()->isExposed()) && timer.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    QCoreApplication::processEvents();
    if (!shot->grab().save(QString::fromLocal8Bit(argv[3]))) {
        std::cerr << "tessary-winshot: cannot write " << argv[3] << "\n";
        return 1;
    }
    return 0;
}

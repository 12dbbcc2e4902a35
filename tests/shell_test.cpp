// The main window over a real store: the start-up lines and the failed start-up, the status log's
// limit, a sync on its own thread, shutdown and the menus; and the transfer window on top while connected.

#include "shell/frmFTP.h"
#include "shell/modAlwaysOnTop.h"
#include "base/Runtime.h"
#include "base/StatusLog.h"
#include "shell/frmMain.h"
#include "tests/support/FtpServer.h"
#include "tests/win_fixture.h"

#include <QApplication>
#include <QPushButton>
#include <QSet>

#include <filesystem>

namespace {

namespace fs = std::filesystem;
using wintest::Boxes;
using wintest::Entries;

struct Ended { int status; };  // End() throws this instead of ending the test program

// The store in the program's folder, where Form_Load looks for it.
class MainWindow : public wintest::WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        runtime::SetAppPathForTesting(dir.path());
        runtime::SetEndHookForTesting([](int status) { throw Ended{status}; });
    }
    void TearDown() override {
        store::StoreRecordset = {};
        WindowTest::TearDown();
        runtime::SetEndHookForTesting({});
        runtime::SetAppPathForTesting({});
    }
};

TEST_F(MainWindow, StartUpWritesItsLinesOrSaysWhatFailed) {
    const QString failed = "An error has destroyed the chances of this program functioning";
    const std::tuple<const char*, QStringList, const char*> cases[] = {  // the store; the lines; the error names
        {"clean", {"Init Program", "Setting Database Connection String", "Opened Database", "Run Query on settings",
                   "Test Query and settings loaded"}, nullptr},
        {"none", {"Init Program", "Setting Database Connection String", failed}, "information.mdb"},
        {"no job table", {"Init Program", "Setting Database Connection String", "Opened Database", failed}, "Tessary"}};
    for (const auto& [store, lines, detail] : cases) {
        SCOPED_TRACE(store);
        testsupport::TempDir app;
        runtime::SetAppPathForTesting(app.path());
        if (store != std::string("none")) testsupport::MakeStore(app.path());
        if (store == std::string("no job table")) {
            testsupport::OpenStoreIn(app.path());
            store::StoreConnection().Execute("drop table Tessary");
            store::StoreConnection().Close();
        }
        frmMain main;
        main.Form_Load();
        const QStringList shown = Entries(main.lstStatus);
        EXPECT_EQ(shown.mid(0, lines.size()), lines);
        EXPECT_EQ(shown.size(), lines.size() + (detail ? 1 : 0));
        EXPECT_TRUE(!detail || shown.last().contains(detail)) << shown.last().toStdString();
        EXPECT_EQ(Boxes().join(""), detail ? "EEK|16|An error occured while attempting to open settings" : "");
        store::StoreConnection().Close();
    }
}

TEST_F(MainWindow, StatusLogEmptiesItselfAtFourHundredLines) {
    frmMain main;
    const QString cleared = "Cleared due to too much data";
    const std::tuple<int, int, int, QString> cases[] = {  // lines written, count, selected row, last line
        {1, 1, 0, "line 1"}, {399, 399, 398, "line 399"}, {400, 1, -1, cleared}, {401, 2, 1, "line 401"}};
    for (const auto& [calls, count, selected, last] : cases) {
        main.lstStatus->clear();
        for (int i = 1; i <= calls; ++i) ::LogStatus("line " + std::to_string(i));
        EXPECT_EQ(main.lstStatus->count(), count) << calls;
        EXPECT_EQ(Entries(main.lstStatus).last(), last) << calls;
        EXPECT_EQ(main.lstStatus->currentRow(), selected) << calls;
    }
    ::LogStatus("");
    EXPECT_EQ(main.lstStatus->count(), 3) << "an empty text is a line too";
}

TEST_F(MainWindow, SyncNowRunsOnItsOwnThreadAndShowsTheTransferWindow) {
    frmMain main;
    main.Form_Load();
    testsupport::FtpServer server(dir / "root");
    fs::create_directories(dir / "root/backup");
    testsupport::WriteFile(dir / "data/a.txt", "a");
    testsupport::AddJob(dir / "data", testsupport::AddProfile(server.port()));
    struct : QObject {  // the transfer windows shown
        bool eventFilter(QObject* o, QEvent* e) override {
            if (e->type() == QEvent::Show && qobject_cast<frmFTP*>(o)) shown.insert(o);
            return false;
        }
        QSet<QObject*> shown;
    } transferWindows;
    qApp->installEventFilter(&transferWindows);
    main.cmdSyncNow_Click();
    EXPECT_TRUE(main.SyncRunning()) << "the click returns at once";
    main.cmdSyncNow_Click();
    EXPECT_TRUE(QTest::qWaitFor([&] { return !main.SyncRunning(); }, 30000));
    qApp->removeEventFilter(&transferWindows);
    const QStringList lines = Entries(main.lstStatus);
    for (const char* line : {"User initiated Sync", "A sync is already running.", "FTP Info: File transfered!"})
        EXPECT_TRUE(lines.contains(line)) << line;
    EXPECT_EQ(lines.last(), "All Sync's Complete");
    EXPECT_EQ(testsupport::ReadFile(server.root() + "/backup" + dir.path() + "/data/a.txt"), "a");
    EXPECT_EQ(transferWindows.shown.size(), 1);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(main.findChildren<frmFTP*>().isEmpty()) << "the job's window goes with the job";
}

TEST_F(MainWindow, ExitTheCloseBoxAndTheMenus) {
    frmMain main({&frmServers::ShowWindow, &frmFolders::ShowWindow});
    main.Form_Load();
    EXPECT_THROW(main.cmdExit_Click(), Ended);
    main.show();
    EXPECT_THROW(main.close(), Ended);
    main.cmdBlank->trigger();
    for (QAction* open : {main.cmdSites, main.cmdSites, main.cmdFoldersList, main.cmdFoldersList}) open->trigger();
    EXPECT_TRUE(frmServers::Loaded() && frmServers::Loaded()->isVisible() && frmFolders::Loaded()->isVisible());
    EXPECT_EQ(Entries(main.lstStatus).mid(5),
              (QStringList{"Listing Settings in Servers Screen", "Listing Settings in Folders Screen"}));

    main.mnuClearFolderInfo_Click();
    EXPECT_TRUE(Boxes().value(0).startsWith("Clear selected information|64|You can clear a folders information"));
    AddFile("/data/a.txt", 1);
    msgbox::QueueAnswer(vbNo);
    main.mnuForceClear_Click();
    EXPECT_EQ(Count("myFiles"), 1);
    const QStringList asked = Boxes();
    EXPECT_TRUE(asked.size() == 2 && asked[0].startsWith("!!!WARNING!!!|4|This will wipe ALL status information") &&
                asked[1] == "Aborted|64|Operation aborted!") << asked.join('\n').toStdString();
    msgbox::QueueAnswer(vbYes);
    main.mnuForceClear_Click();
    EXPECT_EQ(Count("myFiles"), 0);
    EXPECT_EQ(Boxes().last(), "Result|64|Complete, information cleared\r\nSelect Sync --> Now to re-backup everything");
    store::StoreConnection().Close();
    msgbox::QueueAnswer(vbYes);
    main.mnuForceClear_Click();
    EXPECT_EQ(Boxes().last(), "Tessary|16|Operation is not allowed when the object is closed.");
    EXPECT_EQ(Entries(main.lstStatus).size(), 7) << "the database menu logs nothing";
}

TEST_F(MainWindow, TransferWindowIsOnTopWhileConnectedUntilHideOrUnload) {
    QWidget hidden;
    SetAlwaysOnTop(&hidden, true);
    EXPECT_FALSE(hidden.isVisible()) << "a hidden window stays hidden when put on top";
    testsupport::FtpServer server(dir / "root");
    const auto job = testsupport::AddJob("/x", testsupport::AddProfile(server.port(), "secret", "/"), "NO");
    QWidget owner;
    owner.show();
    frmFTP window(&owner);
    window.show();
    QApplication::processEvents();
    const QRect place = window.geometry();
    const auto onTop = [&] { return window.windowFlags().testFlag(Qt::WindowStaysOnTopHint); };
    for (int step : {0, 1, 2}) {  // connect, connect again (on top already), hide: the window stays where it is
        if (step == 2) window.findChild<QPushButton*>("cmdHide")->click();
        EXPECT_TRUE(step == 2 || window.ConnectToFTP(job));
        QApplication::processEvents();
        EXPECT_TRUE(onTop() == (step < 2) && window.isVisible() && window.geometry() == place) << step;
    }
    testsupport::WriteFile(dir / "a.txt", "a");
    EXPECT_TRUE(window.UploadFile(dir / "a.txt", "a.txt", ""));
    EXPECT_EQ(window.StatusText(), "Scanning Files..");
    window.Unload();
    QApplication::processEvents();
    EXPECT_FALSE(window.isVisible() || onTop());
    EXPECT_EQ(log.Lines().back(), "FTP Info: I have disconnected from the server.");
}

}  // namespace

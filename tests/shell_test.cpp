// The main window over a real store in a temporary folder: the start-up
// lines and the failed start-up, the status log's limit, resizing, a sync
// on its own thread, the unattended run of the real program, shutdown and
// the menus.

#include "ftp/frmFTP.h"
#include "servers/frmServers.h"
#include "shell/MsgBox.h"
#include "shell/Runtime.h"
#include "shell/StatusLog.h"
#include "shell/Twips.h"
#include "shell/frmMain.h"
#include "store/Store.h"
#include "tests/support/Fixtures.h"
#include "tests/support/FtpServer.h"
#include "tests/win_fixture.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QListWidget>
#include <QMenuBar>
#include <QSet>
#include <QTimer>

#include <gtest/gtest.h>

#include <filesystem>

namespace {

namespace fs = std::filesystem;
using wintest::Boxes;
using wintest::WaitUntil;

struct Ended {  // End() throws this instead of ending the test program
    int status;
};

const QStringList kCleanStart{"Init Program", "Setting Database Connection String", "Opened Database",
                              "Run Query on settings", "Test Query and settings loaded"};

class MainWindow : public ::testing::Test {
protected:
    void SetUp() override {
        runtime::SetAppPathForTesting(dir.path());
        runtime::SetEndHookForTesting([](int status) { throw Ended{status}; });
        runtime::SetCommandLine(0, nullptr);
        msgbox::EnableTestMode(true);
    }
    void TearDown() override {
        wintest::UnloadAll();
        store::StoreRecordset = {};
        store::StoreConnection().Close();
        runtime::SetEndHookForTesting({});
        runtime::SetAppPathForTesting({});
        msgbox::EnableTestMode(true);
    }
    static QStringList Lines(const frmMain& main) {
        QStringList lines;
        for (int i = 0; i < main.lstStatus->count(); ++i) lines << main.lstStatus->item(i)->text();
        return lines;
    }
    testsupport::TempDir dir;
};

TEST_F(MainWindow, StartUpWritesItsLinesOrSaysWhatFailed) {
    const struct {
        const char* what;
        bool store, jobTable;
        QStringList lines;
        const char* detail;  // what the last line names, after a failure
    } cases[] = {
        {"clean", true, true, kCleanStart, nullptr},
        {"no store", false, false, {"Init Program", "Setting Database Connection String"}, "information.mdb"},
        {"no job table", true, false, {"Init Program", "Setting Database Connection String", "Opened Database"},
         "Tessary"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        testsupport::TempDir app;
        runtime::SetAppPathForTesting(app.path());
        if (c.store) testsupport::MakeStore(app.path());
        if (!c.jobTable && c.store) {
            testsupport::OpenStoreIn(app.path());
            store::StoreConnection().Execute("drop table Tessary");
            store::StoreConnection().Close();
        }
        frmMain main;
        main.Form_Load();
        QStringList expected = c.lines;
        if (c.detail) expected << "An error has destroyed the chances of this program functioning";
        EXPECT_EQ(Lines(main).mid(0, expected.size()), expected);
        EXPECT_EQ(Lines(main).size(), expected.size() + (c.detail ? 1 : 0));
        if (c.detail) {
            EXPECT_TRUE(Lines(main).last().contains(c.detail)) << Lines(main).last().toStdString();
            EXPECT_EQ(Boxes(), QStringList{"EEK|16|An error occured while attempting to open settings"});
        } else {
            EXPECT_TRUE(Boxes().isEmpty());
        }
        EXPECT_EQ(store::StoreConnection().IsOpen(), c.store);
        EXPECT_EQ(fs::exists(app / "information.mdb"), c.store) << "a missing store is never made";
        EXPECT_EQ(main.windowTitle(), "Tessary - v. 0.8");
        store::StoreConnection().Close();
    }
}

TEST_F(MainWindow, StatusLogEmptiesItselfAtFourHundredLines) {
    frmMain main;
    const QString cleared = "Cleared due to too much data";
    const struct {
        int calls, count, selected;
        QString last;
    } cases[] = {{1, 1, 0, "line 1"}, {399, 399, 398, "line 399"}, {400, 1, -1, cleared}, {401, 2, 1, "line 401"}};
    for (const auto& c : cases) {
        main.lstStatus->clear();
        for (int i = 1; i <= c.calls; ++i) ::LogStatus("line " + std::to_string(i));
        EXPECT_EQ(main.lstStatus->count(), c.count) << c.calls;
        EXPECT_EQ(Lines(main).last(), c.last) << c.calls;
        EXPECT_EQ(main.lstStatus->currentRow(), c.selected) << c.calls;
    }
    ::LogStatus("");
    EXPECT_EQ(main.lstStatus->count(), 3) << "an empty text is a line too";
}

TEST_F(MainWindow, StatusListFollowsTheWindowSize) {
    frmMain main;
    main.show();
    main.resize(Px(8550), Px(6000));
    QApplication::processEvents();
    const QRect before = main.lstStatus->geometry();
    main.resize(main.width() + 67, main.height() + 67);
    QApplication::processEvents();
    const QRect after = main.lstStatus->geometry();
    EXPECT_EQ(after.size(), before.size() + QSize(67, 67));
    EXPECT_EQ(after.topLeft(), QPoint(Px(30), Px(30)));
    EXPECT_EQ(after.height(), main.frameGeometry().height() - Px(780));
    EXPECT_EQ(after.width(), main.frameGeometry().width() - Px(195));
    main.setMinimumSize(0, 0);  // too low for the margin: the height stays, the width follows
    main.resize(Px(6000), Px(600));
    QApplication::processEvents();
    ASSERT_LT(main.frameGeometry().height(), Px(780));
    EXPECT_EQ(main.lstStatus->height(), after.height());
    EXPECT_EQ(main.lstStatus->width(), main.frameGeometry().width() - Px(195));
}

TEST_F(MainWindow, SyncNowRunsOnItsOwnThreadAndShowsTheTransferWindow) {
    testsupport::MakeStore(dir.path());
    frmMain main;
    main.Form_Load();
    testsupport::FtpServer server(dir / "root");
    fs::create_directories(dir / "root/backup");
    testsupport::WriteFile(dir / "data/a.txt", "a");
    testsupport::AddJob(dir / "data", testsupport::AddProfile(server.port()));
    struct : QObject {
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
    EXPECT_TRUE(WaitUntil([&] { return !main.SyncRunning(); }));
    qApp->removeEventFilter(&transferWindows);
    const QStringList lines = Lines(main);
    EXPECT_TRUE(lines.contains("User initiated Sync"));
    EXPECT_TRUE(lines.contains("A sync is already running."));
    EXPECT_TRUE(lines.contains("FTP Info: File transfered!")) << lines.join('\n').toStdString();
    EXPECT_EQ(lines.last(), "All Sync's Complete");
    EXPECT_EQ(testsupport::ReadFile(server.root() + "/backup" + dir.path() + "/data/a.txt"), "a");
    EXPECT_EQ(transferWindows.shown.size(), 1);
    wintest::FlushDeletes();
    EXPECT_TRUE(main.findChildren<frmFTP*>().isEmpty()) << "the job's window goes with the job";
}

TEST_F(MainWindow, TheUnattendedRunWritesItsLinesAndEnds) {
    fs::copy_file(TESSARY_EXE, dir / "tessary");
    testsupport::MakeStore(dir.path());
    const auto run = testsupport::RunProgram(dir / "tessary", {"--quiet", "/sync"}, {"QT_QPA_PLATFORM=offscreen"});
    EXPECT_EQ(run.status, 0) << run.err;  // no jobs: a clean run
    EXPECT_EQ(run.out, (kCleanStart + QStringList{"User initiated Sync", "All Sync's Complete", ""}).join('\n').toStdString());
}

TEST_F(MainWindow, ExitAndTheCloseBoxEndTheProcess) {
    frmMain main;
    EXPECT_THROW(main.cmdExit_Click(), Ended);
    main.show();
    try {
        main.close();
        FAIL() << "closing the main window must end the process";
    } catch (const Ended& e) {
        EXPECT_EQ(e.status, 0);
    }
}

TEST_F(MainWindow, MenusOpenTheOneListEachAndAskBeforeClearing) {
    testsupport::MakeStore(dir.path());
    frmMain main;
    main.Form_Load();
    QStringList menus;
    for (QAction* a : main.menuBar()->actions()) menus << a->text();
    EXPECT_EQ(menus, (QStringList{"&File", "&Sync", "&Database"}));
    EXPECT_EQ(QStringList({main.cmdSites->text(), main.cmdFoldersList->text(), main.cmdBlank->text(),
                           main.cmdExit->text(), main.cmdSyncNow->text(), main.mnuForceClear->text(),
                           main.mnuClearFolderInfo->text()}),
              (QStringList{"&Sites List", "&Folders List", "", "E&xit", "&Now", "&Force Entire Backup",
                           "&Clear Information for a folder"}));
    main.cmdBlank->trigger();
    for (QAction* open : {main.cmdSites, main.cmdSites, main.cmdFoldersList, main.cmdFoldersList}) open->trigger();
    EXPECT_TRUE(frmServers::Loaded() && frmServers::Loaded()->isVisible());
    EXPECT_EQ(Lines(main).mid(5), (QStringList{"Listing Settings in Servers Screen", "Listing Settings in Folders Screen"}));

    main.mnuClearFolderInfo_Click();
    EXPECT_EQ(Boxes(), QStringList{"Clear selected information|64|You can clear a folders information in the File --> "
                                   "Folders area\r\nDouble click on the folder and then select Clear Information"});
    auto& db = store::StoreConnection();
    db.Execute("insert into myFiles (FullPath, SyncID) values('/data/a.txt', '1')");
    testsupport::AddJob("/data", 1);
    const auto files = [&] { return db.Execute("select count(*) as n from myFiles").FieldInt("n"); };
    msgbox::QueueAnswer(vbNo);
    main.mnuForceClear_Click();
    EXPECT_EQ(files(), 1);
    const QStringList asked = Boxes();
    ASSERT_EQ(asked.size(), 2);
    EXPECT_TRUE(asked[0].startsWith("!!!WARNING!!!|4|This will wipe ALL status information for the files in your "
                                    "backup set.\r\n"));
    EXPECT_TRUE(asked[0].endsWith("\r\n\r\n\r\nAre you entirely sure you wish to clear all your file state information?"));
    EXPECT_EQ(asked[1], "Aborted|64|Operation aborted!");
    msgbox::QueueAnswer(vbYes);
    main.mnuForceClear_Click();
    EXPECT_EQ(files(), 0);
    EXPECT_EQ(db.Execute("select count(*) as n from Tessary").FieldInt("n"), 1);
    EXPECT_EQ(Boxes().last(), "Result|64|Complete, information cleared\r\nSelect Sync --> Now to re-backup everything");
    db.Close();
    msgbox::QueueAnswer(vbYes);
    main.mnuForceClear_Click();
    EXPECT_EQ(Boxes().last(), "Tessary|16|Operation is not allowed when the object is closed.");
    EXPECT_EQ(Lines(main).size(), 7) << "the database menu logs nothing";
}

}  // namespace

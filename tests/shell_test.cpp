// The main window over a real store in a temporary folder: start-up lines,
// the failed start-up, the status log's limit, resizing, shutdown and the
// Database menu.

#include "shell/MsgBox.h"
#include "shell/Runtime.h"
#include "shell/StatusLog.h"
#include "shell/Twips.h"
#include "shell/frmMain.h"
#include "store/Store.h"
#include "tests/support/TempDir.h"

#include <QApplication>
#include <QListWidget>
#include <QMenuBar>

#include <gtest/gtest.h>

#include <filesystem>
#include <sqlite3.h>

using testsupport::TempDir;

namespace {

// End() throws this instead of ending the test program.
struct Ended {
    int status;
};

class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        runtime::SetAppPathForTesting(dir.path());
        runtime::SetEndHookForTesting([](int status) { throw Ended{status}; });
        SetCommandLine({});
        msgbox::EnableTestMode(true);
        store::StoreConnection().Close();
    }
    void TearDown() override {
        store::StoreRecordset = {};
        store::StoreConnection().Close();
        runtime::SetEndHookForTesting({});
        runtime::SetAppPathForTesting({});
    }
    static void SetCommandLine(std::vector<std::string> args) {
        args.insert(args.begin(), "tessary");
        std::vector<char*> argv;
        for (auto& a : args) argv.push_back(a.data());
        runtime::SetCommandLine(static_cast<int>(argv.size()), argv.data());
    }
    QStringList Lines() const {
        QStringList lines;
        for (int i = 0; i < main.lstStatus->count(); ++i) lines << main.lstStatus->item(i)->text();
        return lines;
    }

    TempDir dir;
    frmMain main;
};

const QStringList kCleanStart{"Init Program", "Setting Database Connection String", "Opened Database",
                              "Run Query on settings", "Test Query and settings loaded"};

TEST_F(MainWindowTest, CleanStartWritesTheFiveLines) {
    testsupport::MakeStore(dir.path());
    main.Form_Load();
    EXPECT_EQ(Lines(), kCleanStart);
    EXPECT_TRUE(msgbox::ShownBoxes().empty());
    EXPECT_FALSE(main.SyncOnStart);
    EXPECT_TRUE(store::StoreConnection().IsOpen());
    EXPECT_EQ(main.windowTitle(), "Tessary - v. 0.8");
}

TEST_F(MainWindowTest, MissingStoreShowsTheBoxAndStaysUpWithoutCreatingIt) {
    main.Form_Load();
    main.show();
    const QStringList lines = Lines();
    ASSERT_EQ(lines.size(), 4);
    EXPECT_EQ(lines[0], "Init Program");
    EXPECT_EQ(lines[1], "Setting Database Connection String");
    EXPECT_EQ(lines[2], "An error has destroyed the chances of this program functioning");
    EXPECT_TRUE(lines[3].contains("information.mdb")) << lines[3].toStdString();
    ASSERT_EQ(msgbox::ShownBoxes().size(), 1u);
    EXPECT_EQ(msgbox::ShownBoxes()[0].text, "An error occured while attempting to open settings");
    EXPECT_EQ(msgbox::ShownBoxes()[0].style, vbCritical);
    EXPECT_EQ(msgbox::ShownBoxes()[0].title, "EEK");
    EXPECT_TRUE(main.isVisible());
    EXPECT_FALSE(std::filesystem::exists(dir / "information.mdb"));
}

TEST_F(MainWindowTest, StoreWithoutJobTableFailsAfterOpening) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open((dir / "information.mdb").c_str(), &db), SQLITE_OK);
    sqlite3_exec(db, "create table mySettings (SettingsID integer primary key)", nullptr, nullptr, nullptr);
    sqlite3_close(db);
    main.Form_Load();
    const QStringList lines = Lines();
    ASSERT_EQ(lines.size(), 5);
    EXPECT_EQ(lines[2], "Opened Database");
    EXPECT_EQ(lines[3], "An error has destroyed the chances of this program functioning");
    EXPECT_TRUE(lines[4].contains("Tessary")) << lines[4].toStdString();
    EXPECT_EQ(msgbox::ShownBoxes().size(), 1u);
}

TEST_F(MainWindowTest, StatusLogEmptiesItselfAtFourHundredLines) {
    struct Case { int calls; QStringList expected; int selected; };
    const QString cleared = "Cleared due to too much data";
    const Case cases[] = {
        {1, {"line 1"}, 0},
        {399, {}, 398},  // full list, newest selected
        {400, {cleared}, -1},
        {401, {cleared, "line 401"}, 1},
    };
    for (const auto& c : cases) {
        main.lstStatus->clear();
        for (int i = 1; i <= c.calls; ++i) ::LogStatus("line " + std::to_string(i));
        if (c.calls == 399) {
            EXPECT_EQ(main.lstStatus->count(), 399);
            EXPECT_EQ(main.lstStatus->item(398)->text(), "line 399");
        } else {
            EXPECT_EQ(Lines(), c.expected) << c.calls;
        }
        EXPECT_EQ(main.lstStatus->currentRow(), c.selected) << c.calls;
    }
    main.lstStatus->clear();
    ::LogStatus("");
    EXPECT_EQ(main.lstStatus->count(), 1);  // an empty text is a line too
}

TEST_F(MainWindowTest, StatusListFollowsTheWindowSize) {
    main.show();
    main.resize(Px(8550), Px(6000));
    QApplication::processEvents();
    const QRect before = main.lstStatus->geometry();
    const int grow = Px(1005);  // 67 pixels
    main.resize(main.width() + grow, main.height() + grow);
    QApplication::processEvents();
    const QRect after = main.lstStatus->geometry();
    EXPECT_EQ(after.width(), before.width() + grow);
    EXPECT_EQ(after.height(), before.height() + grow);
    EXPECT_EQ(after.topLeft(), QPoint(Px(30), Px(30)));
    EXPECT_EQ(after.height(), main.frameGeometry().height() - Px(780));
    EXPECT_EQ(after.width(), main.frameGeometry().width() - Px(195));

    // Too low for the margin: the height stays, the width still follows.
    main.setMinimumSize(0, 0);
    main.resize(Px(6000), Px(600));
    QApplication::processEvents();
    ASSERT_LT(main.frameGeometry().height(), Px(780));
    EXPECT_EQ(main.lstStatus->height(), after.height());
    EXPECT_EQ(main.lstStatus->width(), main.frameGeometry().width() - Px(195));
}

TEST_F(MainWindowTest, ExitAndCloseBoxEndTheProcess) {
    try {
        main.cmdExit_Click();
        FAIL() << "File, Exit must end the process";
    } catch (const Ended& e) {
        EXPECT_EQ(e.status, 0);
    }
    main.show();
    try {
        main.close();
        FAIL() << "closing the main window must end the process";
    } catch (const Ended& e) {
        EXPECT_EQ(e.status, 0);
    }
}

TEST_F(MainWindowTest, SyncSwitchRunsAndEndsTheProgram) {
    testsupport::MakeStore(dir.path());
    SetCommandLine({"--quiet", "/sync"});
    try {
        main.Form_Load();
        FAIL() << "an unattended run ends the program";
    } catch (const Ended& e) {
        EXPECT_EQ(e.status, 0);  // no jobs: a clean run
    }
    EXPECT_TRUE(main.SyncOnStart);
    const QStringList lines = Lines();
    ASSERT_GE(lines.size(), 7);
    EXPECT_EQ(lines.mid(0, 5), kCleanStart);
    EXPECT_EQ(lines[5], "User initiated Sync");
    EXPECT_EQ(lines.last(), "All Sync's Complete");
}

TEST_F(MainWindowTest, MenuTreeCaptions) {
    QStringList menus;
    for (QAction* a : main.menuBar()->actions()) menus << a->text();
    EXPECT_EQ(menus, (QStringList{"&File", "&Sync", "&Database"}));
    EXPECT_EQ(main.cmdSites->text(), "&Sites List");
    EXPECT_EQ(main.cmdFoldersList->text(), "&Folders List");
    EXPECT_EQ(main.cmdBlank->text(), "");
    EXPECT_EQ(main.cmdExit->text(), "E&xit");
    EXPECT_EQ(main.cmdSyncNow->text(), "&Now");
    EXPECT_EQ(main.mnuForceClear->text(), "&Force Entire Backup");
    EXPECT_EQ(main.mnuClearFolderInfo->text(), "&Clear Information for a folder");
    main.cmdBlank->trigger();  // does nothing
    EXPECT_TRUE(msgbox::ShownBoxes().empty());
}

TEST_F(MainWindowTest, ForceEntireBackupAsksFirst) {
    testsupport::MakeStore(dir.path());
    main.Form_Load();
    auto& conn = store::StoreConnection();
    conn.Execute("insert into myFiles (FullPath, SyncID) values('/data/a.txt', '1')");
    conn.Execute("insert into Tessary (Folder, SettingsID, SubDirs) values('/data', '1', 'NO')");
    const int linesBefore = main.lstStatus->count();
    auto count = [&] { return conn.Execute("select count(*) as n from myFiles").FieldInt("n"); };

    msgbox::QueueAnswer(vbNo);
    main.mnuForceClear_Click();
    EXPECT_EQ(count(), 1);
    ASSERT_EQ(msgbox::ShownBoxes().size(), 2u);
    EXPECT_EQ(msgbox::ShownBoxes()[0].style, vbYesNo);
    EXPECT_EQ(msgbox::ShownBoxes()[0].title, "!!!WARNING!!!");
    EXPECT_TRUE(msgbox::ShownBoxes()[0].text.startsWith(
        "This will wipe ALL status information for the files in your backup set.\r\n"));
    EXPECT_TRUE(msgbox::ShownBoxes()[0].text.endsWith(
        "option.\r\n\r\n\r\nAre you entirely sure you wish to clear all your file state information?"));
    EXPECT_EQ(msgbox::ShownBoxes()[1].text, "Operation aborted!");
    EXPECT_EQ(msgbox::ShownBoxes()[1].title, "Aborted");

    msgbox::ClearShown();
    msgbox::QueueAnswer(vbYes);
    main.mnuForceClear_Click();
    EXPECT_EQ(count(), 0);
    EXPECT_EQ(conn.Execute("select count(*) as n from Tessary").FieldInt("n"), 1);
    ASSERT_EQ(msgbox::ShownBoxes().size(), 2u);
    EXPECT_EQ(msgbox::ShownBoxes()[1].text,
              "Complete, information cleared\r\nSelect Sync --> Now to re-backup everything");
    EXPECT_EQ(msgbox::ShownBoxes()[1].style, vbInformation);
    EXPECT_EQ(msgbox::ShownBoxes()[1].title, "Result");
    EXPECT_EQ(main.lstStatus->count(), linesBefore);  // nothing logged
}

TEST_F(MainWindowTest, ForceEntireBackupWithoutAStoreSaysWhy) {
    main.Form_Load();  // no store: the connection stays closed
    msgbox::ClearShown();
    msgbox::QueueAnswer(vbYes);
    main.mnuForceClear_Click();
    ASSERT_EQ(msgbox::ShownBoxes().size(), 2u);
    EXPECT_EQ(msgbox::ShownBoxes()[1].style, vbCritical);
    EXPECT_EQ(msgbox::ShownBoxes()[1].text, "Operation is not allowed when the object is closed.");
}

TEST_F(MainWindowTest, ClearInformationForAFolderIsAHint) {
    main.mnuClearFolderInfo_Click();
    ASSERT_EQ(msgbox::ShownBoxes().size(), 1u);
    EXPECT_EQ(msgbox::ShownBoxes()[0].text,
              "You can clear a folders information in the File --> Folders area\r\n"
              "Double click on the folder and then select Clear Information");
    EXPECT_EQ(msgbox::ShownBoxes()[0].style, vbInformation);
    EXPECT_EQ(msgbox::ShownBoxes()[0].title, "Clear selected information");
}

}  // namespace

// The main window over a real store: the failed start-up, the status log's
// limit, a sync on its own thread while an edit is saved, shutdown and the menus; and the transfer window
// on top while connected.

#include "shell/frmFTP.h"
#include "shell/modAlwaysOnTop.h"
#include "base/Runtime.h"
#include "base/StatusLog.h"
#include "shell/frmMain.h"
#include "tests/support/FtpServer.h"
#include "tests/win_fixture.h"

#include <QApplication>
#include <QPushButton>
#include <QPlainTextEdit>
#include <QScrollBar>
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

// The lines of a start-up and of one that finds no store are the unattended test's (the same loading);
// here, a store without its job table: the box, then the lines up to the failure and the store's message.
TEST_F(MainWindow, AFailedStartUpShowsItsBoxAndSaysWhatFailed) {
    store::StoreConnection().Execute("drop table Tessary");
    store::StoreConnection().Close();
    frmMain main;
    main.Form_Load();
    const QStringList shown = Entries(main.lstStatus);
    EXPECT_EQ(shown.mid(0, 4), (QStringList{"Init Program", "Setting Database Connection String", "Opened Database",
                                            "An error has destroyed the chances of this program functioning"}));
    ASSERT_EQ(shown.size(), 5);
    EXPECT_TRUE(shown.last().contains("Tessary")) << shown.last().toStdString();
    EXPECT_EQ(Boxes(), QStringList{"EEK|16|An error occured while attempting to open settings"});
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

// A server that takes 1 MB a second: the run is sending its large file when
// the profile is saved. The click returns at once, a second one is refused,
// and the job's transfer window is shown once and goes with the job. How
// long the GUI thread goes unanswered is bench/gui_gap's to measure.
TEST_F(MainWindow, AnEditSavedDuringARunIsStoredAtOnceAndTheWindowsKeepAnswering) {
    frmMain main({&frmServers::ShowWindow, &frmFolders::ShowWindow});
    main.Form_Load();
    testsupport::FtpServer server(dir / "root", {.throttle = 1 << 20});
    fs::create_directories(dir / "root/backup");
    for (int i = 0; i < 20; ++i) testsupport::WriteFile(dir / ("data/a" + std::to_string(i)), "small");
    testsupport::WriteFile(dir / "data/big.bin", std::string(3 << 20, 'b'));
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
    const std::string landing = server.root() + "/backup" + dir.path() + "/data/big.bin";
    ASSERT_TRUE(QTest::qWaitFor([&] { return fs::exists(landing) && fs::file_size(landing) > 0; }, 20000));
    frmServers& list = frmServers::Show();
    wintest::Click(list.lstServers, 0, true);
    frmServerSettings* editor = frmServerSettings::Loaded();
    ASSERT_NE(editor, nullptr);
    editor->txtNotes->setPlainText("saved during a run");
    editor->cmdClose->click();
    EXPECT_EQ(Column("mySettings", "FTPNotes"), "saved during a run");
    EXPECT_EQ(frmServerSettings::Loaded(), nullptr);
    EXPECT_TRUE(Boxes().isEmpty());
    EXPECT_TRUE(main.SyncRunning()) << "the large file was still on its way";
    EXPECT_TRUE(QTest::qWaitFor([&] { return !main.SyncRunning(); }, 30000));
    qApp->removeEventFilter(&transferWindows);
    EXPECT_EQ(Count("myFiles"), 21) << "the run's records are all there";
    const QStringList lines = Entries(main.lstStatus);
    for (const char* line : {"User initiated Sync", "A sync is already running.", "FTP Info: File transfered!"})
        EXPECT_TRUE(lines.contains(line)) << line;
    EXPECT_EQ(lines.last(), "All Sync's Complete");
    EXPECT_EQ(transferWindows.shown.size(), 1);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(main.findChildren<frmFTP*>().isEmpty()) << "the job's window goes with the job";
}

// Verify, Now sends again what the server lost; File, Restore... (past its two questions) brings the job
// back into a new folder; each on the run's thread, its lines in the status list; one at a time.
TEST_F(MainWindow, VerifyNowAndARestoreRunOnTheRunsThread) {
    frmMain main;
    main.Form_Load();
    testsupport::FtpServer server(dir / "root");
    fs::create_directories(dir / "root/backup");
    const std::string copy = server.root() + "/backup" + dir.path() + "/data/a.txt";
    testsupport::WriteFile(dir / "data/a.txt", "alpha");
    testsupport::AddJob(dir / "data", testsupport::AddProfile(server.port()));
    const auto waitForTheRun = [&] { return QTest::qWaitFor([&] { return !main.SyncRunning(); }, 20000); };
    main.cmdSyncNow_Click();
    ASSERT_TRUE(waitForTheRun());
    fs::remove(copy);
    main.cmdVerifyNow->trigger();
    main.StartRestore(QString::fromStdString(dir / "data"), QString::fromStdString(dir / "back"));
    ASSERT_TRUE(waitForTheRun());
    EXPECT_EQ(testsupport::ReadFile(copy), "alpha");
    main.StartRestore(QString::fromStdString(dir / "data"), QString::fromStdString(dir / "back"));
    main.cmdSyncNow_Click();
    ASSERT_TRUE(waitForTheRun());
    EXPECT_EQ(testsupport::ReadFile(dir / "back/a.txt"), "alpha");
    const QStringList lines = Entries(main.lstStatus);
    for (const std::string& line : std::vector<std::string>{dir / "data/a.txt" + " is missing on the server", "A sync is already running.",
                                                            "A restore is running.", dir / "back/a.txt" + " is restored"})
        EXPECT_TRUE(lines.contains(QString::fromStdString(line))) << line;
    EXPECT_EQ(lines.last(), "Restore Complete");
}

// Another program holds the store: the save fails with the store's own
// message, in a box of the editor's, and what was typed stays.
TEST_F(MainWindow, ASaveTheStoreRefusesKeepsTheEditorAndSaysWhy) {
    frmMain main({&frmServers::ShowWindow, &frmFolders::ShowWindow});
    main.Form_Load();
    testsupport::AddProfile(21);
    const testsupport::Background holder({"/usr/bin/python3", "-c",
                                          "import signal, sqlite3, sys\n"
                                          "c = sqlite3.connect(sys.argv[1], isolation_level=None)\n"
                                          "c.execute('begin exclusive')\n"
                                          "print('held', flush=True)\n"
                                          "signal.pause()\n",
                                          dir / "information.mdb"});
    ASSERT_EQ(holder.firstLine, "held");
    frmServers& list = frmServers::Show();
    wintest::Click(list.lstServers, 0, true);
    frmServerSettings* editor = frmServerSettings::Loaded();
    ASSERT_NE(editor, nullptr);
    editor->txtNotes->setPlainText("typed while the store was held");
    editor->cmdClose->click();
    ASSERT_EQ(msgbox::ShownBoxes().size(), 1u);
    EXPECT_EQ(msgbox::ShownBoxes()[0].owner, editor);
    EXPECT_EQ(Boxes(), QStringList{"Tessary|16|database is locked"});
    EXPECT_EQ(frmServerSettings::Loaded(), editor);
    EXPECT_EQ(editor->txtNotes->toPlainText(), "typed while the store was held");
}

// A message's own line break and trailing blanks are no part of its line;
// rows stay one text line high after a resize, and a line wider than the
// list can be scrolled to its end.
TEST_F(MainWindow, StatusLinesAreWholeAndOneTextLineHigh) {
    frmMain main;
    main.show();
    const std::string advice = "FTP Info: " + std::string(300, 'k') + " ssh-keyscan -p 2222 127.0.0.1 >> ~/.ssh/known_hosts";
    const std::pair<std::string, QString> lines[] = {
        {"refused.\n", "refused."}, {"refused.\r\n", "refused."}, {"blanks \t \n", "blanks"},
        {"  led by blanks", "  led by blanks"}, {"two\nlines", "two\nlines"}, {advice, QString::fromStdString(advice)}};
    for (const auto& [text, shown] : lines) ::LogStatus(text);
    QStringList expected;
    for (const auto& line : lines) expected << line.second;
    EXPECT_EQ(Entries(main.lstStatus), expected);
    for (const QSize size : {QSize(300, 200), QSize(1270, 700), QSize(640, 480)}) {
        main.resize(size);
        QApplication::processEvents();
        const int lineHeight = main.lstStatus->visualItemRect(main.lstStatus->item(0)).height();
        EXPECT_LE(lineHeight, QFontMetrics(main.lstStatus->font()).height() + 4);
        for (int row = 1; row < main.lstStatus->count(); ++row)
            EXPECT_EQ(main.lstStatus->visualItemRect(main.lstStatus->item(row)).height(), lineHeight) << row;
        // The whole of the longest line can be scrolled into sight.
        const int textWidth = QFontMetrics(main.lstStatus->font()).horizontalAdvance(expected.last());
        EXPECT_GE(main.lstStatus->horizontalScrollBar()->maximum() + main.lstStatus->viewport()->width(), textWidth);
    }
}

}  // namespace

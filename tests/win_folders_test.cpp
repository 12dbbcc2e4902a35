// The folder list and the folder editor over a real store: add, edit and
// delete round trips (a job goes with its records), the save checks,
// quotes, clearing the file state under a folder, and refused statements.

#include "folders/frmFolderSettings.h"
#include "folders/frmFolders.h"
#include "shell/MsgBox.h"
#include "store/Store.h"
#include "tests/win_fixture.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

namespace {

using wintest::Boxes;
using wintest::Entries;

const std::string kListing = "Listing Settings in Folders Screen";
const QString kSelectServer = QStringLiteral("Tessary|0|Please select an ftp server");

class FolderWindows : public wintest::WindowTest {
protected:
    static frmFolders& List() {
        frmFolders::ShowWindow();
        return *frmFolders::Loaded();
    }
    static frmFolderSettings& NewJob(const QString& folder, const QString& combo, bool subDirs) {
        frmFolderSettings& e = frmFolderSettings::ShowWindow();
        e.txtFolder->setText(folder);
        e.cmbServers->setEditText(combo);
        e.chkSubDirs->setChecked(subDirs);
        return e;
    }
    static std::string Job(std::int64_t id) {
        return Column("Tessary", "Folder || '|' || SettingsID || '|' || SubDirs", "SyncID = " + std::to_string(id));
    }
    static QStringList Paths() {
        QStringList out;
        for (auto rs = store::StoreConnection().Execute("select FullPath from myFiles order by FullPath"); !rs.Eof();
             rs.MoveNext())
            out << QString::fromStdString(rs.Fields("FullPath"));
        return out;
    }
};

TEST_F(FolderWindows, AddThenSaveInsertsAndReloadsTheList) {
    AddProfile("fileserver");
    AddProfile("other");
    frmFolders& list = List();
    list.cmdAdd->click();
    frmFolderSettings* editor = frmFolderSettings::Loaded();
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(editor->EditID, 0);
    EXPECT_EQ(editor->cmbServers->currentText(), "Server");
    EXPECT_TRUE(editor->txtFolder->text().isEmpty());
    EXPECT_FALSE(editor->chkSubDirs->isChecked());
    QStringList items;
    for (int i = 0; i < editor->cmbServers->count(); ++i) items << editor->cmbServers->itemText(i);
    EXPECT_EQ(items, (QStringList{"1 --> fileserver User: tessary", "2 --> other User: tessary"}));
    editor->txtFolder->setText("/data");
    editor->cmbServers->setCurrentIndex(1);
    editor->chkSubDirs->setChecked(true);
    editor->cmdClose->click();
    EXPECT_TRUE(Boxes().isEmpty());
    EXPECT_EQ(frmFolderSettings::Loaded(), nullptr);
    EXPECT_EQ(Job(1), "/data|2|YES");
    EXPECT_EQ(log.Lines(), (std::vector<std::string>{kListing, "Updating Folders Database", kListing}));
    EXPECT_EQ(Entries(list.lstServers), QStringList{"1 --> Folder: /data"});
}

TEST_F(FolderWindows, DoubleClickThenSaveUpdatesThatRowOnly) {
    AddProfile("fileserver");
    AddProfile("other");
    testsupport::AddJob("/a", 1, "NO");
    testsupport::AddJob("/b", 2, "YES");
    testsupport::AddJob("/c", 1, "NO");
    frmFolders& list = List();
    wintest::DoubleClickRow(list.lstServers, 1);
    frmFolderSettings* editor = frmFolderSettings::Loaded();
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(editor->EditID, 2);
    EXPECT_EQ(editor->txtFolder->text(), "/b");
    EXPECT_TRUE(editor->chkSubDirs->isChecked());
    EXPECT_EQ(editor->cmbServers->currentText(), "2 --> other User: tessary");
    editor->txtFolder->setText("/b2");
    editor->chkSubDirs->setChecked(false);
    editor->cmbServers->setCurrentIndex(0);
    editor->cmdClose->click();
    EXPECT_EQ(Job(1) + " " + Job(2) + " " + Job(3), "/a|1|NO /b2|1|NO /c|1|NO");
    EXPECT_EQ(Entries(list.lstServers)[1], "2 --> Folder: /b2");
}

TEST_F(FolderWindows, DeletingAJobTakesItsRecordsOnlyOrNothing) {
    const auto keep = testsupport::AddJob("/a", 1);
    const auto gone = testsupport::AddJob("/a b", 1);
    AddFile("/a/x", keep);
    AddFile("/a b/y", gone);
    AddFile("/a b/z", gone);
    AddFile("/a b/y", keep);  // the same path filed under the other job
    auto& db = store::StoreConnection();
    db.Execute("create trigger keep before delete on myFiles begin select raise(abort, 'records are kept'); end");
    frmFolders& list = List();
    wintest::SelectRow(list.lstServers, 1);
    list.cmdDelete->click();
    EXPECT_EQ(Boxes(), QStringList{"Tessary|16|records are kept"});
    EXPECT_EQ(Count("Tessary"), 2) << "the job delete was undone";
    EXPECT_EQ(Count("myFiles"), 4);
    EXPECT_EQ(list.ListText(), "2 --> Folder: /a b");

    db.Execute("drop trigger keep");
    list.cmdDelete->click();
    EXPECT_EQ(Entries(list.lstServers), QStringList{"1 --> Folder: /a"});
    store::Connection other;  // nothing is left uncommitted
    other.ConnectionString = db.ConnectionString;
    other.Open();
    EXPECT_EQ(other.Execute("select count(*) as n from Tessary").FieldInt("n"), 1);
    EXPECT_EQ(other.Execute("select count(*) as n from myFiles where SyncID = " + std::to_string(keep)).FieldInt("n"), 2);
    EXPECT_EQ(other.Execute("select count(*) as n from myFiles").FieldInt("n"), 2);
}

TEST_F(FolderWindows, SaveChecksInOrderWithTheirMessages) {
    AddProfile("fileserver");
    AddProfile("other");
    const QString entry = "1 --> fileserver User: tessary";
    const QString trailing = "Tessary|0|Please delete the trailing backslash from the folder";
    const QString enter = "Tessary|0|Please Enter a Local Folder!";
    const std::pair<QString, QString> saved[] = {{"/", entry}, {"/data", entry}, {"relative dir", "2 --> x"}};
    const struct {
        QString folder, combo, box;
    } refused[] = {
        {"", entry, enter},           {"", "Server", enter},         {"/data/", entry, trailing},
        {"/data/", "Server", trailing}, {"//", entry, trailing},       {"/data", "Server", kSelectServer},
        {"/data", "server", kSelectServer}, {"/data", "Server ", kSelectServer}, {"/data", "", kSelectServer},
        {"/data", "x1 --> fileserver", kSelectServer}, {"/data", "7 --> gone User: anna", kSelectServer},
        {"/data", " 1 --> fileserver", kSelectServer},
    };
    for (const auto& c : refused) {
        frmFolderSettings& editor = NewJob(c.folder, c.combo, true);
        editor.cmdClose->click();
        EXPECT_EQ(Boxes(), QStringList{c.box}) << c.folder.toStdString() << " / " << c.combo.toStdString();
        EXPECT_EQ(frmFolderSettings::Loaded(), &editor) << "the editor stays open and unchanged";
        EXPECT_EQ(editor.txtFolder->text() + editor.cmbServers->currentText(), c.folder + c.combo);
        editor.close();
    }
    for (const auto& [folder, combo] : saved) {
        NewJob(folder, combo, true).cmdClose->click();
        EXPECT_EQ(frmFolderSettings::Loaded(), nullptr) << folder.toStdString();
    }
    EXPECT_TRUE(Boxes().isEmpty());
    EXPECT_EQ(Job(1) + " " + Job(2) + " " + Job(3), "/|1|YES /data|1|YES relative dir|2|YES");
}

TEST_F(FolderWindows, AQuoteInTheFolderRoundTrips) {
    testsupport::AddProfile(21, "pw", "/", "o'host");
    const QString folder = "/home/o'neil/it's ''here";
    NewJob(folder, "1 --> o'host User: tessary", false).cmdClose->click();
    ASSERT_EQ(frmFolderSettings::Loaded(), nullptr);
    EXPECT_EQ(Job(1), (folder + "|1|NO").toStdString());
    EXPECT_EQ(Entries(frmFolders::Loaded()->lstServers), QStringList{"1 --> Folder: " + folder});
    frmFolderSettings& again = frmFolderSettings::ShowWindow();
    again.FetchInfo(1);
    EXPECT_EQ(again.txtFolder->text(), folder);
    EXPECT_EQ(again.cmbServers->currentText(), "1 --> o'host User: tessary");
    again.txtFolder->setText(folder + "'");
    again.cmdClose->click();
    EXPECT_EQ(Job(1), (folder + "'|1|NO").toStdString());
}

TEST_F(FolderWindows, FetchingReadsTheJobAndItsProfile) {
    AddProfile("fileserver");
    testsupport::AddJob("/lower", 1, "yes");  // only "YES" ticks the box
    testsupport::AddJob("/orphan", 9, "YES");  // its profile was deleted
    store::StoreConnection().Execute("insert into Tessary (Folder, SettingsID, SubDirs) values('/x', 'abc', 'YES')");
    frmFolderSettings& editor = frmFolderSettings::ShowWindow();
    editor.FetchInfo(1);
    EXPECT_FALSE(editor.chkSubDirs->isChecked());
    EXPECT_EQ(editor.cmbServers->currentText(), "1 --> fileserver User: tessary");
    editor.cmdClose->click();
    EXPECT_EQ(Job(1), "/lower|1|NO");
    for (int job : {2, 3}) {
        frmFolderSettings& fresh = frmFolderSettings::ShowWindow();
        fresh.FetchInfo(job);
        EXPECT_EQ(Boxes(), QStringList{"Tessary|0|Server Profile Appears to have been deleted"});
        EXPECT_EQ(fresh.EditID, job);
        EXPECT_TRUE(fresh.chkSubDirs->isChecked());
        EXPECT_EQ(fresh.cmbServers->currentText(), "Server") << "the combo keeps its text";
        fresh.cmdClose->click();
        EXPECT_EQ(Boxes(), QStringList{kSelectServer});
        fresh.close();
    }
    store::StoreConnection().Execute("delete from Tessary");
    frmFolderSettings& gone = frmFolderSettings::ShowWindow();
    gone.FetchInfo(1);
    EXPECT_EQ(Boxes(), QStringList{"Tessary|0|This folder job no longer exists; it may have been deleted."});
    EXPECT_EQ(gone.EditID, 0);
    EXPECT_TRUE(gone.txtFolder->text().isEmpty());
    EXPECT_EQ(gone.cmbServers->currentText(), "Server");
}

TEST_F(FolderWindows, ClearAsksAndTakesTheFolderAndBelowOnly) {
    const QStringList all{"/data/a.txt",  "/data/sub/b.txt", "/data2/c.txt", "/database.txt", "/my_dir/d.txt",
                          "/myXdir/e.txt", "/100%/f.txt",    "/100x/g.txt",  "/it's/h.txt",   "/its/i.txt",
                          "/back\\s/j.txt", "/backXs/k.txt",  "/DATA/l.txt"};
    const auto job = testsupport::AddJob("/data", 1);
    frmFolderSettings& editor = frmFolderSettings::ShowWindow();
    editor.cmdClearFolderInfo->click();
    EXPECT_EQ(Boxes(), QStringList{"Error|16|You need a path to clear first!"});
    const struct {
        QString folder;
        QStringList gone;
    } cases[] = {
        {"/data", {"/data/a.txt", "/data/sub/b.txt"}},
        {"/data/sub", {"/data/sub/b.txt"}},
        {"/my_dir", {"/my_dir/d.txt"}},
        {"/100%", {"/100%/f.txt"}},
        {"/it's", {"/it's/h.txt"}},
        {"/back\\s", {"/back\\s/j.txt"}},
        {"/", all},
    };
    for (const auto& c : cases) {
        store::StoreConnection().Execute("delete from myFiles");
        for (const auto& p : all) AddFile(p.toStdString(), job);
        editor.txtFolder->setText(c.folder);
        msgbox::QueueAnswer(vbNo);
        editor.cmdClearFolderInfo->click();
        EXPECT_EQ(Boxes(), (QStringList{"!!!WARNING!!!|4|This will wipe ALL status information for the files in this "
                                        "folder AND SUB FOLDERS!.\r\nYou should only use this option if you want to "
                                        "re-back up these files.\r\n\r\nAre you entirely sure you wish to clear this "
                                        "information?",
                                        "Aborted|64|Operation aborted!"}));
        EXPECT_EQ(Paths().size(), all.size());
        msgbox::QueueAnswer(vbYes);
        editor.cmdClearFolderInfo->click();
        EXPECT_EQ(Boxes().last(), "Result|64|Complete, information cleared");
        QStringList kept = all;
        for (const auto& p : c.gone) kept.removeAll(p);
        kept.sort();
        EXPECT_EQ(Paths(), kept) << c.folder.toStdString();
    }
    EXPECT_EQ(frmFolderSettings::Loaded(), &editor) << "clearing leaves the editor open";
    EXPECT_EQ(Count("Tessary"), 1) << "and the job";
    EXPECT_TRUE(log.Lines().empty()) << "and logs nothing";
}

TEST_F(FolderWindows, ARefusedSaveShowsTheStoresMessageAndKeepsTheEditor) {
    AddProfile("fileserver");
    store::StoreConnection().Execute(
        "create trigger no_jobs before insert on Tessary begin select raise(abort, 'jobs are locked'); end");
    frmFolderSettings& editor = NewJob("/data", "1 --> fileserver User: tessary", true);
    editor.cmdClose->click();
    EXPECT_EQ(Boxes(), QStringList{"Tessary|16|jobs are locked"});
    EXPECT_EQ(frmFolderSettings::Loaded(), &editor);
    EXPECT_EQ(editor.txtFolder->text(), "/data");
    EXPECT_EQ(Count("Tessary"), 0);
}

}  // namespace

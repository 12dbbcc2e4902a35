// The folder list and editor over a real store: add, edit and delete round trips (a job goes with its
// records, or nothing goes), the save checks, quotes, fetching, and clearing the file state under a folder.

#include "tests/win_fixture.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>

namespace {

using wintest::Boxes;
using wintest::Entries;

const QString kSelectServer = "Tessary|0|Please select an ftp server";

class FolderWindows : public wintest::WindowTest {
protected:
    static frmFolderSettings& Job(const QString& folder, const QString& combo, bool subDirs) {
        frmFolderSettings& e = frmFolderSettings::ShowWindow();
        e.txtFolder->setText(folder);
        e.cmbServers->setEditText(combo);
        e.chkSubDirs->setChecked(subDirs);
        return e;
    }
    static std::string Stored(std::int64_t id) {
        return Column("Tessary", "Folder || '|' || SettingsID || '|' || SubDirs", "SyncID = " + std::to_string(id));
    }
    static QString Shown(const frmFolderSettings& e) {
        return e.txtFolder->text() + "|" + e.cmbServers->currentText() + (e.chkSubDirs->isChecked() ? "|YES" : "|NO");
    }
};

TEST_F(FolderWindows, AddAndEditRoundTripWithQuotes) {
    testsupport::AddProfile(21, "pw", "/", "o'host");
    AddProfile("other");
    frmFolders& list = frmFolders::Show();
    list.cmdAdd->click();
    frmFolderSettings* editor = frmFolderSettings::Loaded();
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(Shown(*editor), "|Server|NO");
    EXPECT_EQ(editor->cmbServers->itemText(0) + ", " + editor->cmbServers->itemText(1),
              "1 --> o'host User: tessary, 2 --> other User: tessary");
    const QString folder = "/home/o'neil/it's ''here; drop table Tessary; --%_\\\"";
    editor->txtFolder->setText(folder);
    editor->chkSubDirs->setChecked(true);
    editor->cmbServers->setCurrentIndex(0);
    editor->cmdClose->click();
    EXPECT_EQ(frmFolderSettings::Loaded(), nullptr);
    testsupport::AddJob("/c", 1, "NO");
    list.ReloadList();
    wintest::Click(list.lstServers, 0, true);
    ASSERT_NE(editor = frmFolderSettings::Loaded(), nullptr);
    EXPECT_EQ(Shown(*editor), folder + "|1 --> o'host User: tessary|YES");
    editor->txtFolder->setText(folder + "'");
    editor->chkSubDirs->setChecked(false);
    editor->cmbServers->setCurrentIndex(1);
    editor->cmdClose->click();
    EXPECT_EQ(Stored(1) + " " + Stored(2), (folder + "'|2|NO /c|1|NO").toStdString());
    EXPECT_EQ(Entries(list.lstServers), (QStringList{"1 --> Folder: " + folder + "'", "2 --> Folder: /c"}));
    EXPECT_TRUE(Boxes().isEmpty());
}

TEST_F(FolderWindows, DeletingAJobTakesItsRecordsOnlyOrNothing) {
    const auto keep = testsupport::AddJob("/a", 1), gone = testsupport::AddJob("/a b", 1);
    for (const auto& [path, job] : {std::pair{"/a/x", keep}, {"/a b/y", gone}, {"/a b/z", gone}, {"/a b/y", keep}})
        AddFile(path, job);  // the last: the same path filed under the other job
    auto& db = store::StoreConnection();
    db.Execute("create trigger keep before delete on myFiles begin select raise(abort, 'records are kept'); end");
    frmFolders& list = frmFolders::Show();
    wintest::Click(list.lstServers, 1);
    list.cmdDelete->click();
    EXPECT_EQ(Boxes(), QStringList{"Tessary|16|records are kept"});
    EXPECT_EQ(Count("Tessary"), 2) << "the job delete was undone";
    EXPECT_EQ(list.ListText(), "2 --> Folder: /a b") << "the list and its selection stay";
    db.Execute("drop trigger keep");
    list.cmdDelete->click();
    EXPECT_EQ(Entries(list.lstServers), QStringList{"1 --> Folder: /a"});
    const auto other = testsupport::ConnectTo(dir.path());  // nothing is left uncommitted
    EXPECT_EQ(other->Execute("select group_concat(SyncID) as ids from myFiles").Fields("ids"), "1,1");
    EXPECT_EQ(other->Execute("select count(*) as n from Tessary").FieldInt("n"), 1);
}

// Which entries hold a key is the EntryID test's; here, that each refusal comes in its turn.
TEST_F(FolderWindows, SaveChecksInOrderWithTheirMessages) {
    AddProfile("fileserver");
    AddProfile("other");
    const QString entry = "1 --> fileserver User: tessary";
    const QString trailing = "Tessary|0|Please delete the trailing backslash from the folder";
    const std::tuple<QString, QString, QString> refused[] = {  // the folder is checked first
        {"", "Server", "Tessary|0|Please Enter a Local Folder!"}, {"/data/", "Server", trailing}, {"//", entry, trailing},
        {"/data", "", kSelectServer}, {"/data", "Server", kSelectServer}, {"/data", "7 --> gone User: anna", kSelectServer}};
    for (const auto& [folder, combo, box] : refused) {
        frmFolderSettings& editor = Job(folder, combo, true);
        editor.cmdClose->click();
        EXPECT_EQ(Boxes(), QStringList{box}) << folder.toStdString() << " / " << combo.toStdString();
        EXPECT_EQ(frmFolderSettings::Loaded(), &editor);
        EXPECT_EQ(Shown(editor), folder + "|" + combo + "|YES") << "the editor stays open and unchanged";
        editor.close();
    }
    for (const auto& [folder, combo] : {std::pair<QString, QString>{"/", entry}, {"relative dir", "2 --> x"}})
        Job(folder, combo, false).cmdClose->click();
    EXPECT_TRUE(Boxes().isEmpty());
    EXPECT_EQ(Stored(1) + " " + Stored(2), "/|1|NO relative dir|2|NO");
    store::StoreConnection().Execute("create trigger no before insert on Tessary begin select raise(abort, 'no'); end");
    frmFolderSettings& editor = Job("/data", entry, true);
    editor.cmdClose->click();
    EXPECT_EQ(Boxes(), QStringList{"Tessary|16|no"});
    EXPECT_EQ(Shown(editor), "/data|" + entry + "|YES") << "a refused save keeps the editor";
}

TEST_F(FolderWindows, FetchingReadsTheJobAndItsProfile) {
    AddProfile("a");
    testsupport::AddJob("/lower", 1, "yes");   // only "YES" ticks the box
    testsupport::AddJob("/orphan", 9, "YES");  // its profile was deleted
    store::StoreConnection().Execute("insert into Tessary (Folder, SettingsID, SubDirs) values('/x', 'abc', 'YES')");
    const QString gone = "Tessary|0|Server Profile Appears to have been deleted";
    const std::tuple<int, QString, QString> cases[] = {
        {1, "/lower|1 --> a User: tessary|NO", ""}, {2, "/orphan|Server|YES", gone}, {3, "/x|Server|YES", gone},
        {4, "|Server|NO", "Tessary|0|This folder job no longer exists; it may have been deleted."}};
    for (const auto& [id, shown, box] : cases) {
        frmFolderSettings& editor = frmFolderSettings::ShowWindow();
        editor.FetchInfo(id);
        EXPECT_EQ(Shown(editor), shown);
        EXPECT_EQ(Boxes(), box.isEmpty() ? QStringList() : QStringList{box});
        EXPECT_EQ(editor.EditID, id == 4 ? 0 : id) << "a job that is gone is saved as a new one";
        editor.close();
    }
}

// '%', '_', '\' and the quote are plain characters of the folder; a folder takes what is below it only.
TEST_F(FolderWindows, ClearAsksAndTakesTheFolderAndBelowOnly) {
    const QStringList all{"/data/a.txt", "/data/sub/b.txt", "/data2/c.txt", "/database.txt", "/my_dir/d.txt",
                          "/myXdir/e.txt", "/100%/f.txt", "/100x/g.txt", "/it's/h.txt", "/its/i.txt",
                          "/back\\s/j.txt", "/backXs/k.txt", "/DATA/l.txt"};
    const auto job = testsupport::AddJob("/data", 1);
    for (const auto& p : all) AddFile(p.toStdString(), job);
    frmFolderSettings& editor = frmFolderSettings::ShowWindow();
    editor.cmdClearFolderInfo->click();
    EXPECT_EQ(Boxes(), QStringList{"Error|16|You need a path to clear first!"});
    editor.txtFolder->setText("/");
    msgbox::QueueAnswer(vbNo);
    editor.cmdClearFolderInfo->click();
    const QStringList asked = Boxes();
    EXPECT_TRUE(asked.size() == 2 && asked[0].startsWith("!!!WARNING!!!|4|This will wipe ALL status information") &&
                asked[1] == "Aborted|64|Operation aborted!") << asked.join('\n').toStdString();
    EXPECT_EQ(Count("myFiles"), all.size());
    const std::pair<QString, QStringList> cases[] = {
        {"/data", {"/data/a.txt", "/data/sub/b.txt"}}, {"/data/sub", {"/data/sub/b.txt"}},
        {"/my_dir", {"/my_dir/d.txt"}}, {"/100%", {"/100%/f.txt"}}, {"/it's", {"/it's/h.txt"}},
        {"/back\\s", {"/back\\s/j.txt"}}, {"/", all}};
    for (const auto& [folder, gone] : cases) {
        store::StoreConnection().Execute("delete from myFiles");
        for (const auto& p : all) AddFile(p.toStdString(), job);
        editor.txtFolder->setText(folder);
        msgbox::QueueAnswer(vbYes);
        editor.cmdClearFolderInfo->click();
        EXPECT_EQ(Boxes().last(), "Result|64|Complete, information cleared");
        for (const auto& p : all)
            EXPECT_EQ(Count("myFiles", "FullPath = " + store::Quoted(p.toStdString())), gone.contains(p) ? 0 : 1)
                << p.toStdString();
    }
    EXPECT_EQ(frmFolderSettings::Loaded(), &editor) << "clearing leaves the editor open";
    EXPECT_EQ(Count("Tessary"), 1) << "and the job";
    EXPECT_TRUE(log.Lines().empty()) << "and logs nothing";
}

}  // namespace

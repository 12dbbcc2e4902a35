// The folder list and the folder editor over a real store: one instance
// each, add, edit, delete with the job's records, the save checks, quotes,
// clearing the file state under a folder, and refused statements.

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

#include <algorithm>

namespace {

using wintest::Entries;
using wintest::WindowTest;

const std::string kListing = "Listing Settings in Folders Screen";
const QString kSelectServer = QStringLiteral("Please select an ftp server");

class FolderWindows : public WindowTest {
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
    std::vector<std::string> FilePaths() {
        std::vector<std::string> out;
        for (auto rs = store::StoreConnection().Execute("select FullPath from myFiles"); !rs.Eof(); rs.MoveNext())
            out.push_back(rs.Fields("FullPath"));
        std::sort(out.begin(), out.end());
        return out;
    }
    static void ExpectOneBox(const QString& text, int style, const QString& title) {
        ASSERT_EQ(msgbox::ShownBoxes().size(), 1u) << text.toStdString();
        EXPECT_EQ(msgbox::ShownBoxes()[0].text, text);
        EXPECT_EQ(msgbox::ShownBoxes()[0].style, style);
        EXPECT_EQ(msgbox::ShownBoxes()[0].title, title);
    }
};

TEST_F(FolderWindows, ListOpenedTwiceLoadsOnce) {
    AddJob("/home/anna/My Documents", "1");
    frmFolders& first = List();
    EXPECT_EQ(Entries(first.lstServers), QStringList{"1 --> Folder: /home/anna/My Documents"});
    AddJob("/data", "1");
    frmFolders::ShowWindow();
    EXPECT_EQ(frmFolders::Loaded(), &first);
    EXPECT_EQ(first.lstServers->count(), 1);
    EXPECT_EQ(Lines(), std::vector<std::string>{kListing});
    first.ReloadList();
    EXPECT_EQ(first.lstServers->count(), 2);
    EXPECT_EQ(Lines(), (std::vector<std::string>{kListing, kListing}));
}

TEST_F(FolderWindows, AddWritesNoLineAndOpensANewJob) {
    AddProfile("fileserver", "anna");
    AddProfile("other", "bob");
    List().cmdAdd->click();
    EXPECT_EQ(Lines(), std::vector<std::string>{kListing});
    frmFolderSettings* editor = frmFolderSettings::Loaded();
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(editor->EditID, 0);
    EXPECT_EQ(editor->cmbServers->currentText(), "Server");
    EXPECT_TRUE(editor->txtFolder->text().isEmpty());
    EXPECT_FALSE(editor->chkSubDirs->isChecked());
    QStringList items;
    for (int i = 0; i < editor->cmbServers->count(); ++i) items << editor->cmbServers->itemText(i);
    EXPECT_EQ(items, (QStringList{"1 --> fileserver User: anna", "2 --> other User: bob"}));
}

TEST_F(FolderWindows, AddThenSaveInsertsAndReloadsTheList) {
    AddProfile("fileserver", "anna");
    AddProfile("other", "bob");
    frmFolders& list = List();
    list.cmdAdd->click();
    frmFolderSettings* editor = frmFolderSettings::Loaded();
    editor->txtFolder->setText("/data");
    editor->cmbServers->setCurrentIndex(1);  // picked from the list
    editor->chkSubDirs->setChecked(true);
    ClearLines();
    editor->cmdClose->click();
    EXPECT_TRUE(msgbox::ShownBoxes().empty());
    EXPECT_EQ(frmFolderSettings::Loaded(), nullptr);
    EXPECT_EQ(Count("Tessary"), 1);
    EXPECT_EQ(Column("Tessary", "Folder", "SyncID = 1"), "/data");
    EXPECT_EQ(Column("Tessary", "SettingsID", "SyncID = 1"), "2");
    EXPECT_EQ(Column("Tessary", "SubDirs", "SyncID = 1"), "YES");
    EXPECT_EQ(Lines(), (std::vector<std::string>{"Updating Folders Database", kListing}));
    EXPECT_EQ(Entries(list.lstServers), QStringList{"1 --> Folder: /data"});
}

TEST_F(FolderWindows, DoubleClickThenSaveUpdatesThatRow) {
    AddProfile("fileserver", "anna");
    AddProfile("other", "bob");
    AddJob("/a", "1", "NO");
    AddJob("/b", "2", "YES");
    AddJob("/c", "1", "NO");
    frmFolders& list = List();
    wintest::DoubleClickRow(list.lstServers, 1);
    frmFolderSettings* editor = frmFolderSettings::Loaded();
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(editor->EditID, 2);
    EXPECT_EQ(editor->txtFolder->text(), "/b");
    EXPECT_TRUE(editor->chkSubDirs->isChecked());
    EXPECT_EQ(editor->cmbServers->currentText(), "2 --> other User: bob");

    editor->txtFolder->setText("/b2");
    editor->chkSubDirs->setChecked(false);
    editor->cmbServers->setCurrentIndex(0);
    editor->cmdClose->click();
    EXPECT_EQ(Count("Tessary"), 3);
    EXPECT_EQ(Column("Tessary", "Folder || '|' || SettingsID || '|' || SubDirs", "SyncID = 2"), "/b2|1|NO");
    EXPECT_EQ(Column("Tessary", "Folder || '|' || SettingsID || '|' || SubDirs", "SyncID = 1"), "/a|1|NO");
    EXPECT_EQ(Column("Tessary", "Folder || '|' || SettingsID || '|' || SubDirs", "SyncID = 3"), "/c|1|NO");
    EXPECT_EQ(Entries(list.lstServers)[1], "2 --> Folder: /b2");
}

TEST_F(FolderWindows, DoubleClickWithNothingSelectedDoesNothing) {
    AddJob("/a", "1");
    List().lstServers_DblClick();
    EXPECT_EQ(frmFolderSettings::Loaded(), nullptr);
    EXPECT_TRUE(msgbox::ShownBoxes().empty());
}

TEST_F(FolderWindows, DeleteWithNothingSelectedDeletesNothing) {
    const auto job = AddJob("/a", "1");
    AddFile("/a/x", job);
    frmFolders& list = List();
    ClearLines();
    list.cmdDelete->click();
    EXPECT_EQ(Count("Tessary"), 1);
    EXPECT_EQ(Count("myFiles"), 1);
    EXPECT_EQ(Lines(), std::vector<std::string>{kListing});
    EXPECT_TRUE(list.lstServers->selectedItems().isEmpty());
}

TEST_F(FolderWindows, DeletingAJobRemovesItsRecordsAndNoOthers) {
    const auto keep = AddJob("/a", "1");
    const auto gone = AddJob("/a b", "1");
    AddFile("/a/x", keep);
    AddFile("/a b/y", gone);
    AddFile("/a b/z", gone);
    AddFile("/a b/y", keep);  // the same path filed under the other job
    frmFolders& list = List();
    wintest::SelectRow(list.lstServers, 1);
    ClearLines();
    list.cmdDelete->click();
    EXPECT_EQ(Count("Tessary"), 1);
    EXPECT_EQ(Count("Tessary", "SyncID = " + std::to_string(keep)), 1);
    EXPECT_EQ(Count("myFiles", "SyncID = " + std::to_string(gone)), 0);
    EXPECT_EQ(Count("myFiles", "SyncID = " + std::to_string(keep)), 2);
    EXPECT_EQ(Entries(list.lstServers), QStringList{"1 --> Folder: /a"});
    EXPECT_EQ(Lines(), std::vector<std::string>{kListing});
}

TEST_F(FolderWindows, ARefusedRecordDeleteLeavesJobAndRecords) {
    const auto job = AddJob("/a", "1");
    AddFile("/a/x", job);
    store::StoreConnection().Execute(
        "create trigger keep before delete on myFiles begin select raise(abort, 'records are kept'); end");
    frmFolders& list = List();
    wintest::SelectRow(list.lstServers, 0);
    list.cmdDelete->click();
    ExpectOneBox("records are kept", vbCritical, "Tessary");
    EXPECT_EQ(Count("Tessary"), 1) << "the job delete was undone";
    EXPECT_EQ(Count("myFiles"), 1);
    EXPECT_EQ(list.ListText(), "1 --> Folder: /a");
}

TEST_F(FolderWindows, SaveChecksInOrderWithTheirMessages) {
    AddProfile("fileserver", "anna");
    struct Case {
        QString folder;
        QString combo;
        QString message;  // empty: saved
    };
    const QString entry = "1 --> fileserver User: anna";
    const Case cases[] = {
        {"", entry, "Please Enter a Local Folder!"},
        {"", "Server", "Please Enter a Local Folder!"},
        {"/data/", entry, "Please delete the trailing backslash from the folder"},
        {"/data/", "Server", "Please delete the trailing backslash from the folder"},
        {"/data", "Server", kSelectServer},
        {"/data", "fileserver", kSelectServer},
        {"/data", "x1 --> fileserver User: anna", kSelectServer},
        {"/data", "7 --> gone User: anna", kSelectServer},
        {"/", entry, ""},
        {"/data", entry, ""},
    };
    std::int64_t saved = 0;
    for (const auto& c : cases) {
        msgbox::ClearShown();
        frmFolderSettings& editor = NewJob(c.folder, c.combo, true);
        editor.cmdClose->click();
        if (c.message.isEmpty()) {
            ++saved;
            EXPECT_TRUE(msgbox::ShownBoxes().empty()) << c.folder.toStdString();
            EXPECT_EQ(frmFolderSettings::Loaded(), nullptr);
            EXPECT_EQ(Column("Tessary", "Folder", "SyncID = " + std::to_string(saved)), c.folder.toStdString());
        } else {
            ExpectOneBox(c.message, vbOKOnly, "Tessary");
            EXPECT_EQ(frmFolderSettings::Loaded(), &editor) << "the editor stays open and unchanged";
            EXPECT_EQ(editor.txtFolder->text(), c.folder);
            EXPECT_EQ(editor.cmbServers->currentText(), c.combo);
            editor.close();
        }
    }
    EXPECT_EQ(Count("Tessary"), saved);
}

TEST_F(FolderWindows, AQuoteInTheFolderRoundTrips) {
    AddProfile("o'host", "o'user");
    const QString folder = "/home/o'neil/it's ''here";
    frmFolderSettings& editor = NewJob(folder, "1 --> o'host User: o'user", false);
    editor.cmdClose->click();
    ASSERT_EQ(frmFolderSettings::Loaded(), nullptr);
    EXPECT_EQ(Column("Tessary", "Folder", "SyncID = 1"), folder.toStdString());
    EXPECT_EQ(Column("Tessary", "SubDirs", "SyncID = 1"), "NO");
    EXPECT_EQ(Entries(frmFolders::Loaded()->lstServers), QStringList{"1 --> Folder: " + folder});

    frmFolderSettings& again = frmFolderSettings::ShowWindow();
    again.FetchInfo(1);
    EXPECT_EQ(again.txtFolder->text(), folder);
    EXPECT_EQ(again.cmbServers->currentText(), "1 --> o'host User: o'user");
    again.txtFolder->setText(folder + "'");
    again.cmdClose->click();
    EXPECT_EQ(Column("Tessary", "Folder", "SyncID = 1"), (folder + "'").toStdString());
}

TEST_F(FolderWindows, FetchingReadsTheJobAndItsProfile) {
    AddProfile("fileserver", "anna");
    AddJob("/lower", "1", "yes");        // only "YES" ticks the box
    AddJob("/orphan", "9", "YES");       // its profile was deleted
    AddJob("/nonsense", "abc", "YES");   // names no profile at all
    frmFolderSettings& editor = frmFolderSettings::ShowWindow();
    editor.FetchInfo(1);
    EXPECT_FALSE(editor.chkSubDirs->isChecked());
    EXPECT_EQ(editor.cmbServers->currentText(), "1 --> fileserver User: anna");
    EXPECT_TRUE(msgbox::ShownBoxes().empty());
    editor.cmdClose->click();
    EXPECT_EQ(Column("Tessary", "SubDirs", "SyncID = 1"), "NO");

    for (int job : {2, 3}) {
        msgbox::ClearShown();
        frmFolderSettings& fresh = frmFolderSettings::ShowWindow();
        fresh.FetchInfo(job);
        ExpectOneBox("Server Profile Appears to have been deleted", vbOKOnly, "Tessary");
        EXPECT_EQ(fresh.EditID, job);
        EXPECT_TRUE(fresh.chkSubDirs->isChecked());
        EXPECT_EQ(fresh.cmbServers->currentText(), "Server") << "the combo keeps its text";
        msgbox::ClearShown();
        fresh.cmdClose->click();
        ExpectOneBox(kSelectServer, vbOKOnly, "Tessary");
        fresh.close();
    }
}

TEST_F(FolderWindows, FetchingADeletedJobLeavesANewOne) {
    AddProfile("fileserver", "anna");
    AddJob("/a", "1", "YES");
    frmFolders& list = List();
    wintest::DoubleClickRow(list.lstServers, 0);
    frmFolderSettings* editor = frmFolderSettings::Loaded();
    EXPECT_EQ(editor->EditID, 1);
    store::StoreConnection().Execute("delete from Tessary");
    editor->FetchInfo(1);
    ExpectOneBox("This folder job no longer exists; it may have been deleted.", vbOKOnly, "Tessary");
    EXPECT_EQ(editor->EditID, 0);
    EXPECT_TRUE(editor->txtFolder->text().isEmpty());
    EXPECT_EQ(editor->cmbServers->currentText(), "Server");
}

TEST_F(FolderWindows, ClearTakesTheFolderAndBelowOnly) {
    const auto job = AddJob("/data", "1");
    for (const char* p : {"/data/a.txt", "/data/sub/b.txt", "/data2/c.txt", "/database.txt", "/dat_/d.txt",
                          "/my_dir/e.txt", "/myXdir/f.txt"})
        AddFile(p, job);
    struct Case {
        QString folder;
        std::vector<std::string> kept;
    };
    const Case cases[] = {
        {"/data", {"/dat_/d.txt", "/data2/c.txt", "/database.txt", "/my_dir/e.txt", "/myXdir/f.txt"}},
        {"/my_dir", {"/dat_/d.txt", "/data2/c.txt", "/database.txt", "/myXdir/f.txt"}},
    };
    frmFolderSettings& editor = frmFolderSettings::ShowWindow();
    for (const auto& c : cases) {
        msgbox::ClearShown();
        editor.txtFolder->setText(c.folder);
        msgbox::QueueAnswer(vbYes);
        editor.cmdClearFolderInfo->click();
        ASSERT_EQ(msgbox::ShownBoxes().size(), 2u);
        EXPECT_EQ(msgbox::ShownBoxes()[1].text, "Complete, information cleared");
        EXPECT_EQ(msgbox::ShownBoxes()[1].style, vbInformation);
        EXPECT_EQ(msgbox::ShownBoxes()[1].title, "Result");
        std::vector<std::string> kept = c.kept;
        std::sort(kept.begin(), kept.end());
        EXPECT_EQ(FilePaths(), kept) << c.folder.toStdString();
    }
    EXPECT_EQ(frmFolderSettings::Loaded(), &editor) << "clearing leaves the editor open";
    EXPECT_EQ(Count("Tessary"), 1) << "clearing leaves the job";
    EXPECT_EQ(Lines(), std::vector<std::string>{}) << "clearing logs nothing";
}

TEST_F(FolderWindows, ClearAsksFirstAndStopsOnNo) {
    const auto job = AddJob("/data", "1");
    AddFile("/data/a.txt", job);
    frmFolderSettings& editor = frmFolderSettings::ShowWindow();

    editor.cmdClearFolderInfo->click();
    ExpectOneBox("You need a path to clear first!", vbCritical, "Error");

    msgbox::ClearShown();
    editor.txtFolder->setText("/data");
    msgbox::QueueAnswer(vbNo);
    editor.cmdClearFolderInfo->click();
    ASSERT_EQ(msgbox::ShownBoxes().size(), 2u);
    EXPECT_EQ(msgbox::ShownBoxes()[0].text,
              "This will wipe ALL status information for the files in this folder AND SUB FOLDERS!.\r\n"
              "You should only use this option if you want to re-back up these files.\r\n\r\n"
              "Are you entirely sure you wish to clear this information?");
    EXPECT_EQ(msgbox::ShownBoxes()[0].style, vbYesNo);
    EXPECT_EQ(msgbox::ShownBoxes()[0].title, "!!!WARNING!!!");
    EXPECT_EQ(msgbox::ShownBoxes()[1].text, "Operation aborted!");
    EXPECT_EQ(msgbox::ShownBoxes()[1].style, vbInformation);
    EXPECT_EQ(msgbox::ShownBoxes()[1].title, "Aborted");
    EXPECT_EQ(Count("myFiles"), 1);
}

TEST_F(FolderWindows, ARefusedSaveShowsTheStoresMessageAndKeepsTheEditor) {
    AddProfile("fileserver", "anna");
    store::StoreConnection().Execute(
        "create trigger no_jobs before insert on Tessary begin select raise(abort, 'jobs are locked'); end");
    frmFolderSettings& editor = NewJob("/data", "1 --> fileserver User: anna", true);
    editor.cmdClose->click();
    ExpectOneBox("jobs are locked", vbCritical, "Tessary");
    EXPECT_EQ(frmFolderSettings::Loaded(), &editor);
    EXPECT_EQ(editor.txtFolder->text(), "/data");
    EXPECT_TRUE(editor.chkSubDirs->isChecked());
    EXPECT_EQ(Count("Tessary"), 0);
}

}  // namespace

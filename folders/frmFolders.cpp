#include "folders/frmFolders.h"

#include "folders/DeleteJob.h"
#include "folders/FolderStatements.h"
#include "folders/frmFolderSettings.h"
#include "servers/EntryID.h"
#include "shell/StatusLog.h"
#include "store/Store.h"

#include <QListWidget>

frmFolders::frmFolders()
    : ListWindow({QStringLiteral("frmFolders"), QStringLiteral("myFolders"), 3945, QStringLiteral("&Add Folder"),
                  QStringLiteral("&Delete Folder"),
                  QStringLiteral("Double click an entry to edit it, you can also clear the current file status for "
                                 "the selected folder."),
                  3750}) {
    Form_Load();
}

void frmFolders::ShowWindow() { Show(); }

void frmFolders::Form_Load() { FillList(); }

void frmFolders::FillList() {
    try {
        store::SqlText = folders::ListFoldersStatement();
        store::Recordset rs = store::StoreConnection().Execute(store::SqlText);
        LogStatus("Listing Settings in Folders Screen");
        for (; !rs.Eof(); rs.MoveNext()) {
            lstServers->addItem(
                QString::fromStdString(folders::FolderListEntry(rs.Fields("SyncID"), rs.Fields("Folder"))));
        }
    } catch (const store::StoreError& e) {
        windows::ShowStoreError(e);
    }
}

void frmFolders::cmdAdd_Click() { frmFolderSettings::ShowWindow(); }

void frmFolders::lstServers_DblClick() {
    // Nothing selected (or a line that names no job): nothing to open.
    const auto key = EntryKey(ListText().toStdString());
    if (!key) return;
    // Showing comes first: loading the editor resets it to a new job.
    frmFolderSettings::ShowWindow().FetchInfo(*key);
}

void frmFolders::cmdDelete_Click() {
    if (const auto key = EntryKey(ListText().toStdString())) {
        try {
            folders::DeleteJobWithRecords(store::StoreConnection(), *key);
        } catch (const store::StoreError& e) {
            // Nothing was deleted: keep the list and its selection.
            windows::ShowStoreError(e);
            return;
        }
    }
    ReloadList();
}

void frmFolders::Unloading() { Release(this); }

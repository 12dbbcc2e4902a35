#include "folders/frmFolders.h"

#include "folders/DeleteJob.h"
#include "folders/FolderStatements.h"
#include "folders/frmFolderSettings.h"
#include "shell/StatusLog.h"
#include "shell/WindowOpeners.h"
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

void windows::ShowFolderList() { frmFolders::ShowWindow(); }

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

void frmFolders::OpenInEditor(std::int64_t id) { frmFolderSettings::ShowWindow().FetchInfo(id); }

void frmFolders::DeleteRecord(std::int64_t id) { folders::DeleteJobWithRecords(store::StoreConnection(), id); }

void frmFolders::Unloading() { Release(this); }

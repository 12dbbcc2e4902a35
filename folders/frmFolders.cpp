#include "folders/frmFolders.h"

#include "store/Jobs.h"
#include "folders/frmFolderSettings.h"
#include "base/StatusLog.h"
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
        store::SqlText = store::ListJobsStatement();
        store::Recordset rs = store::StoreConnection().Execute(store::SqlText);
        LogStatus("Listing Settings in Folders Screen");
        for (; !rs.Eof(); rs.MoveNext()) {
            lstServers->addItem(
                QString::fromStdString(rs.Fields("SyncID") + " --> Folder: " + rs.Fields("Folder")));
        }
    } catch (const store::StoreError& e) {
        windows::ShowStoreError(e, this);
    }
}

void frmFolders::cmdAdd_Click() { frmFolderSettings::ShowWindow(); }

void frmFolders::OpenInEditor(std::int64_t id) { frmFolderSettings::ShowWindow().FetchInfo(id); }

void frmFolders::DeleteRecord(std::int64_t id) { store::DeleteJobWithRecords(store::StoreConnection(), id); }

void frmFolders::Unloading() { Release(this); }

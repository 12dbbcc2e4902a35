#include "servers/frmServers.h"

#include "servers/EntryID.h"
#include "servers/ServerStatements.h"
#include "servers/frmServerSettings.h"
#include "shell/StatusLog.h"
#include "store/Store.h"

#include <QListWidget>

frmServers::frmServers()
    : ListWindow({QStringLiteral("frmServers"), QStringLiteral("myServers"), 3915, QStringLiteral("&Add Server"),
                  QStringLiteral("&Delete Server"), QStringLiteral("Double click an entry to edit it."), 3720}) {
    Form_Load();
}

void frmServers::ShowWindow() { Show(); }

void frmServers::Form_Load() { FillList(); }

void frmServers::FillList() {
    try {
        store::SqlText = servers::ListServersStatement();
        store::Recordset rs = store::StoreConnection().Execute(store::SqlText);
        LogStatus("Listing Settings in Servers Screen");
        for (; !rs.Eof(); rs.MoveNext()) {
            lstServers->addItem(QString::fromStdString(
                servers::ServerListEntry(rs.Fields("SettingsID"), rs.Fields("FTPServer"), rs.Fields("FTPUser"))));
        }
    } catch (const store::StoreError& e) {
        windows::ShowStoreError(e);
    }
}

void frmServers::cmdAdd_Click() {
    LogStatus("Showing Add Server Form");
    frmServerSettings::ShowWindow();
}

void frmServers::lstServers_DblClick() {
    // Nothing selected (or a line that names no profile): nothing to open.
    const auto key = EntryKey(ListText().toStdString());
    if (!key) return;
    // Showing comes first: loading the editor resets it to a new profile.
    frmServerSettings::ShowWindow().FetchInfo(*key);
}

void frmServers::cmdDelete_Click() {
    if (const auto key = EntryKey(ListText().toStdString())) {
        try {
            store::SqlText = servers::DeleteServerStatement(*key);
            store::StoreConnection().Execute(store::SqlText);
        } catch (const store::StoreError& e) {
            // The row is still there: keep the list and its selection.
            windows::ShowStoreError(e);
            return;
        }
    }
    ReloadList();
}

void frmServers::Unloading() { Release(this); }

#include "servers/frmServers.h"

#include "servers/ServerStatements.h"
#include "servers/frmServerSettings.h"
#include "shell/StatusLog.h"
#include "shell/WindowOpeners.h"
#include "store/Store.h"

#include <QListWidget>

frmServers::frmServers()
    : ListWindow({QStringLiteral("frmServers"), QStringLiteral("myServers"), 3915, QStringLiteral("&Add Server"),
                  QStringLiteral("&Delete Server"), QStringLiteral("Double click an entry to edit it."), 3720}) {
    Form_Load();
}

void frmServers::ShowWindow() { Show(); }

void windows::ShowServerList() { frmServers::ShowWindow(); }

void frmServers::Form_Load() { FillList(); }

void frmServers::FillList() {
    try {
        store::SqlText = store::ListServersStatement();
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

void frmServers::OpenInEditor(std::int64_t id) { frmServerSettings::ShowWindow().FetchInfo(id); }

void frmServers::DeleteRecord(std::int64_t id) {
    store::SqlText = servers::DeleteServerStatement(id);
    store::StoreConnection().Execute(store::SqlText);
}

void frmServers::Unloading() { Release(this); }

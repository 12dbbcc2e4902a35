#include "servers/frmServers.h"

#include "store/Profiles.h"
#include "servers/frmServerSettings.h"
#include "base/StatusLog.h"
#include "store/Store.h"

#include <QListWidget>

namespace {

// "<id> --> Server: <host> User: <user>"
std::string ServerListEntry(const std::string& id, const std::string& host, const std::string& user) {
    return id + " --> Server: " + host + " User: " + user;
}

}  // namespace

frmServers::frmServers()
    : ListWindow({QStringLiteral("frmServers"), QStringLiteral("myServers"), 3915, QStringLiteral("&Add Server"),
                  QStringLiteral("&Delete Server"), QStringLiteral("Double click an entry to edit it."), 3720}) {
    Form_Load();
}

void frmServers::ShowWindow() { Show(); }

void frmServers::Form_Load() { FillList(); }

void frmServers::FillList() {
    try {
        store::SqlText = store::ListServersStatement();
        store::Recordset rs = store::StoreConnection().Execute(store::SqlText);
        LogStatus("Listing Settings in Servers Screen");
        for (; !rs.Eof(); rs.MoveNext()) {
            lstServers->addItem(QString::fromStdString(
                ServerListEntry(rs.Fields("SettingsID"), rs.Fields("FTPServer"), rs.Fields("FTPUser"))));
        }
    } catch (const store::StoreError& e) {
        windows::ShowStoreError(e, this);
    }
}

void frmServers::cmdAdd_Click() {
    LogStatus("Showing Add Server Form");
    frmServerSettings::ShowWindow();
}

void frmServers::OpenInEditor(std::int64_t id) { frmServerSettings::ShowWindow().FetchInfo(id); }

void frmServers::DeleteRecord(std::int64_t id) {
    store::SqlText = store::DeleteServerStatement(id);
    store::StoreConnection().Execute(store::SqlText);
}

void frmServers::Unloading() { Release(this); }

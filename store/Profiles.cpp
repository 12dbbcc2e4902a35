#include "store/Profiles.h"

#include "store/Store.h"

namespace store {

std::string ListServersStatement() { return "select * from mySettings"; }

std::string SelectServerStatement(std::int64_t settingsId) {
    return "select * from mySettings where SettingsID = " + std::to_string(settingsId);
}

ServerProfile ReadServerProfile(const Recordset& row) {
    ServerProfile p;
    p.server = row.Fields("FTPServer");
    p.port = row.Fields("FTPPort");
    p.user = row.Fields("FTPUser");
    p.password = row.Fields("FTPPAssword");
    p.directory = row.Fields("FTPDirectory");
    p.notes = row.Fields("FTPNotes");
    return p;
}

}  // namespace store

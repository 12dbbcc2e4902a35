#include "store/Profiles.h"

#include "store/Store.h"

namespace store {

std::string ListServersStatement() { return "select * from mySettings"; }

std::string SelectServerStatement(std::int64_t settingsId) {
    return "select * from mySettings where SettingsID = " + std::to_string(settingsId);
}

std::string InsertServerStatement(const ServerProfile& p) {
    return "insert into mySettings (FTPServer, FTPPort, FTPUser, FTPPassword, FTPDirectory, FTPNotes, FTPConnections) "
           "values(" + Quoted(p.server) + ", " + Quoted(p.port) + ", " + Quoted(p.user) + ", " + Quoted(p.password) +
           ", " + Quoted(p.directory) + ", " + Quoted(p.notes) + ", " + Quoted(p.connections) + ")";
}

std::string UpdateServerStatement(const ServerProfile& p, std::int64_t settingsId) {
    return "Update mySettings set FTPServer = " + Quoted(p.server) + ", FTPPort = " + Quoted(p.port) +
           ", FTPUser = " + Quoted(p.user) + ", FTPPassword = " + Quoted(p.password) +
           ", FTPDirectory = " + Quoted(p.directory) + ", FTPNotes = " + Quoted(p.notes) +
           ", FTPConnections = " + Quoted(p.connections) +
           " where SettingsID = " + std::to_string(settingsId);
}

std::string DeleteServerStatement(std::int64_t settingsId) {
    return "delete from mySettings where SettingsID = " + std::to_string(settingsId);
}

ServerProfile ReadServerProfile(const Recordset& row) {
    ServerProfile p;
    p.server = row.Fields("FTPServer");
    p.port = row.Fields("FTPPort");
    p.user = row.Fields("FTPUser");
    p.password = row.Fields("FTPPAssword");
    p.directory = row.Fields("FTPDirectory");
    p.notes = row.Fields("FTPNotes");
    p.connections = row.Fields("FTPConnections");
    return p;
}

}  // namespace store

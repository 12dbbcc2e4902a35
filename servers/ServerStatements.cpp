#include "servers/ServerStatements.h"

#include "store/Store.h"

namespace servers {

using store::DoubleQuotes;

std::string ListServersStatement() { return "select * from mySettings"; }

std::string ServerListEntry(const std::string& id, const std::string& host, const std::string& user) {
    return id + " --> Server: " + host + " User: " + user;
}

std::string SelectServerStatement(std::int64_t settingsId) {
    return "select * from mySettings where SettingsID = " + std::to_string(settingsId);
}

std::string InsertServerStatement(const ServerProfile& p) {
    return "insert into mySettings (FTPServer, FTPPort, FTPUser, FTPPassword, FTPDirectory, FTPNotes) "
           "values('" + DoubleQuotes(p.server) + "', '" + DoubleQuotes(p.port) + "', '" + DoubleQuotes(p.user) +
           "'," " '" + DoubleQuotes(p.password) + "', '" + DoubleQuotes(p.directory) + "', '" +
           DoubleQuotes(p.notes) + "')";
}

std::string UpdateServerStatement(const ServerProfile& p, std::int64_t settingsId) {
    return "Update mySettings "
           "set FTPServer = '" + DoubleQuotes(p.server) + "', "
           "FTPPort = '" + DoubleQuotes(p.port) + "', "
           "FTPUser = '" + DoubleQuotes(p.user) + "', "
           "FTPPassword = '" + DoubleQuotes(p.password) + "', "
           "FTPDirectory = '" + DoubleQuotes(p.directory) + "', "
           "FTPNotes = '" + DoubleQuotes(p.notes) + "' "
           "where SettingsID = " + std::to_string(settingsId);
}

std::string DeleteServerStatement(std::int64_t settingsId) {
    return "delete from mySettings where SettingsID = " + std::to_string(settingsId);
}

ServerProfile ReadServerProfile(const store::Recordset& row) {
    ServerProfile p;
    p.server = row.Fields("FTPServer");
    p.port = row.Fields("FTPPort");
    p.user = row.Fields("FTPUser");
    p.password = row.Fields("FTPPAssword");
    p.directory = row.Fields("FTPDirectory");
    p.notes = row.Fields("FTPNotes");
    return p;
}

}  // namespace servers

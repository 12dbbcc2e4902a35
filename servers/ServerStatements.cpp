#include "servers/ServerStatements.h"

#include "store/Store.h"

namespace servers {

using store::DoubleQuotes;

std::string ServerListEntry(const std::string& id, const std::string& host, const std::string& user) {
    return id + " --> Server: " + host + " User: " + user;
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

}  // namespace servers

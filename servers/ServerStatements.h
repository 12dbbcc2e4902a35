#pragma once
// The statements of the server list and the server editor, and the text of
// a server list entry. Every text value has each "'" doubled, so any text
// is stored exactly as typed.

#include <cstdint>
#include <string>

namespace store {
class Recordset;
}

namespace servers {

// One row of mySettings as the editor shows it; every value is text.
struct ServerProfile {
    std::string server;
    std::string port;
    std::string user;
    std::string password;
    std::string directory;
    std::string notes;

    bool operator==(const ServerProfile&) const = default;
};

// "select * from mySettings"
std::string ListServersStatement();
// "<id> --> Server: <host> User: <user>"
std::string ServerListEntry(const std::string& id, const std::string& host, const std::string& user);

std::string SelectServerStatement(std::int64_t settingsId);
std::string InsertServerStatement(const ServerProfile& profile);
std::string UpdateServerStatement(const ServerProfile& profile, std::int64_t settingsId);
std::string DeleteServerStatement(std::int64_t settingsId);

// The current row of a mySettings result.
ServerProfile ReadServerProfile(const store::Recordset& row);

}  // namespace servers

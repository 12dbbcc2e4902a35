#pragma once
// Server profiles, table mySettings: the row as every part of the program
// reads it, and every statement that reads or writes one. Text values go
// in with each "'" doubled, so any text is stored exactly as typed.

#include <cstdint>
#include <string>

namespace store {

class Recordset;

// One row of mySettings; every value is text, as typed in the editor.
struct ServerProfile {
    std::string server;
    std::string port;
    std::string user;
    std::string password;
    std::string directory;
    std::string notes;
    std::string connections;  // uploads at once, as typed

    bool operator==(const ServerProfile&) const = default;
};

// "select * from mySettings"
std::string ListServersStatement();
std::string SelectServerStatement(std::int64_t settingsId);
std::string InsertServerStatement(const ServerProfile& profile);
std::string UpdateServerStatement(const ServerProfile& profile, std::int64_t settingsId);
std::string DeleteServerStatement(std::int64_t settingsId);

// The current row of a mySettings result.
ServerProfile ReadServerProfile(const Recordset& row);

}  // namespace store

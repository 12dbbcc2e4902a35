#pragma once
// Server profiles as every part of the program reads them: the row of
// mySettings and the statements that select it.

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

    bool operator==(const ServerProfile&) const = default;
};

// "select * from mySettings"
std::string ListServersStatement();
std::string SelectServerStatement(std::int64_t settingsId);

// The current row of a mySettings result.
ServerProfile ReadServerProfile(const Recordset& row);

}  // namespace store

#pragma once
// The statements the server list and the server editor write with, and
// the text of a server list entry. Every text value has each "'" doubled,
// so any text is stored exactly as typed.

#include "store/Profiles.h"

#include <cstdint>
#include <string>

namespace servers {

using store::ServerProfile;

// "<id> --> Server: <host> User: <user>"
std::string ServerListEntry(const std::string& id, const std::string& host, const std::string& user);

std::string InsertServerStatement(const ServerProfile& profile);
std::string UpdateServerStatement(const ServerProfile& profile, std::int64_t settingsId);
std::string DeleteServerStatement(std::int64_t settingsId);

}  // namespace servers

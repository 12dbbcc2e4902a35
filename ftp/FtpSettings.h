#pragma once
// What every connection made from now on takes: how long it waits, and
// what a server's identity is checked against. Tests set their own.

#include <chrono>
#include <string>

namespace ftp {

// How long the client waits: for a connection and login, for any one
// server reply, and for a transfer that moves no byte at all. Running out
// of any of them is ERROR_INTERNET_TIMEOUT.
struct Timeouts {
    std::chrono::milliseconds connect{30000};
    std::chrono::milliseconds reply{60000};  // timed in whole seconds, rounded up
    std::chrono::milliseconds stall{60000};
};
// Tests shorten the waits; a connection keeps the values in force when it
// is made.
void SetTimeoutsForTesting(const Timeouts& timeouts);
Timeouts CurrentTimeouts();

// Tests trust their own certificate authority and keep their own known
// hosts: a connection made afterwards verifies FTPS certificates against
// `caFile` (beside the system's store), and SFTP host keys against
// `knownHostsFile` instead of ~/.ssh/known_hosts. Empty texts go back to
// the system's alone. Verification itself is never switched off.
void SetCaFileForTesting(const std::string& caFile);
void SetKnownHostsFileForTesting(const std::string& knownHostsFile);
std::string CaFile();
// ~/.ssh/known_hosts of the user who runs the program.
std::string DefaultKnownHostsFile();
// The known-hosts file SFTP connections check host keys against.
std::string KnownHostsFile();

}  // namespace ftp

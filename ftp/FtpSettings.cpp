#include "ftp/FtpSettings.h"

#include <cstdlib>
#include <mutex>
#include <pwd.h>
#include <unistd.h>

namespace ftp {
namespace {

// Set by tests between connections, read whenever one is made, on any thread.
struct Settings {
    std::mutex mutex;
    Timeouts timeouts;
    std::string caFile, knownHosts;
};

Settings& S() {
    static Settings settings;
    return settings;
}

}  // namespace

void SetTimeoutsForTesting(const Timeouts& timeouts) {
    const std::lock_guard lock(S().mutex);
    S().timeouts = timeouts;
}

Timeouts CurrentTimeouts() {
    const std::lock_guard lock(S().mutex);
    return S().timeouts;
}

void SetCaFileForTesting(const std::string& caFile) {
    const std::lock_guard lock(S().mutex);
    S().caFile = caFile;
}

void SetKnownHostsFileForTesting(const std::string& knownHostsFile) {
    const std::lock_guard lock(S().mutex);
    S().knownHosts = knownHostsFile;
}

std::string CaFile() {
    const std::lock_guard lock(S().mutex);
    return S().caFile;
}

std::string DefaultKnownHostsFile() {
    const char* home = std::getenv("HOME");
    std::string folder = home && *home ? home : "";
    if (folder.empty())
        if (const passwd* user = ::getpwuid(::getuid()); user && user->pw_dir) folder = user->pw_dir;
    return folder + "/.ssh/known_hosts";
}

std::string KnownHostsFile() {
    const std::lock_guard lock(S().mutex);
    return S().knownHosts.empty() ? DefaultKnownHostsFile() : S().knownHosts;
}

}  // namespace ftp

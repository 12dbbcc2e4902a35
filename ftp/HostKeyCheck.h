#pragma once
// An SSH host key the known-hosts file did not vouch for: what it is, and
// the words that tell the user how to accept it, in the known-hosts file's
// own terms.

#include "ftp/Endpoint.h"

#include <curl/curl.h>

#include <string>

namespace ftp {

struct RefusedHostKey {
    std::string type;         // "ssh-ed25519"
    std::string fingerprint;  // "SHA256:..." as OpenSSH shows it
    bool changed = false;     // the file holds another key for the host
};

// The key libcurl found, named by its type and fingerprint.
RefusedHostKey DescribeHostKey(const curl_khkey& found, bool changed);

// What a refused key means and the ssh-keyscan (and, for a changed key,
// ssh-keygen -R) command that accepts it; the known-hosts file is named as
// "~/.ssh/known_hosts" when it is the user's own.
std::string HostKeyAdvice(const RefusedHostKey& key, const Endpoint& where);

}  // namespace ftp

#include "ftp/HostKeyCheck.h"

#include "ftp/FtpSettings.h"

#include <openssl/evp.h>

#include <algorithm>

namespace ftp {
namespace {

// An SSH public key blob begins with its type name ("ssh-ed25519").
std::string KeyType(const curl_khkey& key) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(key.key);
    if (key.len >= 4) {
        const std::size_t n = (std::size_t{bytes[0]} << 24) | (std::size_t{bytes[1]} << 16) |
                              (std::size_t{bytes[2]} << 8) | bytes[3];
        if (n > 0 && n <= key.len - 4) return std::string(key.key + 4, n);
    }
    switch (key.keytype) {
    case CURLKHTYPE_RSA: return "ssh-rsa";
    case CURLKHTYPE_DSS: return "ssh-dss";
    case CURLKHTYPE_ECDSA: return "ecdsa";
    case CURLKHTYPE_ED25519: return "ssh-ed25519";
    default: return "unknown";
    }
}

// The fingerprint as OpenSSH shows it: "SHA256:" and the digest in base64
// without padding.
std::string Fingerprint(const curl_khkey& key) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    if (EVP_Digest(key.key, key.len, digest, &size, EVP_sha256(), nullptr) != 1) return {};
    unsigned char text[4 * ((EVP_MAX_MD_SIZE + 2) / 3) + 1];
    const int length = EVP_EncodeBlock(text, digest, static_cast<int>(size));
    std::string encoded(reinterpret_cast<char*>(text), static_cast<std::size_t>(std::max(length, 0)));
    while (!encoded.empty() && encoded.back() == '=') encoded.pop_back();
    return "SHA256:" + encoded;
}

}  // namespace

RefusedHostKey DescribeHostKey(const curl_khkey& found, bool changed) {
    return {KeyType(found), Fingerprint(found), changed};
}

std::string HostKeyAdvice(const RefusedHostKey& refused, const Endpoint& where) {
    const std::string hostEntry = where.port == 22 ? where.host : "[" + where.host + "]:" + std::to_string(where.port);
    const std::string file = where.knownHosts == DefaultKnownHostsFile() ? "~/.ssh/known_hosts" : where.knownHosts;
    const std::string key = refused.type + " key " + refused.fingerprint + " of " + hostEntry;
    const std::string accept = "ssh-keyscan -p " + std::to_string(where.port) + " " + where.host + " >> " + file;
    if (refused.changed)
        return key + " differs from the key " + file + " holds for it (the key was changed, or this is another machine); "
               "if the change is expected, remove the old key with ssh-keygen -f " + file + " -R '" + hostEntry +
               "' and accept the new one with: " + accept;
    return key + " is not in " + file + "; if that is the server's key, accept it with: " + accept;
}

}  // namespace ftp

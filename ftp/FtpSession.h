#pragma once
// One logged-in connection to a server: a libcurl easy handle driven
// through its own multi handle, which keeps the connection (and with it the
// login) from one request to the next. Plain FTP, explicit FTPS and SFTP
// share it; what differs is how requests are spelt.

#include "ftp/CurlHandles.h"
#include "ftp/HostKeyCheck.h"
#include "ftp/RemoteListing.h"
#include "ftp/ReplyParser.h"
#include "ftp/modFTP.h"

#include <functional>
#include <optional>
#include <cstdint>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace ftp {

// How one request through the connection ended.
struct Outcome {
    CURLcode result = CURLE_OK;
    long replyCode = 0;      // the server's last reply code (FTP)
    bool stalled = false;    // no byte moved for the stall time
    bool ok() const { return result == CURLE_OK && !stalled; }
};

// A write callback that throws the body away.
std::size_t DiscardBody(char*, std::size_t size, std::size_t count, void*);

struct FtpSession {
    FtpSession(Endpoint where, const std::string& user, const std::string& password, bool passiveMode,
               const Timeouts& waits);
    ~FtpSession();
    FtpSession(const FtpSession&) = delete;
    FtpSession& operator=(const FtpSession&) = delete;

    bool valid() const { return easy && multi; }
    bool sftp() const { return endpoint.transport == Transport::Sftp; }

    // Logs in (or finds the login still standing) and does nothing else.
    // FTPS asks for TLS 1.2: over TLS 1.3 libcurl resumes each data
    // connection with a ticket from the one before, and servers that demand
    // the control connection's session (vsftpd's default) refuse transfers
    // from the second on. Only a server that cannot do TLS 1.2 gets more.
    Outcome Login();
    // Sends one raw FTP command; its failure leaves the connection
    // standing. The reply code is in the outcome.
    Outcome Command(const std::string& line);
    // Sends quote commands in one request, as they stand: over FTP a
    // leading "*" lets one fail without failing the request; over SFTP a
    // failing one ends the request with libcurl's account in FailureText().
    Outcome Quote(const std::vector<std::string>& lines);
    // SFTP: whether the absolute path names a directory (or, without
    // `directory`, anything). A failed look fails the outcome; a missing
    // path does not.
    Outcome Exists(const std::string& absolute, bool directory, bool& exists);
    // Lists the names in a directory (into `names` when given); its failure
    // text says why a directory cannot be used.
    Outcome List(const std::string& absolute, std::vector<std::string>* names = nullptr);
    // Lists a directory with each entry's kind and size: MLSD while the
    // server takes it, else LIST; SFTP reads the directory with its sizes.
    Outcome ListEntries(const std::string& absolute, std::vector<RemoteEntry>& entries);
    // Downloads the file at the resolved remote path into `sink`, which
    // sees every byte and returns false to stop. `modified` is the file's
    // time on the server (seconds since the epoch), or -1 when it gave none.
    Outcome Download(const std::string& absolute, WriteSink& sink, std::int64_t& modified);
    // Uploads `size` bytes read from `file` to the resolved remote path.
    // `readFailed` tells a local read error apart from a network one.
    // `tap` (may be null) sees every byte read.
    Outcome Upload(std::FILE* file, std::int64_t size, const std::string& absolute, ReadTap* tap, bool& readFailed);

    // Active mode for the rest of the connection.
    void UseActiveMode();

    // The text for InternetGetLastResponseInfo() after a failed request: the
    // server's refusal, or libcurl's account of what broke when no refusal
    // was read (a transfer cut off midway never reads the last reply; SFTP
    // has no replies at all).
    std::string FailureText() const;
    // The error code for a failed request, telling an untrusted server
    // identity apart by what failed, and the reason its message names.
    std::uint32_t FailureCode(const Outcome& outcome) const;
    std::string FailureDetail(const Outcome& outcome) const;
    // The reply the server gave in the last request to the last command
    // with this verb ("RNFR"), or empty.
    std::string ReplyTo(const std::string& verb) const;

    CurlEasy easy;
    CurlMulti multi;
    Endpoint endpoint;
    std::string cwd = "/";
    bool passive = true;
    Timeouts timeouts;
    std::set<std::string> knownFolders;  // remote folders that exist
    std::string lastReply;               // the last complete server reply

private:
    // A request that logs in if needed, sends the quote commands (if any)
    // and transfers nothing.
    Outcome PerformWithoutTransfer(curl_slist* quote, const std::string& urlPath = "/");
    // The request set up, and once more over a new login when the server
    // refused its data connection's session (see the definition); `rewind`
    // sets an upload back to its start first.
    Outcome Perform(const std::function<void()>& rewind = {});
    Outcome PerformOnce();
    std::string UrlPath(const std::string& absolute) const;
    std::string FolderUrlPath(const std::string& absolute) const;  // ends in "/"
    // A request that reads from the URL path, its body into `body` when given.
    void SetUpRead(const std::string& urlPath, std::string* body);
    void OnReply(std::string reply);
    void OnCommandText(std::string_view text);
    static int OnDebug(CURL*, curl_infotype type, char* data, std::size_t size, void* self);
    static int OnHostKey(CURL*, const curl_khkey* known, const curl_khkey* found, curl_khmatch match, void* self);

    char errorText_[CURL_ERROR_SIZE] = {};
    ReplyParser replies_;
    // The commands of the last request by verb, each with the reply it got.
    std::vector<std::pair<std::string, std::string>> exchange_;
    // An SFTP host key that was refused: the key's type and fingerprint,
    // and whether the known hosts held another key for the host.
    std::optional<RefusedHostKey> refusedKey_;
    bool anyTls_ = false;  // FTPS past TLS 1.2 (see Login)
    bool mlsdRefused_ = false;  // the server does not know MLSD: LIST from then on
};

}  // namespace ftp

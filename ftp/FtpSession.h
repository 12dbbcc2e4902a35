#pragma once
// One logged-in FTP control connection: a libcurl easy handle driven
// through its own multi handle, which keeps the connection (and with it the
// login) from one request to the next.

#include "ftp/CurlHandles.h"
#include "ftp/modFTP.h"

#include <cstdint>
#include <set>
#include <string>
#include <string_view>

namespace ftp {

// How one request through the connection ended.
struct Outcome {
    CURLcode result = CURLE_OK;
    long replyCode = 0;      // the server's last reply code
    bool stalled = false;    // no byte moved for the stall time
    bool cancelled = false;  // the connection was closed while it ran
    bool ok() const { return result == CURLE_OK && !stalled && !cancelled; }
};

struct FtpSession {
    FtpSession(std::string serverUrl, const std::string& user, const std::string& password, bool passiveMode,
               const Timeouts& waits);
    ~FtpSession();
    FtpSession(const FtpSession&) = delete;
    FtpSession& operator=(const FtpSession&) = delete;

    bool valid() const { return easy && multi; }

    // Logs in (or finds the login still standing) and does nothing else.
    Outcome Login();
    // Sends one raw command; its failure leaves the connection standing.
    // The reply code is in the outcome.
    Outcome Command(const std::string& line);
    // Uploads `size` bytes read from `file` to the resolved remote path.
    // `readFailed` tells a local read error apart from a network one.
    // `tap` (may be null) sees every byte read.
    Outcome Upload(std::FILE* file, std::int64_t size, const std::string& absolute, ReadTap* tap, bool& readFailed);

    // Active mode for the rest of the connection.
    void UseActiveMode();

    // The text for InternetGetLastResponseInfo() after a failed request: the
    // server's refusal, or libcurl's account of what broke when no refusal
    // was read (a transfer cut off midway never reads the last reply).
    std::string FailureText() const;

    CurlEasy easy;
    CurlMulti multi;
    std::string baseUrl;  // "ftp://host:port"
    std::string cwd = "/";
    bool passive = true;
    Timeouts timeouts;
    std::set<std::string> knownFolders;  // remote folders that exist
    std::string lastReply;               // the last complete server reply

    // A request is running (a yield may re-enter the layer); closing is
    // then deferred until it has returned.
    bool busy = false;
    bool closePending = false;

private:
    // A request that logs in if needed, sends the quote commands (if any)
    // and transfers nothing.
    Outcome PerformWithoutTransfer(curl_slist* quote);
    Outcome Perform();
    void OnReplyText(std::string_view text);
    static int OnDebug(CURL*, curl_infotype type, char* data, std::size_t size, void* self);

    char errorText_[CURL_ERROR_SIZE] = {};
    std::string lineBuffer_;    // a reply line still arriving
    std::string replyPending_;  // the lines so far of a multi-line reply
};

}  // namespace ftp

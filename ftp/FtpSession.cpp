#include "ftp/FtpSession.h"

#include "ftp/FtpErrors.h"
#include "ftp/FtpPaths.h"
#include "ftp/HostKeyCheck.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>

namespace ftp {
namespace {

using Clock = std::chrono::steady_clock;

// The longest wait for network activity between two looks.
constexpr int kPollMs = 50;
// Between some FTP steps libcurl watches no socket at all (the 1 s stalls of
// curl_easy_perform), yet it can go on at once when asked again: the first
// look does not wait, and the waits grow while nothing happens.
constexpr int kFirstPollMs = 0;
// Debian's trusted certificates, one file each under its hash
// (update-ca-certificates keeps it beside the bundle file).
constexpr const char* kSystemCaFolder = "/etc/ssl/certs";
// Large upload buffers keep a big file moving with few trips through the loop.
constexpr long kUploadBuffer = 512 * 1024;

bool IsRefusal(const std::string& reply) { return !reply.empty() && (reply[0] == '4' || reply[0] == '5'); }

struct ReadContext {
    std::FILE* file = nullptr;
    ReadTap* tap = nullptr;
    bool failed = false;
};

std::size_t OnRead(char* buffer, std::size_t size, std::size_t count, void* userdata) {
    auto* ctx = static_cast<ReadContext*>(userdata);
    const std::size_t got = std::fread(buffer, 1, size * count, ctx->file);
    if (got == 0 && std::ferror(ctx->file)) {
        ctx->failed = true;
        return CURL_READFUNC_ABORT;
    }
    if (ctx->tap && got > 0) ctx->tap->Read(buffer, got);
    return got;
}

long WholeSecondsUp(std::chrono::milliseconds ms) {
    return static_cast<long>((ms.count() + 999) / 1000);
}

}  // namespace

std::size_t DiscardBody(char*, std::size_t size, std::size_t count, void*) { return size * count; }

FtpSession::FtpSession(Endpoint where, const std::string& user, const std::string& password, bool passiveMode,
                       const Timeouts& waits)
    : easy(curl_easy_init()), multi(curl_multi_init()), endpoint(std::move(where)), passive(passiveMode),
      timeouts(waits) {
    if (!valid()) return;
    CURL* h = easy.get();
    curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, sftp() ? "sftp" : "ftp");
    if (endpoint.transport == Transport::Ftps) {
        // TLS or nothing: a server that cannot do it fails the login
        // before the user name is sent.
        curl_easy_setopt(h, CURLOPT_USE_SSL, static_cast<long>(CURLUSESSL_ALL));
        curl_easy_setopt(h, CURLOPT_FTPSSLAUTH, static_cast<long>(CURLFTPAUTH_TLS));
        curl_easy_setopt(h, CURLOPT_SSL_VERIFYPEER, 1L);
        curl_easy_setopt(h, CURLOPT_SSL_VERIFYHOST, 2L);
        // The system's store as its hashed folder, where OpenSSL reads only
        // the issuers a chain needs: from the bundle file libcurl would parse
        // every certificate again for each data connection (some 30 ms each).
        curl_easy_setopt(h, CURLOPT_CAINFO, endpoint.caFile.empty() ? nullptr : endpoint.caFile.c_str());
        curl_easy_setopt(h, CURLOPT_CAPATH, kSystemCaFolder);
        // TLS 1.2 first (see Login).
        curl_easy_setopt(h, CURLOPT_SSLVERSION,
                         static_cast<long>(CURL_SSLVERSION_TLSv1_2) | static_cast<long>(CURL_SSLVERSION_MAX_TLSv1_2));
    }
    if (sftp()) {
        curl_easy_setopt(h, CURLOPT_SSH_AUTH_TYPES, static_cast<long>(CURLSSH_AUTH_PASSWORD | CURLSSH_AUTH_KEYBOARD));
        // Without a known-hosts file libcurl would accept any host key.
        curl_easy_setopt(h, CURLOPT_SSH_KNOWNHOSTS, endpoint.knownHosts.c_str());
        curl_easy_setopt(h, CURLOPT_SSH_KEYFUNCTION, &FtpSession::OnHostKey);
        curl_easy_setopt(h, CURLOPT_SSH_KEYDATA, this);
    }
    // A listing nobody asked to keep goes nowhere (not to standard output).
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, &DiscardBody);
    // An HTTP proxy from the environment would swallow the raw commands.
    curl_easy_setopt(h, CURLOPT_PROXY, "");
    curl_easy_setopt(h, CURLOPT_USERNAME, user.c_str());
    curl_easy_setopt(h, CURLOPT_PASSWORD, password.c_str());
    // Every path is sent in full; CWD-per-level methods and libcurl's own
    // folder creation are never used.
    curl_easy_setopt(h, CURLOPT_FTP_FILEMETHOD, static_cast<long>(CURLFTPMETHOD_NOCWD));
    curl_easy_setopt(h, CURLOPT_FTP_CREATE_MISSING_DIRS, static_cast<long>(CURLFTP_CREATE_DIR_NONE));
    curl_easy_setopt(h, CURLOPT_FTP_USE_EPSV, 1L);
    curl_easy_setopt(h, CURLOPT_TRANSFERTEXT, 0L);
    curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(timeouts.connect.count()));
    curl_easy_setopt(h, CURLOPT_SERVER_RESPONSE_TIMEOUT, WholeSecondsUp(timeouts.reply));
    curl_easy_setopt(h, CURLOPT_ACCEPTTIMEOUT_MS, static_cast<long>(timeouts.reply.count()));
    curl_easy_setopt(h, CURLOPT_TCP_KEEPALIVE, 1L);
    // Hashing a large file between two uploads can leave the connection idle
    // for minutes; libcurl would drop it after 118 s and log in again.
    curl_easy_setopt(h, CURLOPT_MAXAGE_CONN, 24L * 3600L);
    curl_easy_setopt(h, CURLOPT_UPLOAD_BUFFERSIZE, kUploadBuffer);
    curl_easy_setopt(h, CURLOPT_ERRORBUFFER, errorText_);
    // The debug callback is where the server's replies can be read.
    curl_easy_setopt(h, CURLOPT_VERBOSE, 1L);
    curl_easy_setopt(h, CURLOPT_DEBUGFUNCTION, &FtpSession::OnDebug);
    curl_easy_setopt(h, CURLOPT_DEBUGDATA, this);
    if (!passive) UseActiveMode();
}

// The multi handle goes first: it holds the connection and says QUIT.
FtpSession::~FtpSession() { multi.reset(); }

void FtpSession::UseActiveMode() {
    passive = false;
    curl_easy_setopt(easy.get(), CURLOPT_FTPPORT, "-");
}

Outcome FtpSession::Login() {
    Outcome outcome = PerformWithoutTransfer(nullptr);
    // A server that offers TLS 1.3 only (or no TLS 1.2 cipher for its
    // key) still gets in, with what that costs its data connections.
    if (endpoint.transport == Transport::Ftps && outcome.result == CURLE_SSL_CONNECT_ERROR && !anyTls_) {
        anyTls_ = true;
        curl_easy_setopt(easy.get(), CURLOPT_SSLVERSION,
                         static_cast<long>(CURL_SSLVERSION_TLSv1_2) | static_cast<long>(CURL_SSLVERSION_MAX_DEFAULT));
        outcome = PerformWithoutTransfer(nullptr);
    }
    return outcome;
}

Outcome FtpSession::Quote(const std::vector<std::string>& lines) {
    CurlSlist quote;
    for (const auto& line : lines) {
        curl_slist* longer = curl_slist_append(quote.get(), line.c_str());
        if (!longer) return Outcome{CURLE_OUT_OF_MEMORY};
        quote.release();
        quote.reset(longer);
    }
    return PerformWithoutTransfer(quote.get());
}

Outcome FtpSession::Exists(const std::string& absolute, bool directory, bool& exists) {
    // libcurl looks at the path's modification time before it would list a
    // directory (which a request without a body then skips); a path that
    // cannot be looked at has none. "dir/" is no directory when it is a file.
    std::string path = UrlPath(absolute);
    if (directory && path.back() != '/') path += '/';
    CURL* h = easy.get();
    curl_easy_setopt(h, CURLOPT_FILETIME, 1L);
    const Outcome outcome = PerformWithoutTransfer(nullptr, path);
    curl_easy_setopt(h, CURLOPT_FILETIME, 0L);
    curl_off_t time = -1;
    curl_easy_getinfo(h, CURLINFO_FILETIME_T, &time);
    exists = outcome.ok() && time >= 0;
    return outcome;
}

std::string FtpSession::UrlPath(const std::string& absolute) const {
    return sftp() ? SftpUrlPathFor(easy.get(), absolute) : UrlPathFor(easy.get(), absolute);
}

Outcome FtpSession::Command(const std::string& line) {
    // "*": a refusal is not a failure of the request, so libcurl keeps the
    // connection; the reply code tells the outcome.
    CurlSlist quote(curl_slist_append(nullptr, ("*" + line).c_str()));
    if (!quote) return Outcome{CURLE_OUT_OF_MEMORY};
    return PerformWithoutTransfer(quote.get());
}

Outcome FtpSession::PerformWithoutTransfer(curl_slist* quote, const std::string& urlPath) {
    CURL* h = easy.get();
    curl_easy_setopt(h, CURLOPT_URL, (endpoint.url + urlPath).c_str());
    curl_easy_setopt(h, CURLOPT_UPLOAD, 0L);
    curl_easy_setopt(h, CURLOPT_NOBODY, 1L);
    curl_easy_setopt(h, CURLOPT_QUOTE, quote);
    const Outcome outcome = Perform();
    curl_easy_setopt(h, CURLOPT_QUOTE, nullptr);
    return outcome;
}

Outcome FtpSession::Upload(std::FILE* file, std::int64_t size, const std::string& absolute, ReadTap* tap,
                           bool& readFailed) {
    ReadContext ctx{file, tap};
    CURL* h = easy.get();
    curl_easy_setopt(h, CURLOPT_URL, (endpoint.url + UrlPath(absolute)).c_str());
    curl_easy_setopt(h, CURLOPT_QUOTE, nullptr);
    curl_easy_setopt(h, CURLOPT_NOBODY, 0L);
    curl_easy_setopt(h, CURLOPT_UPLOAD, 1L);
    curl_easy_setopt(h, CURLOPT_READFUNCTION, &OnRead);
    curl_easy_setopt(h, CURLOPT_READDATA, &ctx);
    curl_easy_setopt(h, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(size));
    const Outcome outcome = Perform([&] {
        std::rewind(file);
        if (tap) tap->Rewound();
        ctx.failed = false;
    });
    curl_easy_setopt(h, CURLOPT_UPLOAD, 0L);
    curl_easy_setopt(h, CURLOPT_READDATA, nullptr);
    curl_easy_setopt(h, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(-1));
    readFailed = ctx.failed;
    return outcome;
}

Outcome FtpSession::Perform(const std::function<void()>& rewind) {
    Outcome outcome = PerformOnce();
    // A server on TLS 1.3 that wants every data connection to resume the
    // login's session ("522 SSL connection failed: session reuse required")
    // gives a login two tickets, each good for one resumption: with both
    // spent, a new login brings two more. The refusal comes before the 150,
    // so nothing of the file has gone.
    if (endpoint.transport == Transport::Ftps && !outcome.ok() && outcome.replyCode == 522) {
        multi.reset(curl_multi_init());  // QUIT on the spent login
        if (rewind) rewind();
        outcome = PerformOnce();
    }
    return outcome;
}

Outcome FtpSession::PerformOnce() {
    Outcome outcome;
    errorText_[0] = '\0';
    lastReply.clear();
    replies_.Reset();
    exchange_.clear();
    refusedKey_.reset();

    CURLM* m = multi.get();
    if (curl_multi_add_handle(m, easy.get()) != CURLM_OK) return Outcome{CURLE_FAILED_INIT};
    auto lastMove = Clock::now();
    curl_off_t lastSent = 0;
    int pollMs = kFirstPollMs;
    for (;;) {
        int running = 0;
        if (curl_multi_perform(m, &running) != CURLM_OK) {
            outcome.result = CURLE_FAILED_INIT;
            break;
        }
        if (running == 0) {
            int left = 0;
            while (CURLMsg* msg = curl_multi_info_read(m, &left))
                if (msg->msg == CURLMSG_DONE) outcome.result = msg->data.result;
            break;
        }
        const auto now = Clock::now();
        curl_off_t sent = 0, received = 0;
        curl_easy_getinfo(easy.get(), CURLINFO_SIZE_UPLOAD_T, &sent);
        curl_easy_getinfo(easy.get(), CURLINFO_SIZE_DOWNLOAD_T, &received);
        sent += received;
        // Replies are timed by libcurl; this watches the data once it flows.
        if (sent != lastSent) {
            lastSent = sent;
            lastMove = now;
        } else if (sent > 0 && now - lastMove >= timeouts.stall) {
            outcome.stalled = true;
            break;
        }
        int ready = 0;
        curl_multi_poll(m, nullptr, 0, pollMs, &ready);
        pollMs = ready > 0 ? kFirstPollMs : std::min(std::max(pollMs * 2, 1), kPollMs);
    }
    // Removing a request that has not finished drops its connection; the
    // next request logs in afresh.
    curl_multi_remove_handle(m, easy.get());
    curl_easy_getinfo(easy.get(), CURLINFO_RESPONSE_CODE, &outcome.replyCode);
    if (outcome.stalled)
        std::snprintf(errorText_, sizeof errorText_, "No data moved for %lld seconds",
                      static_cast<long long>(WholeSecondsUp(timeouts.stall)));
    return outcome;
}

std::string FtpSession::FailureText() const {
    if (IsRefusal(lastReply) || errorText_[0] == '\0') return lastReply;
    return errorText_;
}

std::uint32_t FtpSession::FailureCode(const Outcome& outcome) const {
    if (outcome.stalled) return ERROR_INTERNET_TIMEOUT;
    if (outcome.result == CURLE_PEER_FAILED_VERIFICATION) {
        if (sftp()) return ERROR_INTERNET_SEC_INVALID_CERT;
        // libcurl tells a name that does not match only by its account
        // ("SSL: no alternative certificate subject name matches ...").
        return std::string_view(errorText_).find("subject name") != std::string_view::npos
                   ? ERROR_INTERNET_SEC_CERT_CN_INVALID
                   : ERROR_INTERNET_INVALID_CA;
    }
    return CodeForCurlResult(outcome.result);
}

std::string FtpSession::FailureDetail(const Outcome& outcome) const {
    const std::uint32_t code = FailureCode(outcome);
    switch (code) {
    case ERROR_INTERNET_SEC_INVALID_CERT:
    case ERROR_INTERNET_SEC_CERT_CN_INVALID:
    case ERROR_INTERNET_INVALID_CA:
    case ERROR_INTERNET_SECURITY_CHANNEL_ERROR:
        break;
    default:
        return {};
    }
    // libcurl's "Requested SSL level failed" says less than the reply to AUTH.
    if (outcome.result == CURLE_USE_SSL_FAILED)
        return "the server does not offer TLS" + (lastReply.empty() ? std::string() : " (" + lastReply + ")");
    if (code != ERROR_INTERNET_SEC_INVALID_CERT || !refusedKey_)
        return errorText_[0] ? errorText_ : curl_easy_strerror(outcome.result);
    return HostKeyAdvice(*refusedKey_, endpoint);
}

std::string FtpSession::ReplyTo(const std::string& verb) const {
    for (auto it = exchange_.rbegin(); it != exchange_.rend(); ++it)
        if (it->first == verb) return it->second;
    return {};
}

int FtpSession::OnHostKey(CURL*, const curl_khkey*, const curl_khkey* found, curl_khmatch match, void* self) {
    if (match == CURLKHMATCH_OK) return CURLKHSTAT_FINE;
    auto* session = static_cast<FtpSession*>(self);
    if (found && found->len > 0) session->refusedKey_ = DescribeHostKey(*found, match == CURLKHMATCH_MISMATCH);
    return CURLKHSTAT_REJECT;
}

int FtpSession::OnDebug(CURL*, curl_infotype type, char* data, std::size_t size, void* self) {
    auto* session = static_cast<FtpSession*>(self);
    if (type == CURLINFO_HEADER_IN) for (std::string& reply : session->replies_.Feed(std::string_view(data, size))) session->OnReply(std::move(reply));
    if (type == CURLINFO_HEADER_OUT) session->OnCommandText(std::string_view(data, size));
    return 0;
}

void FtpSession::OnCommandText(std::string_view text) {
    // Only the verb is kept: "PASS" carries the password.
    const std::size_t end = text.find_first_of(" \r\n");
    std::string verb(text.substr(0, end));
    for (char& c : verb) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (!verb.empty()) exchange_.emplace_back(std::move(verb), std::string());
}

void FtpSession::OnReply(std::string reply) {
    // Replies come in the order of the commands; the greeting answers none.
    for (auto& [verb, answer] : exchange_)
        if (answer.empty()) {
            answer = reply;
            break;
        }
    lastReply = std::move(reply);
}

}  // namespace ftp

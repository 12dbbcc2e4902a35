#include "ftp/FtpSession.h"

#include "ftp/FtpPaths.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>

namespace ftp {
namespace {

using Clock = std::chrono::steady_clock;

// How often a running request lets the window system in, and the longest
// wait for network activity between two looks.
constexpr auto kYieldEvery = std::chrono::milliseconds(20);
constexpr int kPollMs = 50;
// Between some FTP steps libcurl watches no socket at all (the 1 s stalls of
// curl_easy_perform), yet it can go on at once when asked again: the first
// look does not wait, and the waits grow while nothing happens.
constexpr int kFirstPollMs = 0;
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

FtpSession::FtpSession(std::string serverUrl, const std::string& user, const std::string& password,
                       bool passiveMode, const Timeouts& waits)
    : easy(curl_easy_init()), multi(curl_multi_init()), baseUrl(std::move(serverUrl)), passive(passiveMode),
      timeouts(waits) {
    if (!valid()) return;
    CURL* h = easy.get();
    curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "ftp");
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

Outcome FtpSession::Login() { return PerformWithoutTransfer(nullptr); }

Outcome FtpSession::Command(const std::string& line) {
    // "*": a refusal is not a failure of the request, so libcurl keeps the
    // connection; the reply code tells the outcome.
    CurlSlist quote(curl_slist_append(nullptr, ("*" + line).c_str()));
    if (!quote) return Outcome{CURLE_OUT_OF_MEMORY};
    return PerformWithoutTransfer(quote.get());
}

Outcome FtpSession::PerformWithoutTransfer(curl_slist* quote) {
    CURL* h = easy.get();
    curl_easy_setopt(h, CURLOPT_URL, (baseUrl + "/").c_str());
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
    curl_easy_setopt(h, CURLOPT_URL, (baseUrl + UrlPathFor(h, absolute)).c_str());
    curl_easy_setopt(h, CURLOPT_QUOTE, nullptr);
    curl_easy_setopt(h, CURLOPT_NOBODY, 0L);
    curl_easy_setopt(h, CURLOPT_UPLOAD, 1L);
    curl_easy_setopt(h, CURLOPT_READFUNCTION, &OnRead);
    curl_easy_setopt(h, CURLOPT_READDATA, &ctx);
    curl_easy_setopt(h, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(size));
    const Outcome outcome = Perform();
    curl_easy_setopt(h, CURLOPT_UPLOAD, 0L);
    curl_easy_setopt(h, CURLOPT_READDATA, nullptr);
    curl_easy_setopt(h, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(-1));
    readFailed = ctx.failed;
    return outcome;
}

Outcome FtpSession::Perform() {
    Outcome outcome;
    errorText_[0] = '\0';
    lastReply.clear();
    lineBuffer_.clear();
    replyPending_.clear();

    CURLM* m = multi.get();
    if (curl_multi_add_handle(m, easy.get()) != CURLM_OK) return Outcome{CURLE_FAILED_INIT};
    auto lastYield = Clock::now();
    auto lastMove = lastYield;
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
        curl_off_t sent = 0;
        curl_easy_getinfo(easy.get(), CURLINFO_SIZE_UPLOAD_T, &sent);
        // Replies are timed by libcurl; this watches the data once it flows.
        if (sent != lastSent) {
            lastSent = sent;
            lastMove = now;
        } else if (sent > 0 && now - lastMove >= timeouts.stall) {
            outcome.stalled = true;
            break;
        }
        if (now - lastYield >= kYieldEvery) {
            TransferYield();
            lastYield = Clock::now();
            if (closePending) {
                outcome.cancelled = true;
                break;
            }
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

int FtpSession::OnDebug(CURL*, curl_infotype type, char* data, std::size_t size, void* self) {
    // Only what the server says is kept: outgoing lines carry the password.
    if (type == CURLINFO_HEADER_IN) static_cast<FtpSession*>(self)->OnReplyText(std::string_view(data, size));
    return 0;
}

void FtpSession::OnReplyText(std::string_view text) {
    lineBuffer_.append(text);
    std::size_t nl;
    while ((nl = lineBuffer_.find('\n')) != std::string::npos) {
        std::string line = lineBuffer_.substr(0, nl);
        lineBuffer_.erase(0, nl + 1);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const bool coded = line.size() >= 3 && std::isdigit(static_cast<unsigned char>(line[0])) &&
                           std::isdigit(static_cast<unsigned char>(line[1])) &&
                           std::isdigit(static_cast<unsigned char>(line[2]));
        const bool opensMore = coded && line.size() > 3 && line[3] == '-';
        if (replyPending_.empty()) {
            if (opensMore) replyPending_ = line;
            else lastReply = line;
            continue;
        }
        // A multi-line reply ends at its own code followed by a blank.
        replyPending_ += "\n" + line;
        if (coded && line.compare(0, 3, replyPending_, 0, 3) == 0 && (line.size() == 3 || line[3] == ' ')) {
            lastReply = std::move(replyPending_);
            replyPending_.clear();
        }
    }
}

}  // namespace ftp

// What a session reads from the server: folder listings with sizes, and
// downloads.

#include "ftp/FtpSession.h"

namespace ftp {
namespace {

std::size_t Collect(char* data, std::size_t size, std::size_t count, void* text) {
    static_cast<std::string*>(text)->append(data, size * count);
    return size * count;
}

struct SinkContext {
    WriteSink* sink = nullptr;
    bool stopped = false;
};

std::size_t ToSink(char* data, std::size_t size, std::size_t count, void* userdata) {
    auto* ctx = static_cast<SinkContext*>(userdata);
    if (!ctx->sink->Write(data, size * count)) {
        ctx->stopped = true;
        return 0;  // libcurl ends the transfer with CURLE_WRITE_ERROR
    }
    return size * count;
}

// Replies that say the server does not know a command (rather than that
// the folder cannot be listed).
bool UnknownCommand(long reply) { return reply == 500 || reply == 501 || reply == 502 || reply == 504; }

}  // namespace

void FtpSession::SetUpRead(const std::string& urlPath, std::string* body) {
    CURL* h = easy.get();
    curl_easy_setopt(h, CURLOPT_URL, (endpoint.url + urlPath).c_str());
    curl_easy_setopt(h, CURLOPT_UPLOAD, 0L);
    curl_easy_setopt(h, CURLOPT_NOBODY, 0L);
    if (body) {
        curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, &Collect);
        curl_easy_setopt(h, CURLOPT_WRITEDATA, body);
    }
}

std::string FtpSession::FolderUrlPath(const std::string& absolute) const {
    std::string path = UrlPath(absolute);
    if (path.back() != '/') path += '/';
    return path;
}

Outcome FtpSession::List(const std::string& absolute, std::vector<std::string>* names) {
    CURL* h = easy.get();
    std::string listing;
    SetUpRead(FolderUrlPath(absolute), names ? &listing : nullptr);
    curl_easy_setopt(h, CURLOPT_DIRLISTONLY, 1L);
    const Outcome outcome = Perform();
    curl_easy_setopt(h, CURLOPT_DIRLISTONLY, 0L);
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, &DiscardBody);
    if (names && outcome.ok()) {
        // One name a line; servers end lines with CRLF, SFTP with LF.
        std::size_t start = 0;
        while (start < listing.size()) {
            std::size_t end = listing.find('\n', start);
            if (end == std::string::npos) end = listing.size();
            std::string name = listing.substr(start, end - start);
            if (!name.empty() && name.back() == '\r') name.pop_back();
            // "NLST path" makes some servers (vsftpd) answer with paths.
            if (const auto slash = name.rfind('/'); slash != std::string::npos) name.erase(0, slash + 1);
            if (!name.empty() && name != "." && name != "..") names->push_back(std::move(name));
            start = end + 1;
        }
    }
    return outcome;
}

Outcome FtpSession::ListEntries(const std::string& absolute, std::vector<RemoteEntry>& entries) {
    entries.clear();
    CURL* h = easy.get();
    std::string listing;
    SetUpRead(FolderUrlPath(absolute), &listing);
    const bool mlsd = !sftp() && !mlsdRefused_;
    curl_easy_setopt(h, CURLOPT_CUSTOMREQUEST, mlsd ? "MLSD" : nullptr);
    Outcome outcome = Perform();
    if (mlsd && !outcome.ok() && UnknownCommand(outcome.replyCode)) {
        mlsdRefused_ = true;
        listing.clear();
        curl_easy_setopt(h, CURLOPT_CUSTOMREQUEST, nullptr);
        outcome = Perform();
    }
    curl_easy_setopt(h, CURLOPT_CUSTOMREQUEST, nullptr);
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, &DiscardBody);
    curl_easy_setopt(h, CURLOPT_WRITEDATA, nullptr);
    if (outcome.ok()) entries = mlsd && !mlsdRefused_ ? ParseMlsd(listing) : ParseList(listing);
    return outcome;
}

Outcome FtpSession::Download(const std::string& absolute, WriteSink& sink, std::int64_t& modified) {
    SinkContext ctx{&sink};
    CURL* h = easy.get();
    SetUpRead(UrlPath(absolute), nullptr);
    curl_easy_setopt(h, CURLOPT_FILETIME, 1L);  // MDTM, or the SFTP attributes
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, &ToSink);
    curl_easy_setopt(h, CURLOPT_WRITEDATA, &ctx);
    Outcome outcome = Perform();
    curl_off_t time = -1;
    curl_easy_getinfo(h, CURLINFO_FILETIME_T, &time);
    modified = outcome.ok() ? static_cast<std::int64_t>(time) : -1;
    curl_easy_setopt(h, CURLOPT_FILETIME, 0L);
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, &DiscardBody);
    curl_easy_setopt(h, CURLOPT_WRITEDATA, nullptr);
    if (ctx.stopped) outcome.result = CURLE_WRITE_ERROR;
    return outcome;
}

}  // namespace ftp

#include "ftp/FtpPaths.h"

#include "ftp/CurlHandles.h"

namespace ftp {

bool HoldsLineBreak(const std::string& text) {
    return text.find_first_of(std::string("\r\n\0", 3)) != std::string::npos;
}

std::vector<std::string> PathSegments(const std::string& absolute) {
    std::vector<std::string> segments;
    std::size_t start = 0;
    while (start <= absolute.size()) {
        std::size_t end = absolute.find('/', start);
        if (end == std::string::npos) end = absolute.size();
        if (end > start) segments.push_back(absolute.substr(start, end - start));
        start = end + 1;
    }
    return segments;
}

RemotePath::RemotePath(const std::string& text)
    : absolute(!text.empty() && text.front() == '/'), levels(PathSegments(text)),
      namesFolder(text.empty() || text.back() == '/') {}

RemotePath RemotePath::Child(const std::string& name) const {
    RemotePath child = *this;
    child.levels.push_back(name);
    child.namesFolder = false;
    return child;
}

bool RemotePath::HoldsLineBreak() const {
    for (const std::string& level : levels)
        if (ftp::HoldsLineBreak(level)) return true;
    return false;
}

std::string ResolveRemotePath(const std::string& cwd, const RemotePath& path) {
    std::vector<std::string> resolved;
    if (!path.absolute) resolved = PathSegments(cwd);
    for (const auto& segment : path.levels) {
        if (segment == ".") continue;
        if (segment == "..") {
            if (!resolved.empty()) resolved.pop_back();
            continue;
        }
        resolved.push_back(segment);
    }
    std::string text;
    for (const auto& segment : resolved) text += "/" + segment;
    return text.empty() ? "/" : text;
}

std::string UrlPathFor(CURL* easy, const std::string& absolute) {
    // libcurl drops the URL path's first "/"; the escaped one that follows
    // makes the name it sends absolute.
    std::string url = "/%2F";
    bool first = true;
    for (const auto& segment : PathSegments(absolute)) {
        if (!first) url += '/';
        first = false;
        CurlText escaped(curl_easy_escape(easy, segment.data(), static_cast<int>(segment.size())));
        if (escaped) url += escaped.get();
    }
    return url;
}

std::string SftpUrlPathFor(CURL* easy, const std::string& absolute) {
    const auto segments = PathSegments(absolute);
    std::string url(!segments.empty() && segments.front() == "~" ? 1 : 0, '/');
    for (const auto& segment : segments) {
        CurlText escaped(curl_easy_escape(easy, segment.data(), static_cast<int>(segment.size())));
        url += '/';
        if (escaped) url += escaped.get();
    }
    if (url.empty()) url += '/';
    return url;
}

std::string SftpQuoted(const std::string& path) {
    std::string quoted = "\"";
    for (const char c : path) {
        if (c == '"' || c == '\\') quoted += '\\';
        quoted += c;
    }
    return quoted + '"';
}

}  // namespace ftp

#include "sync/Manifest.h"

#include "sync/FolderListing.h"

#include <cctype>

namespace syncrun {
namespace {

bool IsHexDigest(std::string_view text) {
    if (text.size() != 32) return false;
    for (char c : text)
        if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
    return true;
}

// A relative path that stays below where it is read: no leading "/", no
// "." or ".." level, no empty level.
bool StaysBelow(std::string_view path) {
    if (path.empty() || path.front() == '/') return false;
    while (true) {
        const std::size_t slash = path.find('/');
        const std::string_view level = path.substr(0, slash);
        if (level.empty() || level == "." || level == "..") return false;
        if (slash == std::string_view::npos) return true;
        path.remove_prefix(slash + 1);
    }
}

// md5sum's escapes undone; nothing for an escape it does not write.
std::optional<std::string> Unescaped(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\') {
            out += text[i];
            continue;
        }
        if (++i == text.size()) return std::nullopt;
        switch (text[i]) {
        case '\\': out += '\\'; break;
        case 'n': out += '\n'; break;
        case 'r': out += '\r'; break;
        default: return std::nullopt;
        }
    }
    return out;
}

}  // namespace

std::optional<std::string> PathInJob(const std::string& fullPath, const std::string& jobFolder) {
    const std::string root = JoinPath(FolderPath(jobFolder), "");
    if (fullPath.size() <= root.size() || fullPath.compare(0, root.size(), root) != 0) return std::nullopt;
    return fullPath.substr(root.size());
}

std::string ManifestLine(const store::RecordedFile& record, const std::string& jobFolder) {
    const auto path = PathInJob(record.fullPath, jobFolder);
    if (!path || !IsHexDigest(record.hash)) return {};
    std::string escaped;
    for (char c : *path) {
        if (c == '\\') escaped += "\\\\";
        else if (c == '\n') escaped += "\\n";
        else if (c == '\r') escaped += "\\r";
        else escaped += c;
    }
    return (escaped.size() != path->size() ? "\\" : "") + record.hash + "  " + escaped + "\n";
}

Manifest ParseManifest(std::string_view text) {
    Manifest manifest;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        if (line.empty()) continue;
        const std::string_view whole = line;
        const bool escaped = line.front() == '\\';
        if (escaped) line.remove_prefix(1);
        std::optional<std::string> path;
        if (line.size() > 34 && IsHexDigest(line.substr(0, 32)) && line[32] == ' ' &&
            (line[33] == ' ' || line[33] == '*'))
            path = escaped ? Unescaped(line.substr(34)) : std::string(line.substr(34));
        if (!path || !StaysBelow(*path)) {
            manifest.refused.emplace_back(whole);
            continue;
        }
        std::string hash(line.substr(0, 32));
        for (char& c : hash) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        manifest.hashes[*path] = std::move(hash);
    }
    return manifest;
}

}  // namespace syncrun

#include "ftp/RemoteListing.h"

#include <cctype>
#include <charconv>
#include <optional>

namespace ftp {
namespace {

template <typename Each>
void ForEachLine(std::string_view text, Each each) {
    while (!text.empty()) {
        std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (!line.empty()) each(line);
        if (end == std::string_view::npos) break;
        text.remove_prefix(end + 1);
    }
}

std::optional<std::int64_t> Number(std::string_view text) {
    std::int64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value < 0) return std::nullopt;
    return value;
}

bool Keep(const RemoteEntry& entry) { return !entry.name.empty() && entry.name != "." && entry.name != ".."; }

std::string Lower(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

}  // namespace

std::vector<RemoteEntry> ParseMlsd(std::string_view listing) {
    std::vector<RemoteEntry> entries;
    ForEachLine(listing, [&](std::string_view line) {
        // The facts end at the first blank; the name is everything after it.
        const std::size_t blank = line.find(' ');
        if (blank == std::string_view::npos) return;
        RemoteEntry entry;
        entry.name = std::string(line.substr(blank + 1));
        std::string type;
        std::string_view facts = line.substr(0, blank);
        while (!facts.empty()) {
            const std::size_t semicolon = facts.find(';');
            const std::string_view fact = facts.substr(0, semicolon);
            facts.remove_prefix(semicolon == std::string_view::npos ? facts.size() : semicolon + 1);
            const std::size_t equals = fact.find('=');
            if (equals == std::string_view::npos) continue;
            const std::string key = Lower(fact.substr(0, equals));
            const std::string_view value = fact.substr(equals + 1);
            if (key == "type") type = Lower(value);
            if (key == "size")
                if (const auto size = Number(value)) entry.size = *size;
        }
        if (type != "file" && type != "dir") return;  // cdir, pdir, OS.unix=slink ...
        entry.folder = type == "dir";
        if (Keep(entry)) entries.push_back(std::move(entry));
    });
    return entries;
}

std::vector<RemoteEntry> ParseList(std::string_view listing) {
    std::vector<RemoteEntry> entries;
    ForEachLine(listing, [&](std::string_view line) {
        // mode links owner group size month day time-or-year name
        if (line[0] != '-' && line[0] != 'd') return;
        std::string_view rest = line;
        std::string_view fields[8];
        for (std::string_view& field : fields) {
            const std::size_t start = rest.find_first_not_of(' ');
            if (start == std::string_view::npos) return;
            rest.remove_prefix(start);
            const std::size_t end = rest.find(' ');
            if (end == std::string_view::npos) return;
            field = rest.substr(0, end);
            rest.remove_prefix(end);
        }
        // One blank after the time; a name may start with blanks of its own.
        if (rest.size() < 2) return;
        RemoteEntry entry;
        entry.name = std::string(rest.substr(1));
        entry.folder = line[0] == 'd';
        const auto size = Number(fields[4]);
        if (!size) return;
        entry.size = *size;
        if (Keep(entry)) entries.push_back(std::move(entry));
    });
    return entries;
}

}  // namespace ftp

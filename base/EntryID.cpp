#include "base/EntryID.h"

#include <charconv>

std::optional<std::string> GetEntryID(std::string_view entry) {
    const std::size_t blank = entry.find(' ');
    if (blank == std::string_view::npos) return std::nullopt;
    return std::string(entry.substr(0, blank));
}

std::optional<std::int64_t> ParseKey(std::string_view digits) {
    if (digits.empty()) return std::nullopt;
    // from_chars would take a leading "-"; keys are plain digits only.
    for (char c : digits)
        if (c < '0' || c > '9') return std::nullopt;
    std::int64_t key = 0;
    const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), key);
    if (ec != std::errc() || end != digits.data() + digits.size()) return std::nullopt;
    return key;
}

std::optional<std::int64_t> EntryKey(std::string_view entry) {
    const auto id = GetEntryID(entry);
    return id ? ParseKey(*id) : std::nullopt;
}

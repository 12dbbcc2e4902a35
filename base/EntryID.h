#pragma once
// Every list or combo entry that stands for a record begins with the
// record's ID in decimal, followed by a blank. These take it back out.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// The text of an entry before its first blank (empty when the entry begins
// with a blank); nullopt for a text without any blank, which has no ID.
std::optional<std::string> GetEntryID(std::string_view entry);

// A record key written as decimal digits only (no sign, no blanks) that
// fits 64 bits; nullopt for anything else.
std::optional<std::int64_t> ParseKey(std::string_view digits);

// The record key an entry begins with: the ID when it is a run of decimal
// digits that fits 64 bits, else nullopt (typed text, an empty selection).
std::optional<std::int64_t> EntryKey(std::string_view entry);

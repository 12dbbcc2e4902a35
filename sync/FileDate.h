#pragma once
// A file's modification time as a new record keeps it.

#include <ctime>
#include <string>

namespace syncrun {

// The file's modification time in the locale's short date and time form;
// empty for anything that is not a file, or on any failure.
std::string GetFileDate(const std::string& fullPath);
// The same for a modification time at hand.
std::string FileDate(const timespec& modified);

}  // namespace syncrun

#pragma once
// A remote folder's entries with their kind and size, read from the two
// listing formats servers give: MLSD's facts ("type=file;size=5; a.txt")
// and the "ls -l" lines of LIST (and of libcurl's SFTP listing).

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace ftp {

struct RemoteEntry {
    std::string name;
    bool folder = false;      // else a plain file; links and the like are left out
    std::int64_t size = -1;   // bytes; -1 when the listing did not say
};

// One entry a line, CRLF or LF. Lines that are not entries (a "total"
// line, "." and "..", links, devices, garbage) are left out.
std::vector<RemoteEntry> ParseMlsd(std::string_view listing);
std::vector<RemoteEntry> ParseList(std::string_view listing);

}  // namespace ftp

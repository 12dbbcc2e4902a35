#pragma once
// The manifest a job keeps in its remote root: every recorded file of the
// job in md5sum's own format, so a plain download of the tree can be
// checked with `md5sum -c` and a restore can check every file without
// the store.

#include "store/FileRecords.h"

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace syncrun {

// Hidden, so never the name of a file the job sends.
inline constexpr const char* kManifestName = ".tessary-manifest.md5";

// The path of a file below the job's folder ("sub/a.txt"), or nothing for
// a path outside it.
std::optional<std::string> PathInJob(const std::string& fullPath, const std::string& jobFolder);

// "<hash>  <path>\n", the path relative to the job's folder; empty for a
// file outside the folder or without a digest. A path holding a backslash,
// CR or LF has them written \\ \r \n and its line starts with a
// backslash, as md5sum writes it.
std::string ManifestLine(const store::RecordedFile& record, const std::string& jobFolder);

struct Manifest {
    std::map<std::string, std::string> hashes;  // relative path, lower-case hex MD5
    std::vector<std::string> refused;           // the lines that are not taken, as they stand
};
// Reads the format back. A line that is not "<32 hex>  <path>" (or its
// " *<path>" binary form), or whose path is absolute, climbs with "..",
// or holds an empty level, is refused.
Manifest ParseManifest(std::string_view text);

}  // namespace syncrun

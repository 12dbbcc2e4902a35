#pragma once
// The entries of one local folder, as the file check and the folder walk
// see them. Names come in byte order so every run goes the same way.

#include <string>
#include <vector>

namespace syncrun {

struct Listing {
    bool ok = false;
    std::string reason;  // why the folder could not be listed
    std::vector<std::string> names;
    // Names the folder itself says are plain files (not links), for
    // ListFolder: such an entry needs no look of its own to be known as one.
    std::vector<bool> plainFile;
};

// Every entry of the folder, files and sub-folders alike, except hidden
// ones (names beginning with ".", which leaves out "." and ".." too).
Listing ListFolder(const std::string& folder);

// The folder's sub-folders, hidden ones included. A symbolic link to a
// folder is not a sub-folder: the walk never follows one.
Listing ListSubFolders(const std::string& folder);

// The folder's own path, without trailing "/" (except the root itself).
std::string FolderPath(const std::string& path);
// path + "/" + name, without doubling the root's separator.
std::string JoinPath(const std::string& folder, const std::string& name);

}  // namespace syncrun

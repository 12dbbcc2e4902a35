#include "sync/FolderListing.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <memory>
#include <sys/stat.h>
#include <utility>
#include <vector>

namespace syncrun {
namespace {

struct DirCloser {
    void operator()(DIR* d) const { ::closedir(d); }
};
using DirHandle = std::unique_ptr<DIR, DirCloser>;

enum class Pick { Visible, SubFolders };

bool IsRealFolder(const std::string& folder, const dirent* entry) {
    if (entry->d_type == DT_DIR) return true;
    if (entry->d_type != DT_UNKNOWN) return false;  // DT_LNK among them
    struct stat st {};
    return ::lstat(JoinPath(folder, entry->d_name).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

Listing List(const std::string& folder, Pick pick) {
    Listing out;
    std::vector<std::pair<std::string, bool>> found;  // name, a plain file
    DirHandle dir(::opendir(folder.c_str()));
    if (!dir) {
        out.reason = std::strerror(errno);
        return out;
    }
    for (;;) {
        errno = 0;
        const dirent* entry = ::readdir(dir.get());
        if (!entry) {
            if (errno != 0) {
                out.reason = std::strerror(errno);
                return out;
            }
            break;
        }
        const std::string_view name = entry->d_name;
        if (name == "." || name == "..") continue;
        if (pick == Pick::Visible ? name.front() == '.' : !IsRealFolder(folder, entry)) continue;
        found.emplace_back(name, entry->d_type == DT_REG);
    }
    std::sort(found.begin(), found.end());  // std::string compares bytes
    out.names.reserve(found.size());
    out.plainFile.reserve(found.size());
    for (auto& [name, plain] : found) {
        out.names.push_back(std::move(name));
        out.plainFile.push_back(plain);
    }
    out.ok = true;
    return out;
}

}  // namespace

Listing ListFolder(const std::string& folder) { return List(folder, Pick::Visible); }

Listing ListSubFolders(const std::string& folder) { return List(folder, Pick::SubFolders); }

std::string FolderPath(const std::string& path) {
    std::string out = path;
    while (out.size() > 1 && out.back() == '/') out.pop_back();
    return out;
}

std::string JoinPath(const std::string& folder, const std::string& name) {
    if (!folder.empty() && folder.back() == '/') return folder + name;
    return folder + "/" + name;
}

}  // namespace syncrun

#include "sync/RemotePath.h"

namespace syncrun {

std::string GetRemoteFolder(const std::string& fullPath, const std::string& fileName) {
    // The name is always the path's last part; a longer one leaves nothing.
    if (fileName.size() >= fullPath.size()) return {};
    return fullPath.substr(0, fullPath.size() - fileName.size());
}

ftp::RemotePath RemoteFolderOf(const std::string& remoteFolder) {
    std::vector<std::string> levels;
    for (std::string& level : ftp::PathSegments(remoteFolder))
        if (level != "." && level != "..") levels.push_back(std::move(level));
    return ftp::RemotePath(std::move(levels));
}

ftp::RemotePath RemoteTarget(const std::string& remoteFolder, const std::string& name) {
    return RemoteFolderOf(remoteFolder).Child(name);
}

}  // namespace syncrun

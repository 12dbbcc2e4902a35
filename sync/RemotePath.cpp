#include "sync/RemotePath.h"

namespace syncrun {

std::string GetRemoteFolder(const std::string& fullPath, const std::string& fileName) {
    // The name is always the path's last part; a longer one leaves nothing.
    if (fileName.size() >= fullPath.size()) return {};
    return fullPath.substr(0, fullPath.size() - fileName.size());
}

std::string UploadFolder(const std::string& remoteFolder) {
    return remoteFolder.empty() ? std::string() : remoteFolder.substr(1);
}

}  // namespace syncrun

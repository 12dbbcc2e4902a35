#pragma once
// Where a local file is stored on the server: its local folder path, taken
// whole, below the profile's remote directory.

#include "ftp/FtpPaths.h"

#include <string>

namespace syncrun {

// The remote folder of a file, as its record keeps it: its full path with
// the file name cut from the end, so /home/anna/docs/report.txt gives
// "/home/anna/docs/". Every character of the path, ":" and "\" included,
// is an ordinary one.
std::string GetRemoteFolder(const std::string& fullPath, const std::string& fileName);

// A remote folder text as the levels below the profile's remote directory:
// "", "." and ".." levels are dropped, so a job folder such as /a/../../etc
// cannot reach above that directory.
ftp::RemotePath RemoteFolderOf(const std::string& remoteFolder);
// The file `name` in that folder: what an upload is handed, made once.
ftp::RemotePath RemoteTarget(const std::string& remoteFolder, const std::string& name);

}  // namespace syncrun

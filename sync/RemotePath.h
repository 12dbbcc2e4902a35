#pragma once
// Where a local file is stored on the server: its local folder path, taken
// whole, below the profile's remote directory.

#include <string>

namespace syncrun {

// The remote folder of a file: its full path with the file name cut from
// the end, so /home/anna/docs/report.txt gives "/home/anna/docs/". The
// upload gets it without its first character ("home/anna/docs/"), which
// keeps it relative to the profile's remote directory. Every character of
// the path, ":" and "\" included, is an ordinary one.
std::string GetRemoteFolder(const std::string& fullPath, const std::string& fileName);

// The folder handed to the upload: GetRemoteFolder's text without its
// leading "/".
std::string UploadFolder(const std::string& remoteFolder);

}  // namespace syncrun

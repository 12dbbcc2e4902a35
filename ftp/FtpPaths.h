#pragma once
// Remote paths as the FTP layer handles them: absolute, normalised texts
// ("/", "/a/b") resolved against the connection's current directory, and
// turned into URL paths with every segment escaped.

#include <curl/curl.h>

#include <string>
#include <vector>

namespace ftp {

// `path` (absolute, or relative to `cwd`) as an absolute path without "."
// or ".." segments, doubled or trailing "/". The root is "/".
std::string ResolveRemotePath(const std::string& cwd, const std::string& path);

// The segments of a resolved path: "/a/b" gives {"a", "b"}, "/" none.
std::vector<std::string> PathSegments(const std::string& absolute);

// The URL path of a resolved path, for a transfer that names the file in
// full (no CWD): "/%2F" and then each segment escaped, so "#", "?", "%",
// ";type=" and blanks reach the server as part of the name.
std::string UrlPathFor(CURL* easy, const std::string& absolute);
// The same for an SFTP URL, where the path is absolute as it stands; a
// first segment "~" (which libcurl reads as the home folder) gets a second
// "/" before it.
std::string SftpUrlPathFor(CURL* easy, const std::string& absolute);

// A path as an argument of an SFTP quote command: between double quotes,
// with '"' and '\' escaped, so blanks and quotes in names stay in the name.
std::string SftpQuoted(const std::string& path);

}  // namespace ftp

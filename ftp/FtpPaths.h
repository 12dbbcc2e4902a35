#pragma once
// Remote paths as the FTP layer handles them: absolute, normalised texts
// ("/", "/a/b") resolved against the connection's current directory, and
// turned into URL paths with every segment escaped.

#include <curl/curl.h>

#include <string>
#include <vector>

namespace ftp {

// True when the text holds CR, LF or NUL: such a path would split into
// several FTP commands, so it is refused before anything is sent.
bool HoldsLineBreak(const std::string& text);

// A remote path as its levels, relative to a connection's current
// directory unless absolute. A text converts ("a/b", "/abs/x", "../c");
// "." and ".." levels are resolved against the directory.
struct RemotePath {
    RemotePath() = default;
    RemotePath(const std::string& text);  // NOLINT: a text is a path
    RemotePath(const char* text) : RemotePath(std::string(text)) {}
    explicit RemotePath(std::vector<std::string> folderLevels) : levels(std::move(folderLevels)) {}

    // The same folder with `name` as its last level (a file in it).
    RemotePath Child(const std::string& name) const;
    // Whether a level holds CR, LF or NUL.
    bool HoldsLineBreak() const;

    bool absolute = false;
    std::vector<std::string> levels;
    bool namesFolder = false;  // the text was empty or ended in "/": no file
};

// `path` (absolute, or relative to `cwd`) as an absolute path without "."
// or ".." segments, doubled or trailing "/". The root is "/".
std::string ResolveRemotePath(const std::string& cwd, const RemotePath& path);

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

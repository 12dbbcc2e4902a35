#pragma once
// The FTP client operations of the program, over libcurl: an internet
// session, one control connection per login, directory change and
// creation, upload, rename and delete, and the error report that turns a
// failed call into status-log lines. Error codes follow the WinINet
// numbering. The host text chooses the transport: plain FTP ("host",
// "ftp://host"), explicit FTPS ("ftps://host") or SFTP ("sftp://host");
// every operation behaves the same over all three.

#include "ftp/Endpoint.h"
#include "ftp/FtpPaths.h"
#include "ftp/FtpSettings.h"
#include "ftp/RemoteListing.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace ftp {

struct InternetSession;  // what InternetOpen gives; opaque
struct FtpSession;       // one logged-in control connection; opaque

// Transfer types and connect flags.
constexpr std::uint32_t FTP_TRANSFER_TYPE_ASCII = 1;
constexpr std::uint32_t FTP_TRANSFER_TYPE_BINARY = 2;
constexpr std::uint32_t INTERNET_FLAG_PASSIVE = 0x08000000;

// Error codes (WinINet numbering).
constexpr std::uint32_t ERROR_INTERNET_TIMEOUT = 12002;
constexpr std::uint32_t ERROR_INTERNET_EXTENDED_ERROR = 12003;  // the server refused
constexpr std::uint32_t ERROR_INTERNET_INTERNAL_ERROR = 12004;
constexpr std::uint32_t ERROR_INTERNET_INVALID_URL = 12005;
constexpr std::uint32_t ERROR_INTERNET_UNRECOGNIZED_SCHEME = 12006;  // "xyz://host"
constexpr std::uint32_t ERROR_INTERNET_NAME_NOT_RESOLVED = 12007;
constexpr std::uint32_t ERROR_INTERNET_OPERATION_CANCELLED = 12017;  // closed mid-request
constexpr std::uint32_t ERROR_INTERNET_CANNOT_CONNECT = 12029;
constexpr std::uint32_t ERROR_INTERNET_CONNECTION_ABORTED = 12030;
// The server's identity could not be trusted; the message names libcurl's
// reason, and nothing (not even the user name) has been sent.
constexpr std::uint32_t ERROR_INTERNET_SEC_CERT_CN_INVALID = 12038;      // certificate of another host name
constexpr std::uint32_t ERROR_INTERNET_INVALID_CA = 12045;               // certificate not trusted
constexpr std::uint32_t ERROR_INTERNET_SECURITY_CHANNEL_ERROR = 12157;   // no TLS or SSH channel could be set up
constexpr std::uint32_t ERROR_INTERNET_SEC_INVALID_CERT = 12169;         // SSH host key unknown or changed
// Plain system codes for what goes wrong on this side of the wire.
constexpr std::uint32_t ERROR_SUCCESS = 0;
constexpr std::uint32_t ERROR_FILE_NOT_FOUND = 2;       // the local file
constexpr std::uint32_t ERROR_ACCESS_DENIED = 5;        // the local file
constexpr std::uint32_t ERROR_INVALID_HANDLE = 6;       // no (or a closed) handle; has no text
constexpr std::uint32_t ERROR_NOT_ENOUGH_MEMORY = 8;
constexpr std::uint32_t ERROR_WRITE_FAULT = 29;         // the local file, mid-download
constexpr std::uint32_t ERROR_READ_FAULT = 30;          // the local file, mid-transfer
constexpr std::uint32_t ERROR_INVALID_PARAMETER = 87;   // host, user or password holds CR, LF or NUL
constexpr std::uint32_t ERROR_INVALID_NAME = 123;       // remote path names no file, or holds CR, LF or NUL

// The agent name every session is opened with.
inline constexpr const char* kAgentName = "My VB Test";

// Agent text sent nowhere but kept with the session.
InternetSession* InternetOpen(const std::string& agent);
// Connects and logs in. nullptr on failure, with GetLastError() set. Port
// 0 (or one outside 1..65535) is the transport's default. FTPS asks for TLS
// on the control connection (AUTH TLS) and the data connections (PROT P)
// and verifies the server's certificate against the system's CA store;
// SFTP logs in with the password and checks the server's host key against
// ~/.ssh/known_hosts. With INTERNET_FLAG_PASSIVE in `flags` uploads
// use passive mode (EPSV, then PASV) until the server refuses it, and
// active mode from then on; without it, active mode throughout.
FtpSession* InternetConnect(InternetSession* session, const std::string& host, int port,
                            const std::string& user, const std::string& password,
                            std::uint32_t flags);
// Changes the current directory (absolute, or relative to the current
// one); false (GetLastError() set) when it does not exist or the server
// refuses. The connection stays usable. An empty text keeps the directory
// the login started in.
bool FtpSetCurrentDirectory(FtpSession* connection, const std::string& directory);

// Creating a remote folder and every missing level above it: Created when
// this call made at least one level, Existed when all of them were there,
// Failed (GetLastError() set) when a level could not be made. Folders seen
// on this connection are remembered, so a job's later files cost no request.
// `parentMade`: the caller made the folder above it (on any connection), so
// this one cannot be there yet and is made without a look first.
enum class CreateResult { Created, Existed, Failed };
CreateResult FtpCreateDirectory(FtpSession* connection, const RemotePath& folder, bool parentMade = false);

// Uploads the local file to the remote path (relative to the current
// directory, or absolute). false with GetLastError() set on failure.
// Always a binary transfer: the server's copy is the local file byte for
// byte, whatever `flags` asks for.
// Sees every byte of an upload as it is read from the local file.
class ReadTap {
public:
    virtual ~ReadTap() = default;
    virtual void Read(const char* data, std::size_t size) = 0;
    // The transfer starts again from the first byte (passive mode refused).
    virtual void Rewound() = 0;
};
// `tap` (may be null) sees every byte read.
bool FtpPutFile(FtpSession* connection, const std::string& localFile, const RemotePath& remoteFile,
                std::uint32_t flags, ReadTap* tap = nullptr);
// The same from a file the caller has opened (positioned at its start), so
// a file is opened and read once for its upload and whatever `tap` makes
// of its bytes (its digest). `tap` may be null.
bool FtpPutFile(FtpSession* connection, std::FILE* localFile, const RemotePath& remoteFile,
                std::uint32_t flags, ReadTap* tap);

// Renames a remote file (paths relative to the current directory, or
// absolute), replacing `to` when it exists. false with GetLastError() set.
// SFTP's rename never replaces a file: there the old `to` is removed first,
// so for a moment neither name holds it.
bool FtpRenameFile(FtpSession* connection, const RemotePath& from, const RemotePath& to);
// Deletes a remote file. false with GetLastError() set.
bool FtpDeleteFile(FtpSession* connection, const RemotePath& remoteFile);
// The names in a remote folder (relative to the current directory, or
// absolute), without "." and "..". false with GetLastError() set.
bool FtpListNames(FtpSession* connection, const RemotePath& folder, std::vector<std::string>& names);

// The entries of a remote folder with kind and size (MLSD, else LIST;
// SFTP's directory read). false with GetLastError() set.
bool FtpListFolder(FtpSession* connection, const RemotePath& folder, std::vector<RemoteEntry>& entries);

// Sees every byte of a download as it arrives; false stops the transfer
// (a local write that failed).
class WriteSink {
public:
    virtual ~WriteSink() = default;
    virtual bool Write(const char* data, std::size_t size) = 0;
};
// Downloads the remote file into `sink`. `modified` gets the file's time
// on the server (seconds since the epoch), or -1 when it gives none.
// false with GetLastError() set; a stop by the sink is ERROR_WRITE_FAULT.
bool FtpGetFile(FtpSession* connection, const RemotePath& remoteFile, WriteSink& sink, std::int64_t& modified);

// Closes the connection (QUIT) and frees it.
void InternetCloseHandle(FtpSession* connection);
void InternetCloseHandle(InternetSession* session);

// The server's last reply text (for the error report), and the calling
// thread's last error code.
std::string InternetGetLastResponseInfo();
std::uint32_t GetLastError();
// Our message text for a code, ending in a line break; empty for a code
// without one.
std::string InternetErrorMessage(std::uint32_t code);

// "FTP Info: <caller> error code: <code> Message: <text>", and for 12003 an
// "Extended Info: <reply>" line.
void ReportInternetError(std::uint32_t code, const std::string& caller);
// The same lines, for the caller to write (a job's lines go in order).
std::vector<std::string> InternetErrorLines(std::uint32_t code, const std::string& caller);

}  // namespace ftp

#pragma once
// The FTP client operations of the program, over libcurl: an internet
// session, one control connection per login, directory change and
// creation, upload, and the error report that turns a failed call into
// status-log lines. Error codes follow the WinINet numbering.

#include <cstdint>
#include <functional>
#include <string>

namespace ftp {

struct InternetSession;  // what InternetOpen gives; opaque
struct FtpSession;       // one logged-in control connection; opaque

// Transfer types and connect flags.
constexpr std::uint32_t FTP_TRANSFER_TYPE_ASCII = 1;
constexpr std::uint32_t FTP_TRANSFER_TYPE_BINARY = 2;
constexpr std::uint32_t INTERNET_FLAG_PASSIVE = 0x08000000;

// Error codes (WinINet numbering).
constexpr std::uint32_t ERROR_INTERNET_TIMEOUT = 12002;
constexpr std::uint32_t ERROR_INTERNET_EXTENDED_ERROR = 12003;
constexpr std::uint32_t ERROR_INTERNET_NAME_NOT_RESOLVED = 12007;
constexpr std::uint32_t ERROR_INTERNET_CANNOT_CONNECT = 12029;
constexpr std::uint32_t ERROR_INTERNET_CONNECTION_ABORTED = 12030;

// The shared slots. nullptr is "none".
extern InternetSession* InternetHandle;
extern FtpSession* FtpConnection;
extern std::uint32_t TransferFlags;
extern std::uint32_t ConnectFlags;

// Agent text sent nowhere but kept with the session.
InternetSession* InternetOpen(const std::string& agent);
// Connects and logs in. nullptr on failure, with GetLastError() set.
FtpSession* InternetConnect(InternetSession* session, const std::string& host, int port,
                            const std::string& user, const std::string& password,
                            std::uint32_t flags);
// Changes the current directory; false (GetLastError() set) when it does
// not exist or the server refuses.
bool FtpSetCurrentDirectory(FtpSession* connection, const std::string& directory);

// Creating a remote folder, every missing level top down.
enum class CreateResult { Created, Existed, Failed };
CreateResult FtpCreateDirectory(FtpSession* connection, const std::string& folder);

// Uploads the local file to the remote path (relative to the current
// directory, or absolute). false with GetLastError() set on failure.
bool FtpPutFile(FtpSession* connection, const std::string& localFile, const std::string& remoteFile,
                std::uint32_t flags);

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

// The port a profile's text names: a whole number from 1 to 65535, else 21.
int PortFromProfile(const std::string& portText);

// Called while a transfer runs so the window system stays responsive;
// the default lets it handle pending events.
void SetTransferYield(std::function<void()> yield);

}  // namespace ftp

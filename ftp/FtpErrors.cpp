#include "ftp/FtpErrors.h"

#include "ftp/modFTP.h"
#include "base/StatusLog.h"

#include <utility>

namespace ftp {
namespace {

thread_local std::uint32_t lastError = ERROR_SUCCESS;
thread_local std::string lastResponse;
thread_local std::string lastDetail;

// A message line ends in its one line break: a detail is kept to one line,
// its own line breaks as blanks, any other control character escaped.
std::string DetailLine(std::string text) {
    for (char& c : text)
        if (c == '\r' || c == '\n' || c == '\0') c = ' ';
    while (!text.empty() && text.back() == ' ') text.pop_back();
    return ::OneLine(text);
}

std::string WithDetail(const std::string& text) {
    return lastDetail.empty() ? text + ".\n" : text + ": " + lastDetail + "\n";
}

}  // namespace

void SetLastError(std::uint32_t code, std::string response, std::string detail) {
    lastError = code;
    lastResponse = std::move(response);
    lastDetail = DetailLine(std::move(detail));
}

std::uint32_t GetLastError() { return lastError; }

std::string InternetGetLastResponseInfo() { return lastResponse; }

std::uint32_t CodeForCurlResult(CURLcode result) {
    switch (result) {
    case CURLE_OK:
        return ERROR_SUCCESS;
    case CURLE_OPERATION_TIMEDOUT:
    case CURLE_FTP_ACCEPT_TIMEOUT:
        return ERROR_INTERNET_TIMEOUT;
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY:
        return ERROR_INTERNET_NAME_NOT_RESOLVED;
    case CURLE_COULDNT_CONNECT:
        return ERROR_INTERNET_CANNOT_CONNECT;
    case CURLE_SEND_ERROR:
    case CURLE_RECV_ERROR:
    case CURLE_GOT_NOTHING:
    case CURLE_PARTIAL_FILE:
        return ERROR_INTERNET_CONNECTION_ABORTED;
    case CURLE_URL_MALFORMAT:
        return ERROR_INTERNET_INVALID_URL;
    case CURLE_UNSUPPORTED_PROTOCOL:
        return ERROR_INTERNET_UNRECOGNIZED_SCHEME;
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_ISSUER_ERROR:
    case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
    case CURLE_SSL_INVALIDCERTSTATUS:
        return ERROR_INTERNET_INVALID_CA;
    case CURLE_USE_SSL_FAILED:
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_SSL_ENGINE_NOTFOUND:
    case CURLE_SSL_ENGINE_SETFAILED:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CIPHER:
    case CURLE_SSL_SHUTDOWN_FAILED:
    case CURLE_SSL_CRL_BADFILE:
    case CURLE_SSH:
        return ERROR_INTERNET_SECURITY_CHANNEL_ERROR;
    case CURLE_ABORTED_BY_CALLBACK:
        return ERROR_INTERNET_OPERATION_CANCELLED;
    case CURLE_OUT_OF_MEMORY:
        return ERROR_NOT_ENOUGH_MEMORY;
    case CURLE_LOGIN_DENIED:
    case CURLE_REMOTE_ACCESS_DENIED:
    case CURLE_WEIRD_SERVER_REPLY:
    case CURLE_FTP_WEIRD_PASS_REPLY:
    case CURLE_FTP_WEIRD_PASV_REPLY:
    case CURLE_FTP_WEIRD_227_FORMAT:
    case CURLE_FTP_CANT_GET_HOST:
    case CURLE_FTP_COULDNT_SET_TYPE:
    case CURLE_FTP_COULDNT_RETR_FILE:
    case CURLE_FTP_COULDNT_USE_REST:
    case CURLE_FTP_PORT_FAILED:
    case CURLE_FTP_ACCEPT_FAILED:
    case CURLE_FTP_PRET_FAILED:
    case CURLE_QUOTE_ERROR:
    case CURLE_UPLOAD_FAILED:
    case CURLE_REMOTE_DISK_FULL:
    case CURLE_REMOTE_FILE_EXISTS:
    case CURLE_REMOTE_FILE_NOT_FOUND:
        return ERROR_INTERNET_EXTENDED_ERROR;
    default:
        return ERROR_INTERNET_INTERNAL_ERROR;
    }
}

std::string InternetErrorMessage(std::uint32_t code) {
    switch (code) {
    case ERROR_FILE_NOT_FOUND: return "The local file does not exist.\n";
    case ERROR_ACCESS_DENIED: return "The local file cannot be opened for reading.\n";
    case ERROR_NOT_ENOUGH_MEMORY: return "There is not enough memory to carry out the request.\n";
    case ERROR_WRITE_FAULT: return "The local file could not be written to its end.\n";
    case ERROR_READ_FAULT: return "The local file could not be read to its end.\n";
    case ERROR_INVALID_PARAMETER: return "The host name, user name or password holds a line break or NUL character.\n";
    case ERROR_INVALID_NAME: return "The remote path names no file, or holds a line break or NUL character.\n";
    case ERROR_INTERNET_TIMEOUT: return "The operation timed out.\n";
    case ERROR_INTERNET_EXTENDED_ERROR: return "The server refused the request.\n";
    case ERROR_INTERNET_INTERNAL_ERROR: return "An internal error occurred in the FTP client.\n";
    case ERROR_INTERNET_INVALID_URL: return "The server address is not valid.\n";
    case ERROR_INTERNET_NAME_NOT_RESOLVED: return "The server name could not be resolved.\n";
    case ERROR_INTERNET_OPERATION_CANCELLED: return "The operation was cancelled.\n";
    case ERROR_INTERNET_CANNOT_CONNECT: return "A connection with the server could not be established.\n";
    case ERROR_INTERNET_CONNECTION_ABORTED: return "The connection with the server was terminated abnormally.\n";
    case ERROR_INTERNET_UNRECOGNIZED_SCHEME: return "The host names a scheme other than ftp://, ftps:// and sftp://.\n";
    case ERROR_INTERNET_SEC_CERT_CN_INVALID: return WithDetail("The server's certificate is made out to another host name");
    case ERROR_INTERNET_INVALID_CA: return WithDetail("The server's certificate is not trusted");
    case ERROR_INTERNET_SECURITY_CHANNEL_ERROR: return WithDetail("No protected connection could be set up");
    case ERROR_INTERNET_SEC_INVALID_CERT: return WithDetail("The server's SSH host key is not trusted");
    default: return {};
    }
}

std::vector<std::string> InternetErrorLines(std::uint32_t code, const std::string& caller) {
    std::vector<std::string> lines{"FTP Info: " + caller + " error code: " + std::to_string(code) +
                                   " Message: " + InternetErrorMessage(code)};
    // The reply is the server's text: a reply of several lines, or one that
    // carries control characters, must not become lines of its own.
    if (code == ERROR_INTERNET_EXTENDED_ERROR) lines.push_back("Extended Info: " + ::OneLine(InternetGetLastResponseInfo()));
    return lines;
}

void ReportInternetError(std::uint32_t code, const std::string& caller) {
    for (const std::string& line : InternetErrorLines(code, caller)) LogStatus(line);
}

}  // namespace ftp

#pragma once
// The calling thread's last FTP error and the server's last reply, as the
// operations of modFTP set them.

#include <curl/curl.h>

#include <cstdint>
#include <string>

namespace ftp {

// Sets the calling thread's last error code and the reply text that
// InternetGetLastResponseInfo() gives from now on. `detail` is libcurl's
// account of a refused server identity or channel, which the message text
// of those codes names.
void SetLastError(std::uint32_t code, std::string response, std::string detail = {});

// The error code for a request libcurl ended with `result`. Whatever the
// server refused is ERROR_INTERNET_EXTENDED_ERROR.
std::uint32_t CodeForCurlResult(CURLcode result);

}  // namespace ftp

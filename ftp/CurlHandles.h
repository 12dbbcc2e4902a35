#pragma once
// Owning wrappers for the libcurl handles and the files the FTP layer uses.

#include <curl/curl.h>

#include <cstdio>
#include <memory>

namespace ftp {

struct EasyCleanup {
    void operator()(CURL* h) const { curl_easy_cleanup(h); }
};
struct MultiCleanup {
    void operator()(CURLM* h) const { curl_multi_cleanup(h); }
};
struct SlistCleanup {
    void operator()(curl_slist* l) const { curl_slist_free_all(l); }
};
struct UrlCleanup {
    void operator()(CURLU* u) const { curl_url_cleanup(u); }
};
struct CurlFree {
    void operator()(char* p) const { curl_free(p); }
};
struct FileClose {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

using CurlEasy = std::unique_ptr<CURL, EasyCleanup>;
using CurlMulti = std::unique_ptr<CURLM, MultiCleanup>;
using CurlSlist = std::unique_ptr<curl_slist, SlistCleanup>;
using CurlUrl = std::unique_ptr<CURLU, UrlCleanup>;
using CurlText = std::unique_ptr<char, CurlFree>;
using File = std::unique_ptr<std::FILE, FileClose>;

}  // namespace ftp

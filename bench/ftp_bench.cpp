// Times the FTP layer against a server on loopback: many small uploads
// over one connection, then one large file. Used by ftp-bench.sh.
//
//   ftp-bench PORT SMALL_FOLDER BIG_FILE
// uploads every file of SMALL_FOLDER to /small/ and BIG_FILE to /big.bin
// as tessary:secret on 127.0.0.1:PORT, and prints one result line each.

#include "ftp/modFTP.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace {

double Seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

int Fail(const char* what) {
    std::fprintf(stderr, "ftp-bench: %s failed: %u %s\n", what, ftp::GetLastError(),
                 ftp::InternetGetLastResponseInfo().c_str());
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: ftp-bench PORT SMALL_FOLDER BIG_FILE\n");
        return 2;
    }
    const int port = std::stoi(argv[1]);
    std::vector<std::string> small;
    for (const auto& entry : std::filesystem::directory_iterator(argv[2])) small.push_back(entry.path().string());

    ftp::InternetSession* session = ftp::InternetOpen("ftp-bench");
    ftp::FtpSession* c = ftp::InternetConnect(session, "127.0.0.1", port, "tessary", "secret", ftp::INTERNET_FLAG_PASSIVE);
    if (!c) return Fail("login");
    if (ftp::FtpCreateDirectory(c, "/small") == ftp::CreateResult::Failed) return Fail("MKD");

    auto start = std::chrono::steady_clock::now();
    for (const auto& file : small) {
        const std::string name = std::filesystem::path(file).filename().string();
        if (!ftp::FtpPutFile(c, file, "/small/" + name, ftp::FTP_TRANSFER_TYPE_BINARY)) return Fail("small upload");
    }
    const double smallSeconds = Seconds(start);
    std::printf("tessary small: %zu files in %.3f s = %.0f files/s\n", small.size(), smallSeconds,
                small.size() / smallSeconds);

    const auto bytes = std::filesystem::file_size(argv[3]);
    start = std::chrono::steady_clock::now();
    if (!ftp::FtpPutFile(c, argv[3], "/big.bin", ftp::FTP_TRANSFER_TYPE_BINARY)) return Fail("big upload");
    const double bigSeconds = Seconds(start);
    std::printf("tessary big: %.0f MB in %.3f s = %.1f MB/s\n", bytes / 1e6, bigSeconds, bytes / 1e6 / bigSeconds);

    ftp::InternetCloseHandle(c);
    ftp::InternetCloseHandle(session);
    return 0;
}

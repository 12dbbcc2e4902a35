#pragma once
// A real FTP server on 127.0.0.1 for one test: pyftpdlib on a free port, serving a folder, stopped when
// the object goes. It reports each login and command before it replies, so whatever a client has had
// its reply to is counted here at once, with no waiting.

#include <cstdio>
#include <string>
#include <vector>

namespace testsupport {

class FtpServer {
public:
    struct Options {
        std::string refuseStor{};  // STOR of a path holding this text gets 553
        std::string silentOn{};    // a command the server never answers
        bool noPassive = false;    // refuse EPSV and PASV
        bool stallData = false;    // stop reading an upload after its first chunk
        bool logCommands = false;  // record every command line (see commands())
    };
    // Serves `root` (created when missing) to tessary, password secret; throws when it does not come up.
    FtpServer(std::string root, const Options& options);
    explicit FtpServer(std::string root) : FtpServer(std::move(root), Options()) {}
    ~FtpServer();
    FtpServer(const FtpServer&) = delete;
    FtpServer& operator=(const FtpServer&) = delete;

    int port() const { return port_; }
    const std::string& root() const { return root_; }
    int logins();
    // Every command line so far, PASS masked (with Options::logCommands; read before the pipe fills).
    std::vector<std::string> commands();

private:
    bool ReadLines(int timeoutMs);  // waits up to timeoutMs for the first; false at the end
    void Stop();

    std::string root_;
    std::FILE* out_ = nullptr;  // the server's standard output
    int port_ = 0, pid_ = -1;
    int logins_ = 0;
    std::vector<std::string> commands_;
    std::string pending_;
};

}  // namespace testsupport

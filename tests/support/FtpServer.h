#pragma once
// A real FTP server on 127.0.0.1 for one test: pyftpdlib on a free port,
// serving a temporary folder, stopped when the object goes.

#include <string>
#include <vector>

namespace testsupport {

class FtpServer {
public:
    struct Options {
        std::vector<std::string> accounts{"tessary:secret"};  // user:password
        std::string refuseStor;  // STOR of a path holding this text gets 553
        std::string silentOn;    // a command the server never answers
        bool noPassive = false;  // refuse EPSV and PASV
        bool stallData = false;  // stop reading an upload after its first chunk
        bool logCommands = false;  // record every command line (see commands())
    };

    // Serves `root` (created when missing). Throws std::runtime_error when
    // the server does not come up within a few seconds.
    explicit FtpServer(std::string root, Options options);
    explicit FtpServer(std::string root) : FtpServer(std::move(root), Options{}) {}
    ~FtpServer();
    FtpServer(const FtpServer&) = delete;
    FtpServer& operator=(const FtpServer&) = delete;

    int port() const { return port_; }
    const std::string& root() const { return root_; }
    // Logins the server has accepted so far. The server reports each one
    // (and each command) before it replies, so whatever a client has had a
    // reply to is counted here without waiting.
    int logins();
    // Every command line received so far, in order, PASS masked. Needs
    // Options::logCommands; call it often enough that the pipe never fills.
    std::vector<std::string> commands();

private:
    // Takes in the lines the server has written; waits up to timeoutMs for
    // the first of them.
    void ReadLines(int timeoutMs);
    void Stop();

    std::string root_;
    int port_ = 0;
    int pid_ = -1;
    int out_ = -1;    // the server's standard output
    int in_ = -1;     // its standard input: closing it stops the server
    int logins_ = 0;
    std::vector<std::string> commands_;
    std::string pending_;
};

// The folder of the test programs' support files (the server script).
std::string SupportDir();

}  // namespace testsupport

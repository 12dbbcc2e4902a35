#pragma once
// A real FTP server on 127.0.0.1 for one test: pyftpdlib on a free port, serving a folder, stopped when
// the object goes. It reports each login and command before it replies, so whatever a client has had
// its reply to is counted here at once, with no waiting.

#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <poll.h>
#include <stdexcept>
#include <string>
#include <unistd.h>
#include <vector>

namespace testsupport {

class FtpServer {
public:
    struct Options {
        std::string refuseStor{};  // STOR of a path holding this text is refused, with refuseCode
        std::string refuseCode = "553";
        int port = 0;              // 0: any free one
        std::string silentOn{};    // a command the server never answers
        int silentAfter = 0;       // a STOR after this many is never answered
        bool noPassive = false;    // refuse EPSV and PASV
        bool stallData = false;    // stop reading an upload after its first chunk
        bool logCommands = false;  // record every command line (see commands())
        bool dropAfterStor = false;  // close the control connection after each upload
        bool dropMidStor = false;    // close both connections once an upload has begun
        std::string dropMidStorOf{};  // the same, only for uploads to a path holding this text
        std::string dropMidRetrOf{};  // close both connections once a download of a path holding this text has begun
        int dropRetrTimes = 0;        // only that many times (0: every time)
        int maxLogins = 0;           // more connections at once are refused (421)
        int throttle = 0;            // bytes a second an upload is taken at
        bool sparse = false;         // store zeros as holes
    };
    // Serves `root` (created when missing) to tessary, password secret; throws when it does not come up.
    explicit FtpServer(std::string root) : FtpServer(std::move(root), Options()) {}
    FtpServer(std::string root, const Options& o) : root_(std::move(root)) {
        std::filesystem::create_directories(root_);
        const auto arg = [](const char* option, std::string text) {
            for (std::size_t at = 0; (at = text.find('\'', at)) != std::string::npos; at += 4)
                text.replace(at, 1, "'\\''");
            return std::string(" ") + option + " '" + text + "'";
        };
        // Debian's interpreter: pyftpdlib comes from Debian's package.
        std::string command = "exec /usr/bin/python3" + arg("", TESSARY_TEST_SUPPORT_DIR "/ftpserver.py") +
                              arg("--root", root_) + arg("--port", std::to_string(o.port)) +
                              arg("--refuse-code", o.refuseCode);
        for (const auto& [on, flag] : {std::pair{o.noPassive, " --no-passive"}, {o.stallData, " --stall-data"},
                                       {o.logCommands, " --log-commands"}, {o.dropAfterStor, " --drop-after-stor"},
                                       {o.dropMidStor, " --drop-mid-stor"}, {o.sparse, " --sparse"}})
            if (on) command += flag;
        const auto number = [](int n) { return n > 0 ? std::to_string(n) : std::string(); };
        for (const auto& [value, option] : {std::pair{o.refuseStor, "--refuse-stor"}, {o.silentOn, "--silent-on"},
                                            {number(o.silentAfter), "--silent-after"},
                                            {o.dropMidStorOf, "--drop-mid-stor-of"},
                                            {o.dropMidRetrOf, "--drop-mid-retr-of"},
                                            {number(o.dropRetrTimes), "--drop-retr-times"},
                                            {number(o.maxLogins), "--max-logins"}, {number(o.throttle), "--throttle"}})
            if (!value.empty()) command += arg(option, value);
        out_ = ::popen(command.c_str(), "re");
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (out_ && port_ == 0 && std::chrono::steady_clock::now() < deadline && ReadLines(100)) {
        }
        if (port_ == 0) {
            if (out_) ::pclose(out_);  // no PORT line, so no process number to stop
            throw std::runtime_error("the FTP server did not start (is python3-pyftpdlib installed?)");
        }
    }
    ~FtpServer() {
        if (pid_ > 0) ::kill(pid_, SIGTERM);
        if (out_) ::pclose(out_);
        out_ = nullptr;
        pid_ = -1;
    }
    FtpServer(const FtpServer&) = delete;
    FtpServer& operator=(const FtpServer&) = delete;

    int port() const { return port_; }
    const std::string& root() const { return root_; }
    int logins() { return ReadLines(0), logins_; }
    // Every command line so far, PASS masked (with Options::logCommands; read before the pipe fills).
    std::vector<std::string> commands() { return ReadLines(0), commands_; }

private:
    // Waits up to timeoutMs for the first line; false at the end.
    bool ReadLines(int timeoutMs) {
        pollfd p{::fileno(out_), POLLIN, 0};
        char buf[4096];
        ssize_t n = 1;
        for (; ::poll(&p, 1, timeoutMs) > 0 && (n = ::read(p.fd, buf, sizeof buf)) > 0; timeoutMs = 0)
            pending_.append(buf, static_cast<std::size_t>(n));
        for (std::size_t nl; (nl = pending_.find('\n')) != std::string::npos; pending_.erase(0, nl + 1)) {
            const std::string line = pending_.substr(0, nl);
            if (line.starts_with("PORT "))  // PORT <port> <pid>
                port_ = std::stoi(line.substr(5)), pid_ = std::stoi(line.substr(line.rfind(' ')));
            logins_ += line.starts_with("LOGIN ");
            if (!line.starts_with("CMD ")) continue;
            std::string command;  // hex, so that any byte survives
            for (std::size_t i = 4; i + 1 < line.size(); i += 2)
                command += static_cast<char>(std::stoi(line.substr(i, 2), nullptr, 16));
            commands_.push_back(std::move(command));
        }
        return n > 0;
    }

    std::string root_;
    std::FILE* out_ = nullptr;  // the server's standard output
    int port_ = 0, pid_ = -1;
    int logins_ = 0;
    std::vector<std::string> commands_;
    std::string pending_;
};

}  // namespace testsupport

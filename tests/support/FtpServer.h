#pragma once
// A real FTP server on 127.0.0.1 for one test: pyftpdlib on a free port, serving a folder, stopped when
// the object goes. It reports each login and command before it replies, so whatever a client has had
// its reply to is counted here at once, with no waiting.

#include "tests/support/Fixtures.h"

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
        std::string dropMidStorOf{};  // close both connections in an upload to a path holding this ("/": any)
        std::string dropMidRetrOf{};  // close both connections once a download of a path holding this text has begun
        int maxLogins = 0;           // more connections at once are refused (421)
        int throttle = 0;            // bytes a second an upload is taken at
        bool sparse = false;         // store zeros as holes
    };
    // Serves `root` (created when missing) to tessary, password secret; throws when it does not come up.
    explicit FtpServer(std::string root) : FtpServer(std::move(root), Options()) {}
    FtpServer(std::string root, const Options& o) : root_(std::move(root)), process_(Command(root_, o)) {
        if (!process_.firstLine.starts_with("PORT "))  // PORT <port> <pid>
            throw std::runtime_error("the FTP server did not start (is python3-pyftpdlib installed?)");
        port_ = std::stoi(process_.firstLine.substr(5));
    }

    int port() const { return port_; }
    const std::string& root() const { return root_; }
    int logins() { return ReadLines(), logins_; }
    // Every command line so far, PASS masked (with Options::logCommands; read before the pipe fills).
    std::vector<std::string> commands() { return ReadLines(), commands_; }

private:
    // Debian's interpreter: pyftpdlib comes from Debian's package.
    static std::vector<std::string> Command(const std::string& root, const Options& o) {
        std::filesystem::create_directories(root);
        std::vector<std::string> command{"/usr/bin/python3", TESSARY_TEST_SUPPORT_DIR "/ftpserver.py", "--root", root,
                                         "--port", std::to_string(o.port), "--refuse-code", o.refuseCode};
        for (const auto& [on, flag] : {std::pair{o.noPassive, "--no-passive"}, {o.stallData, "--stall-data"},
                                       {o.logCommands, "--log-commands"}, {o.dropAfterStor, "--drop-after-stor"},
                                       {o.sparse, "--sparse"}})
            if (on) command.push_back(flag);
        const auto number = [](int n) { return n > 0 ? std::to_string(n) : std::string(); };
        for (const auto& [value, option] : {std::pair{o.refuseStor, "--refuse-stor"}, {o.silentOn, "--silent-on"},
                                            {number(o.silentAfter), "--silent-after"},
                                            {o.dropMidStorOf, "--drop-mid-stor-of"},
                                            {o.dropMidRetrOf, "--drop-mid-retr-of"},
                                            {number(o.maxLogins), "--max-logins"}, {number(o.throttle), "--throttle"}})
            if (!value.empty()) command.insert(command.end(), {option, value});
        return command;
    }
    // Takes in what the server has written since the last look.
    void ReadLines() {
        pollfd p{process_.fd(), POLLIN, 0};
        char buf[4096];
        for (ssize_t n; ::poll(&p, 1, 0) > 0 && (n = ::read(p.fd, buf, sizeof buf)) > 0;)
            pending_.append(buf, static_cast<std::size_t>(n));
        for (std::size_t nl; (nl = pending_.find('\n')) != std::string::npos; pending_.erase(0, nl + 1)) {
            const std::string line = pending_.substr(0, nl);
            logins_ += line.starts_with("LOGIN ");
            if (!line.starts_with("CMD ")) continue;
            std::string command;  // hex, so that any byte survives
            for (std::size_t i = 4; i + 1 < line.size(); i += 2)
                command += static_cast<char>(std::stoi(line.substr(i, 2), nullptr, 16));
            commands_.push_back(std::move(command));
        }
    }

    std::string root_;
    Background process_;  // its standard output: PORT, then LOGIN and CMD lines
    int port_ = 0;
    int logins_ = 0;
    std::vector<std::string> commands_;
    std::string pending_;
};

}  // namespace testsupport

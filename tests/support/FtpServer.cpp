#include "tests/support/FtpServer.h"

#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <poll.h>
#include <spawn.h>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace testsupport {

FtpServer::FtpServer(std::string root, const Options& o) : root_(std::move(root)) {
    std::filesystem::create_directories(root_);
    // Debian's interpreter: pyftpdlib comes from Debian's package.
    std::vector<std::string> args{"/usr/bin/python3", TESSARY_TEST_SUPPORT_DIR "/ftpserver.py", "--root", root_};
    const std::pair<const char*, std::string> texts[] = {{"--refuse-stor", o.refuseStor}, {"--silent-on", o.silentOn}};
    for (const auto& [flag, value] : texts)
        if (!value.empty()) args.insert(args.end(), {flag, value});
    const std::pair<const char*, bool> flags[] = {
        {"--no-passive", o.noPassive}, {"--stall-data", o.stallData}, {"--log-commands", o.logCommands}};
    for (const auto& [flag, on] : flags)
        if (on) args.push_back(flag);

    int outPipe[2], inPipe[2];
    if (::pipe2(outPipe, O_CLOEXEC) != 0 || ::pipe2(inPipe, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_adddup2(&fa, inPipe[0], 0);
    posix_spawn_file_actions_adddup2(&fa, outPipe[1], 1);
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = -1;
    const int rc = posix_spawn(&pid, argv[0], &fa, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&fa);
    ::close(outPipe[1]);
    ::close(inPipe[0]);
    out_ = outPipe[0];
    in_ = inPipe[1];
    if (rc == 0) pid_ = pid;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (pid_ > 0 && port_ == 0 && std::chrono::steady_clock::now() < deadline) ReadLines(100);
    if (port_ == 0) {
        Stop();
        throw std::runtime_error(std::string("the FTP server did not start: ") +
                                 (rc ? std::strerror(rc) : "is python3-pyftpdlib installed?"));
    }
}

FtpServer::~FtpServer() { Stop(); }

void FtpServer::Stop() {
    if (in_ >= 0) ::close(in_);
    if (pid_ > 0) {
        ::kill(pid_, SIGTERM);
        ::waitpid(pid_, nullptr, 0);
    }
    if (out_ >= 0) ::close(out_);
    in_ = out_ = pid_ = -1;
}

void FtpServer::ReadLines(int timeoutMs) {
    pollfd p{out_, POLLIN, 0};
    char buf[4096];
    for (ssize_t n; ::poll(&p, 1, timeoutMs) > 0 && (n = ::read(out_, buf, sizeof buf)) > 0; timeoutMs = 0)
        pending_.append(buf, static_cast<std::size_t>(n));
    for (std::size_t nl; (nl = pending_.find('\n')) != std::string::npos; pending_.erase(0, nl + 1)) {
        const std::string line = pending_.substr(0, nl);
        if (line.rfind("PORT ", 0) == 0) port_ = std::stoi(line.substr(5));
        logins_ += line.rfind("LOGIN ", 0) == 0;
        if (line.rfind("CMD ", 0) != 0) continue;
        std::string command;  // hex, so that any byte survives
        for (std::size_t i = 4; i + 1 < line.size(); i += 2)
            command += static_cast<char>(std::stoi(line.substr(i, 2), nullptr, 16));
        commands_.push_back(std::move(command));
    }
}

int FtpServer::logins() {
    ReadLines(0);
    return logins_;
}

std::vector<std::string> FtpServer::commands() {
    ReadLines(0);
    return commands_;
}

}  // namespace testsupport

#include "tests/support/FtpServer.h"

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <cstring>
#include <filesystem>
#include <poll.h>
#include <spawn.h>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace testsupport {

std::string SupportDir() { return TESSARY_TEST_SUPPORT_DIR; }

FtpServer::FtpServer(std::string root, Options options) : root_(std::move(root)) {
    std::filesystem::create_directories(root_);
    // Debian's interpreter: pyftpdlib comes from Debian's package.
    std::vector<std::string> args{"/usr/bin/python3", SupportDir() + "/ftpserver.py", "--root", root_};
    for (const auto& a : options.accounts) {
        args.push_back("--account");
        args.push_back(a);
    }
    if (!options.refuseStor.empty()) {
        args.push_back("--refuse-stor");
        args.push_back(options.refuseStor);
    }
    if (!options.silentOn.empty()) {
        args.push_back("--silent-on");
        args.push_back(options.silentOn);
    }
    if (options.noPassive) args.push_back("--no-passive");
    if (options.stallData) args.push_back("--stall-data");
    if (options.logCommands) args.push_back("--log-commands");

    int outPipe[2], inPipe[2];
    if (::pipe2(outPipe, O_CLOEXEC) != 0 || ::pipe2(inPipe, O_CLOEXEC) != 0)
        throw std::runtime_error("pipe failed");
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
    if (rc != 0) throw std::runtime_error(std::string("cannot start the FTP server: ") + std::strerror(rc));
    pid_ = pid;

    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (port_ == 0 && std::chrono::steady_clock::now() < deadline) ReadLines(100);
    if (port_ == 0) {
        Stop();
        throw std::runtime_error("the FTP server did not start (is python3-pyftpdlib installed?)");
    }
}

void FtpServer::ReadLines(int timeoutMs) {
    pollfd p{out_, POLLIN, 0};
    for (; ::poll(&p, 1, timeoutMs) > 0; timeoutMs = 0) {
        char buf[4096];
        const ssize_t n = ::read(out_, buf, sizeof buf);
        if (n <= 0) return;
        pending_.append(buf, static_cast<std::size_t>(n));
    }
    std::size_t nl;
    while ((nl = pending_.find('\n')) != std::string::npos) {
        const std::string line = pending_.substr(0, nl);
        pending_.erase(0, nl + 1);
        if (line.rfind("PORT ", 0) == 0) port_ = std::stoi(line.substr(5));
        if (line.rfind("LOGIN ", 0) == 0) ++logins_;
        if (line.rfind("CMD ", 0) == 0) {
            std::string command;
            for (std::size_t i = 4; i + 1 < line.size(); i += 2)
                command += static_cast<char>(std::stoi(line.substr(i, 2), nullptr, 16));
            commands_.push_back(std::move(command));
        }
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

FtpServer::~FtpServer() { Stop(); }

void FtpServer::Stop() {
    if (in_ >= 0) ::close(in_);
    if (pid_ > 0) {
        ::kill(pid_, SIGTERM);
        int status = 0;
        ::waitpid(pid_, &status, 0);
    }
    if (out_ >= 0) ::close(out_);
    in_ = out_ = pid_ = -1;
}

}  // namespace testsupport

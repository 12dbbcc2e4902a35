#include "tests/support/Fixtures.h"

#include "store/Store.h"

#include <csignal>
#include <cstring>
#include <linux/capability.h>
#include <sys/syscall.h>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <poll.h>
#include <spawn.h>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace testsupport {

PermissionsBite::PermissionsBite() {
    static_assert(sizeof saved_ == 2 * sizeof(__user_cap_data_struct));
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    if (::syscall(SYS_capget, &header, saved_) != 0) return;
    __user_cap_data_struct reduced[2];
    std::memcpy(reduced, saved_, sizeof reduced);
    for (int cap : {CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH}) reduced[cap / 32].effective &= ~(1u << (cap % 32));
    active_ = ::syscall(SYS_capset, &header, reduced) == 0;
}

PermissionsBite::~PermissionsBite() {
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    if (active_) ::syscall(SYS_capset, &header, saved_);
}

LineRecorder::LineRecorder() {
    previous_ = statuslog::SetSink([this](const std::string& line) {
        const std::lock_guard lock(mutex_);
        lines_.push_back(line);
    });
}

LineRecorder::~LineRecorder() { statuslog::SetSink(std::move(previous_)); }

std::vector<std::string> LineRecorder::Lines() const {
    const std::lock_guard lock(mutex_);
    return lines_;
}

void LineRecorder::Clear() {
    const std::lock_guard lock(mutex_);
    lines_.clear();
}

bool LineRecorder::Has(const std::string& line) const {
    const std::lock_guard lock(mutex_);
    for (const auto& l : lines_)
        if (l == line) return true;
    return false;
}

std::vector<std::string> LineRecorder::Matching(const std::string& part) const {
    const std::lock_guard lock(mutex_);
    std::vector<std::string> out;
    for (const auto& l : lines_)
        if (l.find(part) != std::string::npos) out.push_back(l);
    return out;
}

std::int64_t AddProfile(int port, const std::string& password, const std::string& directory, const std::string& host) {
    auto& c = store::StoreConnection();
    c.Execute("insert into mySettings (FTPServer, FTPPort, FTPUser, FTPPassword, FTPDirectory, FTPNotes) values(" +
              store::Quoted(host) + ", '" + std::to_string(port) + "', 'tessary', " + store::Quoted(password) + ", " +
              store::Quoted(directory) + ", '')");
    return c.LastInsertId();
}

std::int64_t AddJob(const std::string& folder, std::int64_t profile, const std::string& subDirs) {
    auto& c = store::StoreConnection();
    c.Execute("insert into Tessary (Folder, SettingsID, SubDirs) values(" + store::Quoted(folder) + ", '" +
              std::to_string(profile) + "', " + store::Quoted(subDirs) + ")");
    return c.LastInsertId();
}

Tree ReadTree(const std::string& base, bool skipHidden) {
    Tree tree;
    if (!fs::exists(base)) return tree;
    for (const auto& e : fs::recursive_directory_iterator(base)) {
        if (!e.is_regular_file() || e.is_symlink()) continue;
        if (skipHidden && e.path().filename().string().front() == '.') continue;
        std::ifstream in(e.path(), std::ios::binary);
        std::ostringstream content;
        content << in.rdbuf();
        tree[fs::relative(e.path(), base).string()] = content.str();
    }
    return tree;
}

ProgramResult RunProgram(const std::string& exe, const std::vector<std::string>& args,
                         const std::vector<std::string>& env, std::chrono::seconds limit,
                         const std::function<bool(const std::string& out)>& killWhen, int stderrFd) {
    ProgramResult r;
    int out[2], err[2];
    if (::pipe2(out, O_CLOEXEC) != 0) return r;
    if (::pipe2(err, O_CLOEXEC) != 0) {
        ::close(out[0]);
        ::close(out[1]);
        return r;
    }
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_addopen(&fa, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&fa, out[1], 1);
    posix_spawn_file_actions_adddup2(&fa, stderrFd >= 0 ? stderrFd : err[1], 2);
    std::vector<std::string> argText{exe};
    argText.insert(argText.end(), args.begin(), args.end());
    std::vector<char*> argv, envp;
    for (auto& a : argText) argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<std::string> envText = env;
    for (auto& e : envText) envp.push_back(e.data());
    envp.push_back(nullptr);
    pid_t pid = -1;
    const int rc = posix_spawnp(&pid, exe.c_str(), &fa, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&fa);
    ::close(out[1]);
    ::close(err[1]);
    if (rc != 0) {
        ::close(out[0]);
        ::close(err[0]);
        return r;
    }
    const auto deadline = std::chrono::steady_clock::now() + limit;
    pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
    std::string* sinks[2] = {&r.out, &r.err};
    int open = 2;
    bool killed = false;
    while (open > 0) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            ::kill(pid, SIGKILL);
            killed = true;
            break;
        }
        if (::poll(fds, 2, static_cast<int>(left.count())) <= 0) continue;
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
            char buf[8192];
            const ssize_t n = ::read(fds[i].fd, buf, sizeof buf);
            if (n > 0) {
                sinks[i]->append(buf, static_cast<std::size_t>(n));
                if (!killed && killWhen && killWhen(r.out)) {
                    ::kill(pid, SIGKILL);
                    killed = true;
                }
            } else {
                ::close(fds[i].fd);
                fds[i].fd = -1;
                --open;
            }
        }
    }
    for (auto& f : fds)
        if (f.fd >= 0) ::close(f.fd);
    int status = 0;
    ::waitpid(pid, &status, 0);
    r.status = !killed && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

}  // namespace testsupport

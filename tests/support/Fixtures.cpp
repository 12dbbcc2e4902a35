#include "tests/support/Fixtures.h"

#include "base/UniqueFd.h"
#include "store/Store.h"

#include <csignal>
#include <cstdlib>
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

std::vector<std::string> LineRecorder::Matching(const std::string& part) const {
    const std::lock_guard lock(mutex_);
    std::vector<std::string> out;
    for (const auto& l : lines_)
        if (l.find(part) != std::string::npos) out.push_back(l);
    return out;
}

std::int64_t AddProfile(int port, const std::string& password, const std::string& directory, const std::string& host) {
    auto& c = store::StoreConnection();
    // The run suites go once with the default number of connections and once with
    // TESSARY_TEST_CONNECTIONS=1: what they assert holds for both.
    const char* connections = std::getenv("TESSARY_TEST_CONNECTIONS");
    c.Execute("insert into mySettings (FTPServer, FTPPort, FTPUser, FTPPassword, FTPDirectory, FTPNotes, "
              "FTPConnections) values(" +
              store::Quoted(host) + ", '" + std::to_string(port) + "', 'tessary', " + store::Quoted(password) + ", " +
              store::Quoted(directory) + ", '', " + store::Quoted(connections ? connections : "") + ")");
    return c.LastInsertId();
}

std::int64_t AddJob(const std::string& folder, std::int64_t profile, const std::string& subDirs) {
    auto& c = store::StoreConnection();
    c.Execute("insert into Tessary (Folder, SettingsID, SubDirs) values(" + store::Quoted(folder) + ", '" +
              std::to_string(profile) + "', " + store::Quoted(subDirs) + ")");
    return c.LastInsertId();
}

std::int64_t Count(const std::string& table, const std::string& where) {
    return store::StoreConnection().Execute("select count(*) as n from " + table + " where " + where).FieldInt("n");
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

namespace {

// Starts args[0] (looked up in PATH) with `env`, standard input closed and its output on the given
// descriptors; the process id, or -1.
pid_t Spawn(const std::vector<std::string>& args, const std::vector<std::string>& env, int outFd, int errFd) {
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_addopen(&fa, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&fa, outFd, 1);
    if (errFd >= 0) posix_spawn_file_actions_adddup2(&fa, errFd, 2);
    else posix_spawn_file_actions_addopen(&fa, 2, "/dev/null", O_WRONLY, 0);
    std::vector<std::string> argText = args, envText = env;
    std::vector<char*> argv, envp;
    for (auto& a : argText) argv.push_back(a.data());
    for (auto& e : envText) envp.push_back(e.data());
    argv.push_back(nullptr);
    envp.push_back(nullptr);
    pid_t pid = -1;
    const int rc = posix_spawnp(&pid, args[0].c_str(), &fa, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&fa);
    return rc == 0 ? pid : -1;
}

}  // namespace

Background::Background(const std::vector<std::string>& args) {
    base::UniqueFd read, write;
    if (!base::MakePipe(read, write)) return;
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) env.emplace_back(*e);
    pid_ = Spawn(args, env, write.get(), -1);
    write.reset();
    if (pid_ < 0) return;
    firstLine = ReadUntil(read.get(), "\n");
    firstLine = firstLine.ends_with('\n') ? firstLine.substr(0, firstLine.find('\n')) : std::string();
    out_ = std::move(read);
}

Background::~Background() {
    if (pid_ > 0 && ::kill(pid_, SIGTERM) == 0) ::waitpid(pid_, nullptr, 0);
}

bool WaitFor(const std::function<bool()>& condition, std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        ::poll(nullptr, 0, 10);
    }
    return true;
}

std::string ReadUntil(int fd, const std::string& until) {
    std::string seen;
    pollfd p{fd, POLLIN, 0};
    char buf[4096];
    for (ssize_t n; !Has(seen, until) && ::poll(&p, 1, 10000) == 1 && (n = ::read(fd, buf, sizeof buf)) > 0;)
        seen.append(buf, static_cast<std::size_t>(n));
    return seen;
}

ProgramResult RunProgram(const std::string& exe, const std::vector<std::string>& args,
                         const std::vector<std::string>& env, std::chrono::seconds limit,
                         const std::function<bool(const std::string& out)>& killWhen, int stderrFd) {
    ProgramResult r;
    base::UniqueFd outRead, outWrite, errRead, errWrite;
    if (!base::MakePipe(outRead, outWrite) || !base::MakePipe(errRead, errWrite)) return r;
    std::vector<std::string> argv{exe};
    argv.insert(argv.end(), args.begin(), args.end());
    const pid_t pid = Spawn(argv, env, outWrite.get(), stderrFd >= 0 ? stderrFd : errWrite.get());
    outWrite.reset();
    errWrite.reset();
    if (pid < 0) return r;
    const auto deadline = std::chrono::steady_clock::now() + limit;
    base::UniqueFd* ends[2] = {&outRead, &errRead};
    std::string* sinks[2] = {&r.out, &r.err};
    bool killed = false;
    const auto kill = [&] { killed = killed || ::kill(pid, SIGKILL) == 0; };
    while (outRead.get() >= 0 || errRead.get() >= 0) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            kill();
            break;
        }
        pollfd fds[2] = {{outRead.get(), POLLIN, 0}, {errRead.get(), POLLIN, 0}};
        if (::poll(fds, 2, static_cast<int>(left.count())) <= 0) continue;
        for (int i = 0; i < 2; ++i) {
            if (!(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
            char buf[8192];
            const ssize_t n = ::read(fds[i].fd, buf, sizeof buf);
            if (n <= 0) {
                ends[i]->reset();
                continue;
            }
            sinks[i]->append(buf, static_cast<std::size_t>(n));
            if (!killed && killWhen && killWhen(r.out)) kill();
        }
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    r.status = !killed && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

}  // namespace testsupport

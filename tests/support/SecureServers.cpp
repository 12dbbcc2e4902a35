#include "tests/support/SecureServers.h"

#include "tests/support/TempDir.h"

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <netinet/in.h>
#include <poll.h>
#include <pwd.h>
#include <spawn.h>
#include <sstream>
#include <stdexcept>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace testsupport {
namespace fs = std::filesystem;

namespace {

constexpr const char* kAccountName = "tessarytest";
// Root's own place for the account's password, kept across test runs.
constexpr const char* kAccountFolder = "/var/tmp/tessary-test-account";

class Fd {
public:
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd() {
        if (fd_ >= 0) ::close(fd_);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

int Spawn(const std::vector<std::string>& args, const std::string& input, const std::string& output, bool ownGroup) {
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_addopen(&fa, 0, input.empty() ? "/dev/null" : input.c_str(), O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&fa, 1, output.empty() ? "/dev/null" : output.c_str(),
                                     O_WRONLY | O_CREAT | O_APPEND, 0600);
    posix_spawn_file_actions_adddup2(&fa, 1, 2);
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    // Its own process group, so stopping it stops the sessions it forked.
    if (ownGroup) {
        posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP);
        posix_spawnattr_setpgroup(&attr, 0);
    }
    std::vector<char*> argv;
    std::vector<std::string> copy = args;
    for (auto& a : copy) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = -1;
    const int rc = posix_spawnp(&pid, argv[0], &fa, &attr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&fa);
    posix_spawnattr_destroy(&attr);
    return rc == 0 ? pid : -1;
}

int Wait(int pid) {
    int status = 0;
    if (pid < 0 || ::waitpid(pid, &status, 0) != pid) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

int RunWithInput(const std::vector<std::string>& args, const std::string& input) {
    return Wait(Spawn(args, input, {}, false));
}

std::string RandomPassword() {
    std::ifstream random("/dev/urandom", std::ios::binary);
    const std::string alphabet = "abcdefghijkmnopqrstuvwxyzABCDEFGHJKLMNPQRSTUVWXYZ23456789";
    std::string password;
    for (int i = 0; i < 24; ++i) password += alphabet[static_cast<unsigned char>(random.get()) % alphabet.size()];
    return password;
}

int FreePort() {
    Fd s(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    if (::bind(s.get(), reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
        ::getsockname(s.get(), reinterpret_cast<sockaddr*>(&a), &len) != 0)
        throw std::runtime_error("no free port");
    return ntohs(a.sin_port);
}

bool Accepts(int port) {
    Fd s(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(static_cast<std::uint16_t>(port));
    return ::connect(s.get(), reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
}

void WriteText(const std::string& file, const std::string& text) {
    std::ofstream out(file, std::ios::trunc);
    out << text;
    if (!out) throw std::runtime_error("cannot write " + file);
}

}  // namespace

std::string SecureServersUnavailable() {
    if (::geteuid() != 0) return "the FTPS and SFTP servers need root (a system account, sshd's privileges)";
    return {};
}

int RunProgram(const std::vector<std::string>& args, const std::string& output) {
    return Wait(Spawn(args, {}, output, false));
}

const TestAccount& SystemTestAccount() {
    static const TestAccount account = [] {
        TestAccount made{kAccountName, {}};
        fs::create_directories(kAccountFolder);
        fs::permissions(kAccountFolder, fs::perms::owner_all);
        // Test programs run side by side: one of them at a time sets it up.
        Fd lock(::open((std::string(kAccountFolder) + "/lock").c_str(), O_CREAT | O_RDWR | O_CLOEXEC, 0600));
        if (lock.get() < 0 || ::flock(lock.get(), LOCK_EX) != 0) throw std::runtime_error("cannot lock the account");
        const std::string passwordFile = std::string(kAccountFolder) + "/password";
        if (fs::exists(passwordFile)) made.password = ReadFile(passwordFile);
        if (made.password.empty()) {
            made.password = RandomPassword();
            WriteText(passwordFile, made.password);
            fs::permissions(passwordFile, fs::perms::owner_read | fs::perms::owner_write);
        }
        if (!::getpwnam(kAccountName) &&
            RunProgram({"useradd", "--no-create-home", "--home-dir", "/", "--shell", "/bin/sh", kAccountName}) != 0)
            throw std::runtime_error("useradd failed");
        const std::string input = std::string(kAccountFolder) + "/chpasswd.in";
        WriteText(input, made.user + ":" + made.password + "\n");
        const int rc = RunWithInput({"chpasswd"}, input);
        fs::remove(input);
        if (rc != 0) throw std::runtime_error("chpasswd failed");
        return made;
    }();
    return account;
}

void GiveToTestAccount(const std::string& folder, const std::string& reachableFrom) {
    const passwd* user = ::getpwnam(SystemTestAccount().user.c_str());
    if (!user) throw std::runtime_error("no test account");
    fs::create_directories(folder);
    if (::chown(folder.c_str(), user->pw_uid, user->pw_gid) != 0) throw std::runtime_error("chown failed");
    for (const auto& e : fs::recursive_directory_iterator(folder))
        if (::lchown(e.path().c_str(), user->pw_uid, user->pw_gid) != 0) throw std::runtime_error("chown failed");
    for (fs::path p = fs::path(folder).parent_path(); p.string().rfind(reachableFrom, 0) == 0; p = p.parent_path()) {
        fs::permissions(p, fs::perms::others_exec | fs::perms::group_exec, fs::perm_options::add);
        if (p == p.parent_path()) break;
    }
}

TestCertificates::TestCertificates(std::string folder)
    : folder_(std::move(folder)), ca_(folder_ + "/ca.pem"), caKey_(folder_ + "/ca.key") {
    fs::create_directories(folder_);
    if (RunProgram({"openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes",
                    "-keyout", caKey_, "-out", ca_, "-days", "2", "-subj", "/CN=Tessary Test CA"},
                   folder_ + "/openssl.log") != 0)
        throw std::runtime_error("openssl could not make the test authority");
}

std::pair<std::string, std::string> TestCertificates::Issue(const std::string& name, const std::string& altNames,
                                                             bool ec) const {
    const std::string base = folder_ + "/" + name;
    WriteText(base + ".ext", "subjectAltName=" + altNames + "\n");
    if (RunProgram({"openssl", "req", "-newkey", ec ? "ec" : "rsa:2048", "-pkeyopt",
                    ec ? "ec_paramgen_curve:prime256v1" : "rsa_keygen_pubexp:65537", "-nodes",
                    "-keyout", base + ".key", "-out", base + ".csr", "-subj", "/CN=" + name},
                   folder_ + "/openssl.log") != 0 ||
        RunProgram({"openssl", "x509", "-req", "-in", base + ".csr", "-CA", ca_, "-CAkey", caKey_, "-CAcreateserial",
                    "-out", base + ".pem", "-days", "2", "-extfile", base + ".ext"},
                   folder_ + "/openssl.log") != 0)
        throw std::runtime_error("openssl could not issue " + name);
    return {base + ".pem", base + ".key"};
}

ServerProcess::~ServerProcess() { Stop(); }

std::string ServerProcess::log() const { return fs::exists(logFile_) ? ReadFile(logFile_) : std::string(); }

void ServerProcess::Start(const std::string& what, const std::vector<std::string>& args, const std::string& logFile,
                          const std::function<void(int port)>& configure) {
    logFile_ = logFile;
    // A port found free may be taken before the server binds it: try again.
    for (int attempt = 0; attempt < 3; ++attempt) {
        port_ = FreePort();
        configure(port_);
        pid_ = Spawn(args, {}, logFile, true);
        if (pid_ < 0) throw std::runtime_error("cannot start " + what);
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (std::chrono::steady_clock::now() < deadline) {
            int status = 0;
            if (::waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = -1;
                break;
            }
            if (Accepts(port_)) return;
            ::poll(nullptr, 0, 20);
        }
        Stop();
    }
    throw std::runtime_error(what + " did not start: " + log());
}

void ServerProcess::Stop() {
    if (pid_ > 0) {
        ::kill(-pid_, SIGTERM);
        ::waitpid(pid_, nullptr, 0);
    }
    pid_ = -1;
}

VsftpdServer::VsftpdServer(const std::string& folder, const std::string& root, const std::string& certFile,
                           const std::string& keyFile) {
    fs::create_directories(folder + "/empty");
    const std::string config = folder + "/vsftpd.conf";
    Start("vsftpd", {"/usr/sbin/vsftpd", config}, folder + "/vsftpd.log", [&](int port) {
        WriteText(config, "listen=YES\nlisten_ipv6=NO\nlisten_address=127.0.0.1\nlisten_port=" +
                              std::to_string(port) +
                              "\nbackground=NO\nanonymous_enable=NO\nlocal_enable=YES\nwrite_enable=YES\n"
                              "local_umask=022\npam_service_name=vsftpd\nseccomp_sandbox=NO\n"
                              "secure_chroot_dir=" + folder + "/empty\nlocal_root=" + root +
                              "\nssl_enable=YES\nforce_local_logins_ssl=YES\nforce_local_data_ssl=YES\n"
                              "rsa_cert_file=" + certFile + "\nrsa_private_key_file=" + keyFile +
                              "\nlog_ftp_protocol=YES\nxferlog_enable=YES\nxferlog_std_format=NO\n"
                              "syslog_enable=NO\ndelay_failed_login=0\nvsftpd_log_file=" + folder + "/vsftpd.log\n");
    });
}

SshServer::SshServer(const std::string& folder, const std::string& root) {
    fs::create_directories(folder);
    // sshd's privilege separation needs its folder; Debian makes it at boot.
    fs::create_directories("/run/sshd");
    const std::string key = folder + "/host_key";
    if (!fs::exists(key) && RunProgram({"ssh-keygen", "-q", "-t", "ed25519", "-N", "", "-f", key}) != 0)
        throw std::runtime_error("ssh-keygen failed");
    const std::string config = folder + "/sshd_config";
    Start("sshd", {"/usr/sbin/sshd", "-D", "-e", "-f", config}, folder + "/sshd.log", [&](int port) {
        WriteText(config, "ListenAddress 127.0.0.1\nPort " + std::to_string(port) + "\nHostKey " + key +
                              "\nPidFile none\nUsePAM no\nPasswordAuthentication yes\n"
                              "KbdInteractiveAuthentication no\nPubkeyAuthentication no\nPermitRootLogin no\n"
                              "AllowUsers " + SystemTestAccount().user +
                              "\nAuthorizedKeysFile none\nStrictModes no\nSubsystem sftp internal-sftp\n"
                              "ForceCommand internal-sftp -d " + root + "\nLogLevel VERBOSE\n");
    });
}

std::string SshServer::KeyscanLine() const {
    TempDir out;
    RunProgram({"ssh-keyscan", "-p", std::to_string(port()), "127.0.0.1"}, out / "keys");
    std::istringstream lines(ReadFile(out / "keys"));
    std::string line, keys;
    while (std::getline(lines, line))
        if (!line.empty() && line[0] != '#') keys += line + "\n";
    return keys;
}

}  // namespace testsupport

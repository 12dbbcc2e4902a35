#include "tests/support/SecureServers.h"

#include "ftp/modFTP.h"
#include "tests/support/TempDir.h"

#include <arpa/inet.h>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <poll.h>
#include <pwd.h>
#include <spawn.h>
#include <stdexcept>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace testsupport {
namespace fs = std::filesystem;

namespace {

// Root's own place for the account's password, kept across runs and shared with bench/secure-bench.sh.
const std::string kAccountFolder = "/var/tmp/tessary-test-account";

// Binds (port 0: any free one) or connects a loopback socket; its port, or -1.
int Loopback(int port, bool bindIt) {
    const int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{AF_INET, htons(static_cast<std::uint16_t>(port)), {htonl(INADDR_LOOPBACK)}, {}};
    socklen_t len = sizeof a;
    const bool ok = bindIt ? ::bind(s, reinterpret_cast<sockaddr*>(&a), len) == 0 &&
                                 ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &len) == 0
                           : ::connect(s, reinterpret_cast<sockaddr*>(&a), len) == 0;
    ::close(s);
    return ok ? ntohs(a.sin_port) : -1;
}

}  // namespace

bool Shell(const std::string& command) { return std::system(("(" + command + ") >/dev/null 2>&1").c_str()) == 0; }

std::string SecureServersUnavailable() {
    return ::geteuid() == 0 ? "" : "the FTPS and SFTP servers need root (a system account, sshd's privileges)";
}

const TestAccount& SystemTestAccount() {
    static const TestAccount account = [] {
        const std::string dir = kAccountFolder, user = "tessarytest";
        // Test programs run side by side: one at a time sets the account up.
        if (!Shell("set -e; mkdir -p -m 700 " + dir + "; exec 8>" + dir + "/lock; flock 8; [ -s " + dir +
                   "/password ] || { head -c 18 /dev/urandom | base64 | tr -d '/+=\\n' > " + dir + "/password; chmod 600 " +
                   dir + "/password; }; id " + user + " || useradd --no-create-home --home-dir / --shell /bin/sh " +
                   user + "; printf '%s:%s\\n' " + user + " \"$(cat " + dir + "/password)\" | chpasswd"))
            throw std::runtime_error("cannot set up the test account");
        return TestAccount{user, ReadFile(dir + "/password")};
    }();
    return account;
}

ServerProcess::ServerProcess(const std::vector<std::string>& args, const std::string& configFile,
                             const std::string& logFile, const std::function<std::string(int port)>& config)
    : logFile_(logFile) {
    std::vector<std::string> copy = args;
    std::vector<char*> argv;
    for (auto& a : copy) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_addopen(&fa, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&fa, 1, logFile.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
    posix_spawn_file_actions_adddup2(&fa, 1, 2);
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP);  // its own group: stopping it stops its sessions
    // A port found free may be taken before the server binds it: try again.
    for (int attempt = 0; attempt < 3 && pid_ < 0; ++attempt) {
        port_ = Loopback(0, true);
        WriteFile(configFile, config(port_));
        if (posix_spawn(&pid_, argv[0], &fa, &attr, argv.data(), environ) != 0) break;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (Loopback(port_, false) < 0) {
            if (::waitpid(pid_, nullptr, WNOHANG) == pid_ || std::chrono::steady_clock::now() > deadline) {
                ::kill(-pid_, SIGTERM);
                ::waitpid(pid_, nullptr, 0);
                pid_ = -1;
                break;
            }
            ::poll(nullptr, 0, 20);
        }
    }
    posix_spawn_file_actions_destroy(&fa);
    posix_spawnattr_destroy(&attr);
    if (pid_ < 0) throw std::runtime_error(args[0] + " did not start: " + log());
}

ServerProcess::~ServerProcess() {
    ::kill(-pid_, SIGTERM);
    ::waitpid(pid_, nullptr, 0);
}

std::string ServerProcess::log() const { return fs::exists(logFile_) ? ReadFile(logFile_) : std::string(); }

SecureServers::SecureServers(std::string f) : folder(std::move(f)), root(folder + "/srv"), knownHosts(folder + "/known_hosts") {
    const passwd* user = ::getpwnam(SystemTestAccount().user.c_str());
    fs::create_directories(root);
    if (!user || ::chown(root.c_str(), user->pw_uid, user->pw_gid) != 0) throw std::runtime_error("cannot chown");
    // The account reaches the root through the test's folders above it.
    for (fs::path p = folder; p != fs::temp_directory_path() && p != p.parent_path(); p = p.parent_path())
        fs::permissions(p, fs::perms::others_exec | fs::perms::group_exec, fs::perm_options::add);
}

SecureServers::~SecureServers() {
    ftp::SetCaFileForTesting({});
    ftp::SetKnownHostsFileForTesting({});
}

ServerProcess& SecureServers::StartFtps(const std::string& altNames, bool ec) {
    const std::string d = folder + "/vsftpd/", openssl = "openssl req -nodes -days 2 -keyout " + d;
    fs::create_directories(d + "empty");
    WriteFile(d + "ext", "subjectAltName=" + altNames + "\n");
    if (!Shell(openssl + "ca.key -out " + d + "ca.pem -x509 -newkey rsa:2048 -subj '/CN=Tessary Test CA' && " +
               openssl + "key -out " + d + "csr -subj /CN=server -newkey " + (ec ? "ec -pkeyopt ec_paramgen_curve:prime256v1" : "rsa:2048") +
               " && openssl x509 -req -in " + d + "csr -CA " + d + "ca.pem -CAkey " + d + "ca.key -CAcreateserial -out " +
               d + "cert -days 2 -extfile " + d + "ext"))
        throw std::runtime_error("openssl could not make the test certificates");
    ftp::SetCaFileForTesting(d + "ca.pem");
    ftps = std::make_unique<ServerProcess>(std::vector<std::string>{"/usr/sbin/vsftpd", d + "conf"}, d + "conf",
                                           d + "log", [&](int port) {
        return "listen=YES\nlisten_ipv6=NO\nlisten_address=127.0.0.1\nlisten_port=" + std::to_string(port) +
               "\nbackground=NO\nanonymous_enable=NO\nlocal_enable=YES\nwrite_enable=YES\nlocal_umask=022\n"
               "pam_service_name=vsftpd\nseccomp_sandbox=NO\nsecure_chroot_dir=" + d + "empty\nlocal_root=" + root +
               "\nssl_enable=YES\nforce_local_logins_ssl=YES\nforce_local_data_ssl=YES\nrsa_cert_file=" + d +
               "cert\nrsa_private_key_file=" + d + "key\nlog_ftp_protocol=YES\nsyslog_enable=NO\n"
               "delay_failed_login=0\nvsftpd_log_file=" + d + "log\n";
    });
    return *ftps;
}

ServerProcess& SecureServers::StartSftp() {
    const std::string d = folder + "/sshd/";
    fs::create_directories(d);
    fs::create_directories("/run/sshd");  // its privilege separation needs it; Debian makes it at boot
    if (!Shell("ssh-keygen -q -t ed25519 -N '' -f " + d + "host_key")) throw std::runtime_error("ssh-keygen failed");
    sftp = std::make_unique<ServerProcess>(std::vector<std::string>{"/usr/sbin/sshd", "-D", "-e", "-f", d + "conf"},
                                           d + "conf", d + "log", [&](int port) {
        return "ListenAddress 127.0.0.1\nPort " + std::to_string(port) + "\nHostKey " + d +
               "host_key\nPidFile none\nUsePAM no\nPasswordAuthentication yes\nKbdInteractiveAuthentication no\n"
               "PubkeyAuthentication no\nPermitRootLogin no\nAllowUsers " + SystemTestAccount().user +
               "\nAuthorizedKeysFile none\nStrictModes no\nSubsystem sftp internal-sftp\nForceCommand internal-sftp -d " +
               root + "\nLogLevel VERBOSE\n";
    });
    if (!Shell("ssh-keyscan -p " + std::to_string(sftp->port()) + " 127.0.0.1 > " + knownHosts))
        throw std::runtime_error("ssh-keyscan failed");
    ftp::SetKnownHostsFileForTesting(knownHosts);
    return *sftp;
}

}  // namespace testsupport

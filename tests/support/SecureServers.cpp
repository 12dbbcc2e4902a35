#include "tests/support/SecureServers.h"

#include "ftp/modFTP.h"
#include "tests/support/TempDir.h"

#include <arpa/inet.h>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <poll.h>
#include <pwd.h>
#include <stdexcept>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

namespace testsupport {
namespace fs = std::filesystem;

namespace {

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

// Starts `command` once `config` is written for a free port to <dir>conf; back when the port takes connections.
std::unique_ptr<ServerProcess> Start(const std::string& command, const std::string& dir,
                                     const std::function<std::string(int port)>& config) {
    auto server = std::make_unique<ServerProcess>(-1, 0, dir + "log");
    const std::string line = "exec " + command + " >>" + server->log + " 2>&1";
    // A port found free may be taken before the server binds it: try again.
    for (int attempt = 0; attempt < 3 && server->pid < 0; ++attempt) {
        WriteFile(dir + "conf", config(server->port = Loopback(0, true)));
        const int pid = server->pid = ::fork();
        if (pid == 0) {  // its own process group, so that stopping it stops its sessions
            ::setpgid(0, 0);
            ::execl("/bin/sh", "sh", "-c", line.c_str(), nullptr);
            ::_exit(127);
        }
        ::setpgid(pid, 0);
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (server->pid > 0 && Loopback(server->port, false) < 0 && ::poll(nullptr, 0, 20) == 0)
            if (::waitpid(pid, nullptr, WNOHANG) != 0 || std::chrono::steady_clock::now() > deadline)
                ::kill(-pid, SIGTERM), ::waitpid(pid, nullptr, 0), server->pid = -1;
    }
    if (server->pid < 0) throw std::runtime_error(command + " did not start: " + ReadFile(server->log));
    return server;
}

}  // namespace

void Shell(const std::string& command) {
    if (std::system(("(" + command + ") >/dev/null 2>&1").c_str()) != 0) throw std::runtime_error("failed: " + command);
}

const TestAccount& SystemTestAccount() {
    // Root's own folder keeps the password across runs (bench/secure-bench.sh shares it); the lock lets one
    // test program at a time set the account up.
    static const TestAccount account = [] {
        const std::string dir = "/var/tmp/tessary-test-account", user = "tessarytest";
        Shell("set -e; mkdir -p -m 700 " + dir + "; exec 8>" + dir + "/lock; flock 8; [ -s " + dir +
                   "/password ] || { head -c 18 /dev/urandom | base64 | tr -d '/+=\\n' > " + dir + "/password; " +
                   "chmod 600 " + dir + "/password; }; id " + user + " || useradd --no-create-home --home-dir / " +
                   "--shell /bin/sh " + user + "; printf '%s:%s\\n' " + user + " \"$(cat " + dir + "/password)\" " +
                   "| chpasswd");
        return TestAccount{user, ReadFile(dir + "/password")};
    }();
    return account;
}

ServerProcess::~ServerProcess() {
    if (pid > 0 && ::kill(-pid, SIGTERM) == 0) ::kill(-pid, SIGCONT), ::waitpid(pid, nullptr, 0);  // even stopped
}

SecureServers::SecureServers(std::string f)
    : folder(std::move(f)), root(folder + "/srv"), knownHosts(folder + "/known_hosts") {
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
    const std::string d = folder + "/vsftpd/", req = "openssl req -nodes -days 2 -keyout " + d;
    fs::create_directories(d + "empty");
    WriteFile(d + "ext", "subjectAltName=" + altNames + "\n");
    Shell(req + "ca.key -out " + d + "ca.pem -x509 -newkey rsa:2048 -subj '/CN=Tessary Test CA' && " + req +
               "key -out " + d + "csr -subj /CN=server -newkey " +
               (ec ? "ec -pkeyopt ec_paramgen_curve:prime256v1" : "rsa:2048") + " && openssl x509 -req -in " + d +
               "csr -CA " + d + "ca.pem -CAkey " + d + "ca.key -CAcreateserial -out " + d + "cert -extfile " + d +
               "ext");
    ftp::SetCaFileForTesting(d + "ca.pem");
    ftps = Start("/usr/sbin/vsftpd " + d + "conf", d, [&](int port) {
        return "listen=YES\nlisten_address=127.0.0.1\nlisten_port=" + std::to_string(port) + "\nanonymous_enable=NO\n"
               "local_enable=YES\nwrite_enable=YES\nlocal_umask=022\npam_service_name=vsftpd\nseccomp_sandbox=NO\n"
               "secure_chroot_dir=" + d + "empty\nlocal_root=" + root + "\nssl_enable=YES\nforce_local_logins_ssl=YES\n"
               "force_local_data_ssl=YES\nrsa_cert_file=" + d + "cert\nrsa_private_key_file=" + d + "key\n"
               "log_ftp_protocol=YES\ndelay_failed_login=0\nvsftpd_log_file=" + d + "log\n";
    });
    return *ftps;
}

ServerProcess& SecureServers::StartSftp() {
    const std::string d = folder + "/sshd/";
    fs::create_directories(d);
    fs::create_directories("/run/sshd");  // its privilege separation needs it; Debian makes it at boot
    Shell("ssh-keygen -q -t ed25519 -N '' -f " + d + "host_key");
    sftp = Start("/usr/sbin/sshd -D -e -f " + d + "conf", d, [&](int port) {
        return "ListenAddress 127.0.0.1\nPort " + std::to_string(port) + "\nHostKey " + d + "host_key\nPidFile none\n"
               "UsePAM no\nPasswordAuthentication yes\nKbdInteractiveAuthentication no\nPubkeyAuthentication no\n"
               "AllowUsers " + SystemTestAccount().user + "\nStrictModes no\nForceCommand internal-sftp -d " + root +
               "\nSubsystem sftp internal-sftp\nLogLevel VERBOSE\n";
    });
    Shell("ssh-keyscan -p " + std::to_string(sftp->port) + " 127.0.0.1 > " + knownHosts);
    ftp::SetKnownHostsFileForTesting(knownHosts);
    return *sftp;
}

}  // namespace testsupport

#pragma once
// Real FTPS and SFTP servers on 127.0.0.1 for one test: Debian's vsftpd
// with TLS and a certificate made with `openssl req`, and OpenSSH's sshd
// with a host key of its own. Both log in a system account that the
// fixture makes (root only) and serve the real file system, so a test's
// remote directory is an absolute path under its temporary folder.

#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace testsupport {

// The account both servers log in: created when missing, with a password
// made at random once per machine and kept readable by root only.
struct TestAccount {
    std::string user;
    std::string password;
};
const TestAccount& SystemTestAccount();

// Why the secure servers cannot run here (not root), or empty.
std::string SecureServersUnavailable();

// Runs a program and waits for it; its output goes to `output` when given.
// The exit status, or -1 when it could not be started.
int RunProgram(const std::vector<std::string>& args, const std::string& output = {});

// A test certificate authority and the server certificates it signs.
class TestCertificates {
public:
    explicit TestCertificates(std::string folder);  // makes the authority
    const std::string& caFile() const { return ca_; }
    // A key and a certificate for these subject alternative names
    // ("IP:127.0.0.1,DNS:localhost"), signed by the authority; the pair's
    // file names (certificate, key).
    // `ec` gives an ECDSA key instead of RSA.
    std::pair<std::string, std::string> Issue(const std::string& name, const std::string& altNames,
                                              bool ec = false) const;

private:
    std::string folder_, ca_, caKey_;
};

class ServerProcess {
public:
    ServerProcess() = default;
    ~ServerProcess();
    ServerProcess(const ServerProcess&) = delete;
    ServerProcess& operator=(const ServerProcess&) = delete;

    int port() const { return port_; }
    // What the server wrote to its log so far.
    std::string log() const;

protected:
    // Starts the program on a free loopback port (the config is written by
    // `configure` for that port) and waits until the port takes connections.
    void Start(const std::string& what, const std::vector<std::string>& args, const std::string& logFile,
               const std::function<void(int port)>& configure);

private:
    void Stop();
    int pid_ = -1;
    int port_ = 0;
    std::string logFile_;
};

// vsftpd with ssl_enable=YES, TLS required for logins and data.
class VsftpdServer : public ServerProcess {
public:
    VsftpdServer(const std::string& folder, const std::string& root, const std::string& certFile,
                 const std::string& keyFile);
};

// sshd with password logins for the test account and the internal SFTP
// server only.
class SshServer : public ServerProcess {
public:
    SshServer(const std::string& folder, const std::string& root);
    // The host key line as `ssh-keyscan` gives it for the server's port.
    std::string KeyscanLine() const;
};

// Hands the account the folder (and everything in it), and lets it reach
// the folder through the temporary folders above.
void GiveToTestAccount(const std::string& folder, const std::string& reachableFrom);

}  // namespace testsupport

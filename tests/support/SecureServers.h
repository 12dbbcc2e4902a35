#pragma once
// Real FTPS (vsftpd) and SFTP (sshd) servers on 127.0.0.1 for one test, and the client set to trust them. Both
// log in a system account made here (root only) and serve the real file system, so a remote path is the
// absolute path of a folder under the test's own.

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace testsupport {

struct TestAccount {
    std::string user, password;
};
// Made when missing, its password made at random once per machine and readable by root only.
const TestAccount& SystemTestAccount();
// Why the servers cannot run here (not root), or empty.
std::string SecureServersUnavailable();
// Runs the shell command, its output dropped unless it redirects it; true when it exits 0.
bool Shell(const std::string& command);

// A server program on a free loopback port, stopped with the sessions it forked when it goes.
class ServerProcess {
public:
    // `config` is written for the chosen port before `args` start; returns once the port takes connections.
    ServerProcess(const std::vector<std::string>& args, const std::string& configFile, const std::string& logFile,
                  const std::function<std::string(int port)>& config);
    ~ServerProcess();
    int port() const { return port_; }
    std::string log() const;

private:
    int pid_ = -1, port_ = 0;
    std::string logFile_;
};

// Both servers serving `root` (made and handed to the account) from their folders under `folder`. The client
// trusts the test authority that signed vsftpd's certificate and keeps `knownHosts`, which holds sshd's key;
// both are forgotten when this goes.
class SecureServers {
public:
    explicit SecureServers(std::string folder);
    ~SecureServers();
    // `altNames` ("IP:127.0.0.1,DNS:localhost") go in the certificate; `ec` an ECDSA key instead of RSA.
    ServerProcess& StartFtps(const std::string& altNames = "IP:127.0.0.1", bool ec = false);
    ServerProcess& StartSftp();

    const std::string folder, root, knownHosts;
    std::unique_ptr<ServerProcess> ftps, sftp;
};

}  // namespace testsupport

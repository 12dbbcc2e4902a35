#pragma once
// Real FTPS (vsftpd) and SFTP (sshd) servers on 127.0.0.1 for one test, the client set to trust them. Both log
// in a system account made here (root only) and serve the real file system: remote paths are local ones.

#include <memory>
#include <string>

namespace testsupport {

struct TestAccount {
    std::string user, password;
};
// Made when missing, its password made at random once per machine and readable by root only.
const TestAccount& SystemTestAccount();
// Runs the shell command, its output dropped unless it redirects it; throws when it fails.
void Shell(const std::string& command);

// A server on a free loopback port, writing to `log`; stopped with the sessions it forked when it goes.
struct ServerProcess {
    ~ServerProcess();
    int pid = -1, port = 0;
    std::string log;
};

// Servers of `root` (made and handed to the account) with their files under `folder`. The client trusts the
// test authority that signed vsftpd's certificate and keeps `knownHosts`, which holds sshd's key, until this goes.
class SecureServers {
public:
    explicit SecureServers(std::string folder);
    ~SecureServers();
    // `altNames` ("IP:127.0.0.1,DNS:localhost") go in the certificate; `ec` makes its key ECDSA, not RSA.
    ServerProcess& StartFtps(const std::string& altNames = "IP:127.0.0.1", bool ec = false);
    ServerProcess& StartSftp();

    const std::string folder, root, knownHosts;
    std::unique_ptr<ServerProcess> ftps, sftp;
};

}  // namespace testsupport

// The FTP layer over FTPS (vsftpd) and SFTP (OpenSSH) next to plain FTP,
// all real servers on 127.0.0.1: the same operations and error codes over
// each, whole sync runs, and the refusals of servers that cannot be
// trusted, with nothing sent to them.

#include "ftp/modFTP.h"
#include "store/Store.h"
#include "sync/FtpUploader.h"
#include "sync/SyncRun.h"
#include "tests/support/Fixtures.h"
#include "tests/support/FtpServer.h"
#include "tests/support/SecureServers.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <chrono>
#include <filesystem>
#include <iostream>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#include <map>
#include <tuple>

namespace {

using namespace ftp;
using LogLines = testsupport::LineRecorder;

// Closes the connection it holds when it goes.
struct ConnectionCloser {
    void operator()(FtpSession* s) const { InternetCloseHandle(s); }
};
using Connection = std::unique_ptr<FtpSession, ConnectionCloser>;
using testsupport::ReadFile;
using testsupport::TempDir;
using testsupport::WriteFile;
namespace fs = std::filesystem;

enum class Scheme { Ftp, Ftps, Sftp };
const char* SchemeName(Scheme s) { return s == Scheme::Ftp ? "ftp" : s == Scheme::Ftps ? "ftps" : "sftp"; }
void PrintTo(Scheme s, std::ostream* out) { *out << SchemeName(s); }

// One server of the chosen kind, the account it takes and the folder that
// stands for its root in remote paths.
class SecureTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (const std::string why = testsupport::SecureServersUnavailable(); !why.empty()) GTEST_SKIP() << why;
        session_ = InternetOpen(kAgentName);
    }
    void TearDown() override {
        InternetCloseHandle(session_);
        SetCaFileForTesting({});
        SetKnownHostsFileForTesting({});
    }

    // Plain FTP is the Python test server with its own account; the others
    // log in the system's test account and see the real file system.
    void Serve(Scheme scheme, const std::string& altNames = "IP:127.0.0.1,DNS:localhost",
               testsupport::FtpServer::Options plain = {}, bool ecKey = false) {
        scheme_ = scheme;
        root_ = Dir("srv");
        if (scheme == Scheme::Ftp) {
            plain_ = std::make_unique<testsupport::FtpServer>(root_, plain);
            user_ = "tessary";
            password_ = "secret";
            base_ = "/";
            return;
        }
        user_ = testsupport::SystemTestAccount().user;
        password_ = testsupport::SystemTestAccount().password;
        base_ = root_;
        testsupport::GiveToTestAccount(root_, tmp_.path());
        if (scheme == Scheme::Ftps) {
            certs_ = std::make_unique<testsupport::TestCertificates>(Dir("certs"));
            const auto [cert, key] = certs_->Issue("server", altNames, ecKey);
            vsftpd_ = std::make_unique<testsupport::VsftpdServer>(Dir("vsftpd"), root_, cert, key);
            SetCaFileForTesting(certs_->caFile());
        } else {
            sshd_ = std::make_unique<testsupport::SshServer>(Dir("sshd"), root_);
            knownHosts_ = Dir("known_hosts");
            WriteFile(knownHosts_, sshd_->KeyscanLine());
            SetKnownHostsFileForTesting(knownHosts_);
        }
    }
    int Port() const { return plain_ ? plain_->port() : vsftpd_ ? vsftpd_->port() : sshd_->port(); }
    std::string Host() const { return std::string(SchemeName(scheme_)) + "://127.0.0.1"; }
    FtpSession* Connect() { return InternetConnect(session_, Host(), Port(), user_, password_, INTERNET_FLAG_PASSIVE); }
    std::string ServerLog() const { return vsftpd_ ? vsftpd_->log() : sshd_ ? sshd_->log() : std::string(); }
    std::string Local(const std::string& name, const std::string& content) {
        WriteFile(Dir("local/" + name), content);
        return Dir("local/" + name);
    }

    // The folder a test's files and servers live in.
    std::string Dir(const std::string& name) const { return work_ + "/" + name; }

    TempDir tmp_;
    std::string work_ = tmp_.path();
    InternetSession* session_ = nullptr;
    Scheme scheme_ = Scheme::Ftp;
    std::string root_, base_, user_, password_, knownHosts_;
    std::unique_ptr<testsupport::FtpServer> plain_;
    std::unique_ptr<testsupport::TestCertificates> certs_;
    std::unique_ptr<testsupport::VsftpdServer> vsftpd_;
    std::unique_ptr<testsupport::SshServer> sshd_;
};

class EveryScheme : public SecureTest, public ::testing::WithParamInterface<Scheme> {};

TEST_P(EveryScheme, OperationsBehaveAlike) {
    Serve(GetParam());
    Connection c(Connect());
    ASSERT_TRUE(c) << GetLastError() << " " << InternetErrorMessage(GetLastError()) << InternetGetLastResponseInfo();
    ASSERT_TRUE(FtpSetCurrentDirectory(c.get(), base_));

    // Folders: every missing level, then nothing to do.
    const std::string folder = "new dir/it's \"q\"/deep";
    EXPECT_EQ(FtpCreateDirectory(c.get(), folder), CreateResult::Created);
    EXPECT_EQ(FtpCreateDirectory(c.get(), folder), CreateResult::Existed);
    ASSERT_TRUE(fs::is_directory(root_ + "/" + folder));
    ASSERT_TRUE(FtpSetCurrentDirectory(c.get(), "new dir"));

    // Binary uploads, relative and absolute; rename (replacing) and delete.
    std::string bytes;
    for (int i = 0; i < 256; ++i) bytes += static_cast<char>(i);
    ASSERT_TRUE(FtpPutFile(c.get(), Local("bin", bytes + "\r\n"), "a #1%.bin", FTP_TRANSFER_TYPE_ASCII))
        << GetLastError() << " " << InternetGetLastResponseInfo();
    ASSERT_TRUE(FtpPutFile(c.get(), Local("old", "old"), base_ + "/new dir/b.txt", FTP_TRANSFER_TYPE_BINARY))
        << GetLastError() << " " << InternetGetLastResponseInfo();
    EXPECT_EQ(ReadFile(root_ + "/new dir/a #1%.bin"), bytes + "\r\n");
    ASSERT_TRUE(FtpRenameFile(c.get(), "a #1%.bin", "b.txt")) << GetLastError() << InternetGetLastResponseInfo();
    EXPECT_EQ(ReadFile(root_ + "/new dir/b.txt"), bytes + "\r\n");
    EXPECT_FALSE(fs::exists(root_ + "/new dir/a #1%.bin"));
    ASSERT_TRUE(FtpRenameFile(c.get(), "b.txt", "../c.txt"));
    ASSERT_TRUE(FtpDeleteFile(c.get(), base_ + "/c.txt")) << GetLastError() << InternetGetLastResponseInfo();
    EXPECT_FALSE(fs::exists(root_ + "/c.txt"));

    // Refusals are 12003 with the server's (or libcurl's) text, and the
    // connection goes on.
    const std::vector<std::pair<const char*, std::function<bool()>>> refused{
        {"missing directory", [&] { return FtpSetCurrentDirectory(c.get(), "/does/not/exist"); }},
        {"rename of nothing", [&] { return FtpRenameFile(c.get(), "nothing.txt", "x.txt"); }},
        {"delete of nothing", [&] { return FtpDeleteFile(c.get(), "nothing.txt"); }},
        {"upload into nothing", [&] { return FtpPutFile(c.get(), Local("x", "x"), "/no/such/x.txt", FTP_TRANSFER_TYPE_BINARY); }},
    };
    for (const auto& [what, call] : refused) {
        SCOPED_TRACE(what);
        EXPECT_FALSE(call());
        EXPECT_EQ(GetLastError(), ERROR_INTERNET_EXTENDED_ERROR);
        EXPECT_FALSE(InternetGetLastResponseInfo().empty());
        std::cout << "  " << SchemeName(GetParam()) << ", " << what << ": " << InternetGetLastResponseInfo() << "\n";
    }
    // Names that would split a command are refused before anything is sent.
    EXPECT_FALSE(FtpRenameFile(c.get(), "x\r\nDELE y", "y"));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_NAME);
    EXPECT_FALSE(FtpDeleteFile(c.get(), std::string("y\0z", 3)));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_NAME);
    EXPECT_EQ(FtpCreateDirectory(c.get(), "d\n"), CreateResult::Failed);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_NAME);

    ASSERT_TRUE(FtpPutFile(c.get(), Local("after", "after"), "after.txt", FTP_TRANSFER_TYPE_BINARY))
        << GetLastError() << " " << InternetGetLastResponseInfo();
    EXPECT_EQ(ReadFile(root_ + "/new dir/after.txt"), "after");
    EXPECT_EQ(ServerLog().find(password_), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Schemes, EveryScheme, ::testing::Values(Scheme::Ftp, Scheme::Ftps, Scheme::Sftp),
                         [](const auto& info) { return std::string(SchemeName(info.param)); });

// A whole sync run through the upload session: the server's tree is the
// local one, and no status line holds the password.
class SyncOver : public SecureTest, public ::testing::WithParamInterface<Scheme> {};

TEST_P(SyncOver, WholeRunMirrorsTheTree) {
    Serve(GetParam());
    testsupport::MakeStore(work_);
    testsupport::OpenStoreIn(work_);
    const std::string data = Dir("data");
    const std::map<std::string, std::string> tree{
        {"a.txt", "a\r\n"}, {"sub/b c.bin", std::string("\0\1\2", 3)}, {"sub/deeper/it's.txt", "q"}};
    for (const auto& [name, content] : tree) WriteFile(data + "/" + name, content);
    auto& db = store::StoreConnection();
    db.Execute("insert into mySettings (FTPServer, FTPPort, FTPUser, FTPPassword, FTPDirectory, FTPNotes) values(" +
               store::Quoted(Host()) + ", '" + std::to_string(Port()) + "', " + store::Quoted(user_) + ", " +
               store::Quoted(password_) + ", " + store::Quoted(base_) + ", '')");
    db.Execute("insert into Tessary (Folder, SettingsID, SubDirs) values(" + store::Quoted(data) + ", '" +
               std::to_string(db.LastInsertId()) + "', 'YES')");

    LogLines log;
    syncrun::RunObserver observer;
    syncrun::FtpUploader uploader(observer);
    const auto outcome = syncrun::RunSync(observer, uploader);
    store::StoreConnection().Close();
    EXPECT_TRUE(outcome.clean);
    EXPECT_EQ(outcome.filesSent, 3);
    for (const auto& [name, content] : tree) EXPECT_EQ(ReadFile(root_ + data + "/" + name), content) << name;
    EXPECT_TRUE(log.Has("FTP Info: Directory is changed to " + base_));
    EXPECT_TRUE(log.Matching(password_).empty());
}

// A wrong password is the server's refusal, with its text (libcurl's for
// SFTP) and never the password; a server that says nothing times out.
TEST_P(SyncOver, WrongPasswordAndSilentServer) {
    Serve(GetParam());
    password_ = "Wr0ng-" + password_;
    Connection refused(Connect());
    ASSERT_FALSE(refused);
    EXPECT_EQ(GetLastError(), ERROR_INTERNET_EXTENDED_ERROR);
    LogLines log;
    ReportInternetError(GetLastError(), "InternetConnect");
    ASSERT_EQ(log.Lines().size(), 2u);
    EXPECT_EQ(log.Lines()[1], "Extended Info: " + InternetGetLastResponseInfo());
    EXPECT_GT(log.Lines()[1].size(), std::string("Extended Info: ").size());
    EXPECT_TRUE(log.Matching(password_).empty());

    // Connected, and then not a byte: no greeting, no SSH banner.
    const int silent = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    ASSERT_EQ(::bind(silent, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    ASSERT_EQ(::listen(silent, 4), 0);
    ASSERT_EQ(::getsockname(silent, reinterpret_cast<sockaddr*>(&a), &len), 0);
    SetTimeoutsForTesting({std::chrono::milliseconds(800), std::chrono::milliseconds(800), std::chrono::milliseconds(800)});
    const auto start = std::chrono::steady_clock::now();
    Connection hung(InternetConnect(session_, Host(), ntohs(a.sin_port), user_, password_, 0));
    EXPECT_FALSE(hung);
    EXPECT_EQ(GetLastError(), ERROR_INTERNET_TIMEOUT);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    SetTimeoutsForTesting({});
    ::close(silent);
}

INSTANTIATE_TEST_SUITE_P(Schemes, SyncOver, ::testing::Values(Scheme::Ftps, Scheme::Sftp),
                         [](const auto& info) { return std::string(SchemeName(info.param)); });

// Servers that cannot be trusted: the connection fails with one line that
// names the reason, before the user name or password is sent.
TEST_F(SecureTest, UntrustedServersAreRefusedBeforeTheLogin) {
    struct Case {
        const char* what;
        std::uint32_t code;
        std::string says;
    };
    const Case cases[] = {
        {"untrusted certificate", ERROR_INTERNET_INVALID_CA, "SSL certificate problem: unable to get local issuer"},
        {"certificate of another host", ERROR_INTERNET_SEC_CERT_CN_INVALID, "'127.0.0.1'"},
        {"plain server named ftps://", ERROR_INTERNET_SECURITY_CHANNEL_ERROR, "the server does not offer TLS (5"},
        {"unknown host key", ERROR_INTERNET_SEC_INVALID_CERT, " is not in "},
        {"changed host key", ERROR_INTERNET_SEC_INVALID_CERT, " differs from the key "},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string what = c.what;
        work_ = tmp_ / std::to_string(&c - cases);
        testsupport::FtpServer::Options logging;
        logging.logCommands = true;
        if (what == "untrusted certificate") {
            Serve(Scheme::Ftps);
            SetCaFileForTesting({});  // the system's store knows no test authority
        } else if (what == "certificate of another host") {
            Serve(Scheme::Ftps, "DNS:other.example");
        } else if (what == "plain server named ftps://") {
            Serve(Scheme::Ftp, {}, logging);
            scheme_ = Scheme::Ftps;
        } else if (what == "unknown host key") {
            Serve(Scheme::Sftp);
            fs::remove(knownHosts_);  // a user who never used ssh
        } else {
            Serve(Scheme::Sftp);
            testsupport::RunProgram({"ssh-keygen", "-q", "-t", "ed25519", "-N", "", "-f", Dir("other")});
            WriteFile(knownHosts_, "[127.0.0.1]:" + std::to_string(Port()) + " " + ReadFile(Dir("other.pub")));
        }
        Connection refused(Connect());
        ASSERT_FALSE(refused);
        EXPECT_EQ(GetLastError(), c.code);

        LogLines log;
        ReportInternetError(GetLastError(), "InternetConnect");
        ASSERT_EQ(log.Lines().size(), 1u);
        const std::string line = log.Lines()[0];
        EXPECT_EQ(line, "FTP Info: InternetConnect error code: " + std::to_string(c.code) +
                            " Message: " + InternetErrorMessage(c.code));
        EXPECT_NE(line.find(c.says), std::string::npos) << line;
        EXPECT_EQ(line.find(password_), std::string::npos);
        std::cout << "  " << line;

        // Nothing of the login reached the server.
        if (plain_) {
            for (const auto& command : plain_->commands()) {
                EXPECT_NE(command.rfind("USER", 0), 0u) << command;
                EXPECT_NE(command.rfind("PASS", 0), 0u) << command;
            }
        }
        EXPECT_EQ(ServerLog().find("USER"), std::string::npos) << ServerLog();
        EXPECT_EQ(ServerLog().find("password"), std::string::npos) << ServerLog();
        EXPECT_TRUE(fs::is_empty(root_));

        // The line says how to accept a key; doing so lets the login in.
        if (scheme_ == Scheme::Sftp) {
            const std::size_t at = line.find("with: ssh-keyscan ");
            ASSERT_NE(at, std::string::npos);
            std::string command = line.substr(at + 6);
            command.pop_back();
            EXPECT_EQ(command, "ssh-keyscan -p " + std::to_string(Port()) + " 127.0.0.1 >> " + knownHosts_);
            if (what == "changed host key") WriteFile(knownHosts_, "");
            testsupport::RunProgram({"sh", "-c", command});
            Connection accepted(Connect());
            EXPECT_TRUE(accepted) << GetLastError() << " " << InternetErrorMessage(GetLastError());
        }
        plain_.reset();
        vsftpd_.reset();
        sshd_.reset();
    }
}

// vsftpd offers no TLS 1.2 cipher for an ECDSA key: the login goes on
// over TLS 1.3.
TEST_F(SecureTest, ServerWithoutTls12GetsTls13) {
    Serve(Scheme::Ftps, "IP:127.0.0.1", {}, true);
    Connection c(Connect());
    ASSERT_TRUE(c) << GetLastError() << " " << InternetErrorMessage(GetLastError());
    ASSERT_TRUE(FtpSetCurrentDirectory(c.get(), base_));
    ASSERT_TRUE(FtpPutFile(c.get(), Local("a", "a"), "a.txt", FTP_TRANSFER_TYPE_BINARY));
    EXPECT_EQ(ReadFile(root_ + "/a.txt"), "a");
}

TEST(SecurePort, TheSchemeChoosesTheDefaultPort) {
    const std::tuple<const char*, const char*, int> cases[] = {
        {"", "sftp://host", 22},      {"abc", "SFTP://host", 22}, {"2222", "sftp://host", 2222},
        {"", "ftps://host", 21},      {"990", "ftps://host", 990}, {"", "host", 21},
        {"0", "ftp://host", 21},      {"65536", "sftp://h", 22},
    };
    for (const auto& [port, host, expected] : cases) EXPECT_EQ(PortFromProfile(port, host), expected) << host;

    InternetSession* session = InternetOpen(kAgentName);
    EXPECT_EQ(InternetConnect(session, "http://127.0.0.1", 0, "u", "p", 0), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_INTERNET_UNRECOGNIZED_SCHEME);
    InternetCloseHandle(session);
}

}  // namespace

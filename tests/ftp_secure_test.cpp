// The FTP layer over FTPS (vsftpd) and SFTP (sshd) next to plain FTP, real servers on 127.0.0.1: the same operations
// and errors, whole sync runs, and the refusals of servers not to be trusted. The editor's connection test takes
// the same calls whatever the scheme: its boxes and lines are proven over plain FTP.

#include "ftp/modFTP.h"
#include "store/Store.h"
#include "sync/FtpUploader.h"
#include "sync/Restore.h"
#include "sync/Manifest.h"
#include "sync/SyncRun.h"
#include "tests/support/Fixtures.h"
#include "tests/support/FtpServer.h"
#include "tests/support/SecureServers.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>

#include <csignal>
#include <filesystem>
#include <unistd.h>
#include <utime.h>

namespace {

using namespace ftp;
using namespace std::chrono_literals;
using Names = testing::PrintToStringParamName;
using namespace testsupport;
namespace fs = std::filesystem;
using Connection = std::unique_ptr<FtpSession, void (*)(FtpSession*)>;

enum class Scheme { Ftp, Ftps, Sftp };
void PrintTo(Scheme s, std::ostream* out) { *out << (s == Scheme::Ftp ? "ftp" : s == Scheme::Ftps ? "ftps" : "sftp"); }

// One server of the chosen kind, the account it takes and the remote path of its root.
class SecureTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (::geteuid() != 0) GTEST_SKIP() << "the servers need root: a system account, sshd's privileges";
    }
    ~SecureTest() override { InternetCloseHandle(session_); }
    // Plain FTP is the Python test server with its own account; the others log in the system's test account.
    void Serve(Scheme scheme, const std::string& altNames = "IP:127.0.0.1", bool ec = false) {
        scheme_ = scheme;
        plain_.reset(), servers_.reset(), server_ = nullptr;  // the trust settings go with the servers
        servers_ = std::make_unique<SecureServers>(tmp_ / std::to_string(++serves_));
        root_ = base_ = servers_->root;
        user_ = SystemTestAccount().user, password_ = SystemTestAccount().password;
        if (scheme != Scheme::Ftp) {
            server_ = scheme == Scheme::Ftps ? &servers_->StartFtps(altNames, ec) : &servers_->StartSftp();
            return void(port_ = server_->port);
        }
        plain_ = std::make_unique<FtpServer>(root_, FtpServer::Options{.logCommands = true});
        port_ = plain_->port(), user_ = "tessary", password_ = "secret", base_ = "/";
    }
    std::string Host() const { return testing::PrintToString(scheme_) + "://127.0.0.1"; }
    Connection Connect() {
        return {InternetConnect(session_, Host(), port_, user_, password_, INTERNET_FLAG_PASSIVE),
                [](FtpSession* s) { InternetCloseHandle(s); }};
    }
    std::string ServerLog() const { return server_ ? ReadFile(server_->log) : std::string(); }
    std::string Local(const std::string& name, const std::string& content) const {
        return WriteFile(tmp_ / name, content), tmp_ / name;
    }
    TempDir tmp_;
    int serves_ = 0, port_ = 0;
    InternetSession* session_ = InternetOpen(kAgentName);
    Scheme scheme_ = Scheme::Ftp;
    std::string root_, base_, user_, password_;
    std::unique_ptr<SecureServers> servers_;
    std::unique_ptr<FtpServer> plain_;
    ServerProcess* server_ = nullptr;
};

struct EveryScheme : SecureTest, ::testing::WithParamInterface<Scheme> {};

TEST_P(EveryScheme, OperationsBehaveAlike) {
    Serve(GetParam());
    const Connection c = Connect();
    FtpSession* s = c.get();
    ASSERT_TRUE(c) << InternetErrorMessage(GetLastError()) << InternetGetLastResponseInfo();
    ASSERT_TRUE(FtpSetCurrentDirectory(s, base_));
    // Folders: every missing level, then nothing to do.
    EXPECT_EQ(FtpCreateDirectory(s, "new dir/it's \"q\"/deep"), CreateResult::Created);
    EXPECT_EQ(FtpCreateDirectory(s, "new dir/it's \"q\"/deep"), CreateResult::Existed);
    EXPECT_TRUE(fs::is_directory(root_ + "/new dir/it's \"q\"/deep"));
    ASSERT_TRUE(FtpSetCurrentDirectory(s, "new dir"));
    // Uploads are binary even when asked for ASCII, by relative and absolute names; a rename replaces what is
    // there; delete.
    std::string bytes = "\r\n";
    for (int i = 0; i < 256; ++i) bytes += static_cast<char>(i);
    ASSERT_TRUE(FtpPutFile(s, Local("bin", bytes), "a #1%.bin", FTP_TRANSFER_TYPE_ASCII));
    ASSERT_TRUE(FtpPutFile(s, Local("old", "old"), base_ + "/new dir/b.txt", FTP_TRANSFER_TYPE_BINARY));
    ASSERT_TRUE(FtpRenameFile(s, "a #1%.bin", "b.txt")) << InternetGetLastResponseInfo();
    EXPECT_EQ(ReadFile(root_ + "/new dir/b.txt"), bytes);
    EXPECT_FALSE(fs::exists(root_ + "/new dir/a #1%.bin"));
    std::vector<std::string> names;  // names only, however the server lists them
    ASSERT_TRUE(FtpListNames(s, ".", names)) << InternetGetLastResponseInfo();
    std::ranges::sort(names);
    EXPECT_EQ(names, (std::vector<std::string>{"b.txt", "it's \"q\""}));
    ASSERT_TRUE(FtpRenameFile(s, "b.txt", "../c.txt"));
    ASSERT_TRUE(FtpDeleteFile(s, base_ + "/c.txt")) << InternetGetLastResponseInfo();
    EXPECT_FALSE(fs::exists(root_ + "/c.txt"));
    // Refusals are 12003 with the server's (or libcurl's) text; names that would split a command are refused
    // before anything is sent. The connection goes on.
    const std::pair<std::uint32_t, std::function<bool()>> refused[] = {
        {ERROR_INTERNET_EXTENDED_ERROR, [&] { return FtpSetCurrentDirectory(s, "/does/not/exist"); }},
        {ERROR_INTERNET_EXTENDED_ERROR, [&] { return FtpRenameFile(s, "nothing.txt", "x.txt"); }},
        {ERROR_INTERNET_EXTENDED_ERROR, [&] { return FtpDeleteFile(s, "nothing.txt"); }},
        {ERROR_INTERNET_EXTENDED_ERROR,
         [&] { return FtpPutFile(s, Local("x", "x"), "/no/such/x.txt", FTP_TRANSFER_TYPE_BINARY); }},
        {ERROR_INVALID_NAME, [&] { return FtpRenameFile(s, "x\r\nDELE y", "y"); }},
        {ERROR_INVALID_NAME, [&] { return FtpDeleteFile(s, std::string("y\0z", 3)); }},
        {ERROR_INVALID_NAME, [&] { return FtpCreateDirectory(s, "d\n") != CreateResult::Failed; }},
    };
    for (const auto& r : refused) {
        SCOPED_TRACE(&r - refused);
        EXPECT_FALSE(r.second());
        EXPECT_EQ(GetLastError(), r.first);
        EXPECT_TRUE(r.first == ERROR_INVALID_NAME || !InternetGetLastResponseInfo().empty());
    }
    ASSERT_TRUE(FtpPutFile(s, Local("after", "after"), "after.txt", FTP_TRANSFER_TYPE_BINARY));
    EXPECT_EQ(ReadFile(root_ + "/new dir/after.txt"), "after");
}

INSTANTIATE_TEST_SUITE_P(Schemes, EveryScheme, testing::Values(Scheme::Ftp, Scheme::Ftps, Scheme::Sftp), Names());

struct SyncOver : SecureTest, ::testing::WithParamInterface<Scheme> {};

// A whole run mirrors the tree and a restore brings it back; a wrong password is the server's refusal with its text (libcurl's for SFTP); a
// server that says nothing (stopped: no greeting, no SSH banner) times out. No line holds a password.
TEST_P(SyncOver, WholeRunMirrorsTheTreeAndWrongPasswordOrSilenceFail) {
    Serve(GetParam());
    MakeStore(tmp_.path()), OpenStoreIn(tmp_.path());
    const std::string data = tmp_ / "data";
    const Tree tree{{"a.txt", "a\r\n"}, {"sub/b c.bin", {"\0\1\2", 3}}, {"sub/deeper/it's.txt", "q"}};
    for (const auto& [name, content] : tree) WriteFile(data + "/" + name, content);
    AddJob(data, AddProfile(port_, password_, base_, Host()));
    store::StoreConnection().Execute("update mySettings set FTPUser = " + store::Quoted(user_));
    LineRecorder log;
    syncrun::RunObserver observer;
    syncrun::HashPool pool;
    const auto connect = [] { return std::make_unique<syncrun::FtpUploader>(); };
    EXPECT_TRUE(syncrun::RunSync(observer, connect, pool, syncrun::CurrentStore()).clean);
    // Back into an empty folder, every file checked, with the times the server keeps.
    const std::string back = tmp_ / "back";
    const utimbuf then{1'000'000'000, 1'000'000'000};
    ASSERT_EQ(::utime((root_ + data + "/sub/b c.bin").c_str(), &then), 0);
    EXPECT_TRUE(syncrun::RunRestore(observer, connect, syncrun::CurrentStore(), data, back).clean)
        << testing::PrintToString(log.Lines());
    EXPECT_EQ(ReadTree(back), tree);
    EXPECT_EQ(std::chrono::file_clock::to_sys(fs::last_write_time(back + "/sub/b c.bin")),
              std::chrono::sys_seconds(1'000'000'000s));
    store::StoreConnection().Close();
    Tree landed = ReadTree(root_ + data);
    EXPECT_EQ(landed.erase(syncrun::kManifestName), 1u);
    EXPECT_EQ(landed, tree);
    password_ = "Wr0ng-" + password_;
    ASSERT_FALSE(Connect());
    EXPECT_EQ(GetLastError(), ERROR_INTERNET_EXTENDED_ERROR);
    EXPECT_FALSE(InternetGetLastResponseInfo().empty());
    ReportInternetError(GetLastError(), "InternetConnect");
    EXPECT_TRUE(log.Matching(SystemTestAccount().password).empty()) << "nor the wrong one, which holds it";
    ::kill(-server_->pid, SIGSTOP);  // the kernel still takes connections
    SetTimeoutsForTesting({800ms, 800ms, 800ms});
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(Connect());
    EXPECT_EQ(GetLastError(), ERROR_INTERNET_TIMEOUT);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
    SetTimeoutsForTesting({});
    ::kill(-server_->pid, SIGCONT);
}

INSTANTIATE_TEST_SUITE_P(Schemes, SyncOver, testing::Values(Scheme::Ftps, Scheme::Sftp), Names());

// Servers that cannot be trusted: the connection fails with one line that names the reason, before anything of
// the login is sent.
TEST_F(SecureTest, UntrustedServersAreRefusedBeforeTheLogin) {
    const std::tuple<const char*, std::function<void()>, std::uint32_t, const char*> cases[] = {
        {"untrusted certificate", [&] { Serve(Scheme::Ftps), SetCaFileForTesting({}); },  // as the system's store
         ERROR_INTERNET_INVALID_CA, "SSL certificate problem: unable to get local issuer"},
        {"certificate of another host", [&] { Serve(Scheme::Ftps, "DNS:other.example"); },
         ERROR_INTERNET_SEC_CERT_CN_INVALID, "'127.0.0.1'"},
        {"plain server named ftps://", [&] { Serve(Scheme::Ftp), scheme_ = Scheme::Ftps; },
         ERROR_INTERNET_SECURITY_CHANNEL_ERROR, "the server does not offer TLS (5"},
        {"unknown host key", [&] { Serve(Scheme::Sftp), fs::remove(servers_->knownHosts); },
         ERROR_INTERNET_SEC_INVALID_CERT, " is not in "},
        {"changed host key", [&] {
             Serve(Scheme::Sftp), Shell("ssh-keygen -q -t ed25519 -N '' -f " + tmp_ / "k");
             WriteFile(servers_->knownHosts, "[127.0.0.1]:" + std::to_string(port_) + " " + ReadFile(tmp_ / "k.pub"));
         }, ERROR_INTERNET_SEC_INVALID_CERT, " differs from the key "},
    };
    for (const auto& [what, serve, code, says] : cases) {
        SCOPED_TRACE(what);
        serve();
        ASSERT_FALSE(Connect());
        EXPECT_EQ(GetLastError(), code);
        LineRecorder log;
        ReportInternetError(GetLastError(), "InternetConnect");
        ASSERT_EQ(log.Lines().size(), 1u);
        const std::string line = log.Lines()[0];
        EXPECT_NE(line.find(says), std::string::npos) << line;
        // Nothing of the login reached the server.
        for (const auto& command : plain_ ? plain_->commands() : std::vector<std::string>())
            EXPECT_TRUE(command.rfind("USER", 0) != 0 && command.rfind("PASS", 0) != 0) << command;
        EXPECT_TRUE(ServerLog().find("USER") == std::string::npos && ServerLog().find("password") == std::string::npos)
            << ServerLog();
        EXPECT_TRUE(fs::is_empty(root_));
        // The line says how to accept the key; doing so lets the login in.
        if (scheme_ != Scheme::Sftp) continue;
        const std::string accept = "ssh-keyscan -p " + std::to_string(port_) + " 127.0.0.1 >> " + servers_->knownHosts;
        EXPECT_NE(line.find("with: " + accept), std::string::npos) << line;
        WriteFile(servers_->knownHosts, "");
        Shell(accept);
        EXPECT_TRUE(Connect()) << InternetErrorMessage(GetLastError());
    }
}

// vsftpd offers no TLS 1.2 cipher for an ECDSA key: the login and transfers go on over TLS 1.3, past the two
// data connections a login's session tickets allow.
TEST_F(SecureTest, ServerWithoutTls12GetsTls13) {
    Serve(Scheme::Ftps, "IP:127.0.0.1", true);
    const Connection c = Connect();
    ASSERT_TRUE(c) << InternetErrorMessage(GetLastError());
    for (const std::string name : {"a", "b", "c", "d", "e"})
        ASSERT_TRUE(FtpPutFile(c.get(), Local(name, name), base_ + "/" + name, FTP_TRANSFER_TYPE_BINARY))
            << name << ": " << InternetGetLastResponseInfo();
    std::vector<std::string> names;
    ASSERT_TRUE(FtpListNames(c.get(), base_, names)) << InternetGetLastResponseInfo();
    EXPECT_EQ(names.size(), 5u);
    EXPECT_EQ(ReadFile(root_ + "/e"), "e");
}

}  // namespace

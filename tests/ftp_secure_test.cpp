// The FTP layer over FTPS (vsftpd) and SFTP (OpenSSH) next to plain FTP,
// all real servers on 127.0.0.1: the same operations and error codes over
// each, whole sync runs, and the refusals of servers that cannot be
// trusted, with nothing sent to them.

#include "ftp/UploadSession.h"
#include "ftp/modFTP.h"
#include "store/Store.h"
#include "sync/SyncRun.h"
#include "tests/ftp_support.h"
#include "tests/support/FtpServer.h"
#include "tests/support/SecureServers.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>

namespace {

using namespace ftp;
using ftptest::Connection;
using ftptest::LogLines;
using testsupport::ReadFile;
using testsupport::TempDir;
using testsupport::WriteFile;
namespace fs = std::filesystem;

enum class Scheme { Ftp, Ftps, Sftp };
const char* SchemeName(Scheme s) { return s == Scheme::Ftp ? "ftp" : s == Scheme::Ftps ? "ftps" : "sftp"; }

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
               testsupport::FtpServer::Options plain = {}) {
        scheme_ = scheme;
        root_ = tmp_ / "srv";
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
            certs_ = std::make_unique<testsupport::TestCertificates>(tmp_ / "certs");
            const auto [cert, key] = certs_->Issue("server", altNames);
            vsftpd_ = std::make_unique<testsupport::VsftpdServer>(tmp_ / "vsftpd", root_, cert, key);
            SetCaFileForTesting(certs_->caFile());
        } else {
            sshd_ = std::make_unique<testsupport::SshServer>(tmp_ / "sshd", root_);
            knownHosts_ = tmp_ / "known_hosts";
            WriteFile(knownHosts_, sshd_->KeyscanLine());
            SetKnownHostsFileForTesting(knownHosts_);
        }
    }
    int Port() const { return plain_ ? plain_->port() : vsftpd_ ? vsftpd_->port() : sshd_->port(); }
    std::string Host() const { return std::string(SchemeName(scheme_)) + "://127.0.0.1"; }
    FtpSession* Connect() { return InternetConnect(session_, Host(), Port(), user_, password_, INTERNET_FLAG_PASSIVE); }
    std::string ServerLog() const { return vsftpd_ ? vsftpd_->log() : sshd_ ? sshd_->log() : std::string(); }
    std::string Local(const std::string& name, const std::string& content) {
        WriteFile(tmp_ / ("local/" + name), content);
        return tmp_ / ("local/" + name);
    }

    TempDir tmp_;
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
        {"upload into nothing", [&] { return FtpPutFile(c.get(), Local("x", "x"), "/no/such/x.txt", 2); }},
    };
    for (const auto& [what, call] : refused) {
        SCOPED_TRACE(what);
        EXPECT_FALSE(call());
        EXPECT_EQ(GetLastError(), ERROR_INTERNET_EXTENDED_ERROR);
        EXPECT_FALSE(InternetGetLastResponseInfo().empty());
    }
    // Names that would split a command are refused before anything is sent.
    const std::string broken = std::string("x\r\nDELE y");
    EXPECT_FALSE(FtpRenameFile(c.get(), broken, "y"));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_NAME);
    EXPECT_FALSE(FtpDeleteFile(c.get(), std::string("y\0z", 3)));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_NAME);
    EXPECT_FALSE(FtpCreateDirectory(c.get(), "d\n") == CreateResult::Created);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_NAME);

    ASSERT_TRUE(FtpPutFile(c.get(), Local("after", "after"), "after.txt", FTP_TRANSFER_TYPE_BINARY));
    EXPECT_EQ(ReadFile(root_ + "/new dir/after.txt"), "after");
    EXPECT_EQ(ServerLog().find(password_), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Schemes, EveryScheme, ::testing::Values(Scheme::Ftp, Scheme::Ftps, Scheme::Sftp),
                         [](const auto& info) { return std::string(SchemeName(info.param)); });

}  // namespace

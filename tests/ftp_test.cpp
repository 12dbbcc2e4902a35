// The FTP client against a real server on loopback (names and bytes as sent on one login, passive
// refused, line breaks refused, failures with their codes, servers that stop answering), and a job's
// uploads through syncrun::FtpUploader over a real store: its lines, the remote directory as a floor,
// and each way a job or a file fails to go out.

#include "ftp/FtpPaths.h"
#include "ftp/modFTP.h"
#include "base/StatusLog.h"
#include "store/Store.h"
#include "sync/FtpUploader.h"
#include "store/Jobs.h"
#include "tests/support/Fixtures.h"
#include "tests/support/FtpServer.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <random>

namespace {

using namespace ftp;
using namespace std::chrono_literals;
using testsupport::FtpServer;
namespace fs = std::filesystem;
using Lines = std::vector<std::string>;
using Connection = std::unique_ptr<FtpSession, decltype([](FtpSession* c) { InternetCloseHandle(c); })>;

class FtpClient : public ::testing::Test {
public:
    void Serve(const FtpServer::Options& o = {}) { server_ = std::make_unique<FtpServer>(tmp_ / "root", o); }
    void TearDown() override {
        InternetCloseHandle(session_);
        SetTimeoutsForTesting(Timeouts{});
    }
    Connection Connect(const std::string& password = "secret", const std::string& host = "127.0.0.1", int port = 0) {
        return Connection(InternetConnect(session_, host, port ? port : server_->port(), "tessary", password,
                                          INTERNET_FLAG_PASSIVE));
    }
    bool Put(FtpSession* c, const std::string& path, const std::string& content) {
        testsupport::WriteFile(tmp_ / "local", content);
        return FtpPutFile(c, tmp_ / "local", path, FTP_TRANSFER_TYPE_ASCII);
    }
    std::string Remote(const std::string& path) const { return testsupport::ReadFile(server_->root() + "/" + path); }
    testsupport::TempDir tmp_;
    std::unique_ptr<FtpServer> server_;
    InternetSession* session_ = InternetOpen(kAgentName);
};

// Passive refused, every upload goes active on the one login once EPSV and PASV have each been asked.
TEST_F(FtpClient, NamesAndBytesArriveUnchangedOnOneLoginWithPassiveRefused) {
    Serve({.noPassive = true, .logCommands = true});
    Connection c = Connect();
    ASSERT_TRUE(c) << GetLastError();
    const std::string names[] = {" leading and trailing ", "it's", "hash#tag", "a%20b", "what?", "x;type=a",
                                 "plus+and&amp=", "Grüße", "日本語のファイル", "[brackets]{}", "~tilde@at!"};
    for (const auto& name : names) {
        ASSERT_EQ(FtpCreateDirectory(c.get(), "dir " + name + "/"), CreateResult::Created) << name;
        ASSERT_TRUE(Put(c.get(), "dir " + name + "/" + name, name)) << name << " " << InternetGetLastResponseInfo();
        EXPECT_EQ(Remote("dir " + name + "/" + name), name);
    }
    EXPECT_EQ(testsupport::ReadTree(server_->root()).size(), std::size(names)) << "nothing under a changed name";
    std::string random(3 * 1024 * 1024 + 17, '\0');
    std::mt19937 gen(7);
    for (auto& ch : random) ch = static_cast<char>(gen());
    // An ASCII transfer asked for is sent binary all the same.
    for (const std::string& content : {std::string("one\r\ntwo\nthree\r\r\n\0tail", 23), std::string(), random}) {
        ASSERT_TRUE(Put(c.get(), "bytes", content));
        EXPECT_EQ(Remote("bytes"), content);
    }
    int passive = 0, active = 0;
    for (const auto& command : server_->commands()) {
        passive += command.starts_with("EPSV") || command.starts_with("PASV");
        active += command.starts_with("EPRT") || command.starts_with("PORT");
    }
    EXPECT_EQ(passive, 2);
    EXPECT_EQ(active, std::size(names) + 3);
    EXPECT_EQ(server_->logins(), 1);
}

// Folders are looked for from the deepest level up, so a new one costs the same at any depth; in a folder
// just made, the MKD alone (and a CWD when it is there after all); above a folder found, nothing.
TEST_F(FtpClient, FoldersAreLookedForFromTheDeepestLevelUp) {
    Serve({.logCommands = true});
    for (const char* there : {"/a/b/c", "/p/q"}) fs::create_directories(server_->root() + there);
    Connection c = Connect();
    using V = std::vector<std::string>;
    const struct { const char* folder; bool parentMade; CreateResult result; V commands; } cases[] = {
        {"/a/b/c/d", false, CreateResult::Created, {"CWD /a/b/c/d", "CWD /a/b/c", "MKD /a/b/c/d"}},
        {"/a/b/c/d/e", true, CreateResult::Created, {"MKD /a/b/c/d/e"}},
        {"/a", false, CreateResult::Existed, {}},
        {"/x/y", false, CreateResult::Created, {"CWD /x/y", "CWD /x", "MKD /x", "MKD /x/y"}},
        {"/p/q", true, CreateResult::Existed, {"MKD /p/q", "CWD /p/q"}},
    };
    for (const auto& test : cases) {
        const std::size_t before = server_->commands().size();
        EXPECT_EQ(FtpCreateDirectory(c.get(), test.folder, test.parentMade), test.result) << test.folder;
        const V all = server_->commands();
        EXPECT_EQ(V(all.begin() + before, all.end()), test.commands) << test.folder;
        EXPECT_TRUE(fs::is_directory(server_->root() + test.folder)) << test.folder;
    }
}

// A name that would split a command (CR, LF or NUL) is refused before anything is sent; a server that
// stops answering is given up within the shortened timeouts.
TEST_F(FtpClient, FailuresCarryTheirCodeAndReplyAndLineBreaksNeverReachTheServer) {
    Serve({.logCommands = true});
    SetTimeoutsForTesting(Timeouts{1s, 1s, 1s});
    const int closed = FtpServer(tmp_ / "gone").port();  // a port that was just free
    FtpServer silentPass(tmp_ / "pass", {.silentOn = "PASS"}), silentCwd(tmp_ / "cwd", {.silentOn = "CWD"});
    FtpServer silentQuit(tmp_ / "quit", {.silentOn = "QUIT"});
    using Attempt = std::function<bool(FtpClient&)>;
    const auto put = [](FtpClient& t, const std::string& local) {
        return FtpPutFile(t.Connect().get(), local, "x", FTP_TRANSFER_TYPE_BINARY);
    };
    const auto start = std::chrono::steady_clock::now();
    // Other refusals of the server (550, 553) and their lines are the runs' and the job connection's.
    const std::tuple<std::uint32_t, const char*, Attempt> cases[] = {  // the start of "Extended Info: " if any
        {ERROR_INTERNET_EXTENDED_ERROR, "530 ", [](FtpClient& t) { return !!t.Connect("Wr0ng-Pa55"); }},
        {ERROR_INTERNET_CANNOT_CONNECT, nullptr,
         [&](FtpClient& t) { return !!t.Connect("secret", "127.0.0.1", closed); }},
        {ERROR_INTERNET_NAME_NOT_RESOLVED, nullptr, [](FtpClient& t) { return !!t.Connect("secret", "no such/host"); }},
        {ERROR_FILE_NOT_FOUND, nullptr, [&](FtpClient& t) { return put(t, t.tmp_ / "none"); }},
        {ERROR_ACCESS_DENIED, nullptr, [&](FtpClient& t) { return put(t, t.tmp_.path()); }},  // a local folder
        {ERROR_INVALID_HANDLE, nullptr, [](FtpClient& t) { return t.Put(nullptr, "x", "x"); }},
        {ERROR_INVALID_NAME, nullptr, [](FtpClient& t) { return t.Put(t.Connect().get(), "evil\nDELE ok", "x"); }},
        {ERROR_INVALID_NAME, nullptr, [](FtpClient& t) {
             return FtpCreateDirectory(t.Connect().get(), "evil\r\nDELE ok/") != CreateResult::Failed;
         }},
        {ERROR_INVALID_NAME, nullptr,
         [](FtpClient& t) { return FtpSetCurrentDirectory(t.Connect().get(), "cr\ronly"); }},
        {ERROR_INVALID_NAME, nullptr,
         [](FtpClient& t) { return t.Put(t.Connect().get(), std::string("nul\0x", 5), "x"); }},
        {ERROR_INVALID_PARAMETER, nullptr, [](FtpClient& t) { return !!t.Connect("secret\r\nDELE x"); }},
        {ERROR_INTERNET_TIMEOUT, nullptr,
         [&](FtpClient& t) { return !!t.Connect("secret", "127.0.0.1", silentPass.port()); }},
        {ERROR_INTERNET_TIMEOUT, nullptr, [&](FtpClient& t) {
             return FtpCreateDirectory(t.Connect("secret", "127.0.0.1", silentCwd.port()).get(), "a/b/") !=
                    CreateResult::Failed;
         }},
    };
    for (int i = 0; const auto& [code, reply, attempt] : cases) {
        SCOPED_TRACE(i++);
        ASSERT_FALSE(attempt(*this));
        EXPECT_EQ(GetLastError(), code);
        testsupport::LineRecorder log;
        ReportInternetError(GetLastError(), "FtpPutFile");
        const auto lines = log.Lines();
        ASSERT_EQ(lines.size(), reply ? 2u : 1u);
        // The message's own line break and blanks are no part of the line.
        std::string expected = "FTP Info: FtpPutFile error code: " + std::to_string(code) + " Message: " +
                               InternetErrorMessage(code);
        expected.erase(expected.find_last_not_of("\r\n \t") + 1);
        EXPECT_EQ(lines[0], expected);
        if (reply) { EXPECT_TRUE(lines[1].starts_with(std::string("Extended Info: ") + reply)) << lines[1]; }
        EXPECT_TRUE(log.Matching("Wr0ng-Pa55").empty());
    }
    EXPECT_TRUE(Connect("secret", "127.0.0.1", silentQuit.port())) << "closing says QUIT, which goes unanswered";
    EXPECT_LT(std::chrono::steady_clock::now() - start, 10s) << "nothing hangs";
    EXPECT_EQ(server_->logins(), 6);
    for (const auto& command : server_->commands())
        for (const char* part : {"evil", "nul", "DELE", "cr"}) EXPECT_EQ(command.find(part), std::string::npos);
}

TEST(FtpText, PortsSchemesAndRemotePaths) {
    // Anything but a whole number from 1 to 65535 is the scheme's default port.
    const std::tuple<const char*, const char*, int> ports[] = {
        {"2121", "", 2121}, {"65535", "h", 65535}, {" 990 ", "", 990}, {"1", "", 1}, {"", "", 21}, {"0", "", 21},
        {"65536", "", 21}, {"-21", "", 21}, {"21.5", "", 21}, {"21a", "", 21}, {"99999999999", "", 21},
        {"", "sftp://host", 22}, {"abc", "SFTP://host", 22}, {"2222", "sftp://host", 2222}, {"", "ftps://host", 21},
        {"990", "ftps://host", 990}, {"0", "ftp://host", 21}, {"65536", "sftp://h", 22}};
    for (const auto& [text, host, port] : ports) EXPECT_EQ(PortFromProfile(text, host), port) << text << " " << host;
    InternetSession* session = InternetOpen(kAgentName);
    EXPECT_EQ(InternetConnect(session, "http://127.0.0.1", 0, "u", "p", 0), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_INTERNET_UNRECOGNIZED_SCHEME);
    InternetCloseHandle(session);
    const char* const paths[][3] = {{"/backup", "home/anna/", "/backup/home/anna"}, {"/backup", "/abs//x/", "/abs/x"},
                                    {"/a/b", "../c", "/a/c"}, {"/", "../../x", "/x"}, {"/a", "./b/./c", "/a/b/c"},
                                    {"/a", "", "/a"}, {"/a", "b c/ d ", "/a/b c/ d "}};
    for (const auto& p : paths) EXPECT_EQ(ResolveRemotePath(p[0], p[1]), p[2]) << p[0] << " + " << p[1];
}

// One job connection through syncrun::FtpUploader over a real store: its lines, and each way a job or a
// file fails to go out.
class JobConnection : public FtpClient {
protected:
    void SetUp() override {
        testsupport::MakeStore(tmp_.path());
        testsupport::OpenStoreIn(tmp_.path());
        fs::create_directories(tmp_ / "root/backup");
    }
    void TearDown() override {
        store::StoreConnection().Close();
        FtpClient::TearDown();
    }
    store::Job Job() {
        const auto profile = testsupport::AddProfile(server_->port());
        return store::ReadJob(store::StoreConnection(), testsupport::AddJob("/home/anna", profile));
    }
    // The file made below the job's folder, sent to the same path below the remote directory.
    syncrun::Attempt Send(const std::string& name, bool replacing = false) {
        testsupport::WriteFile(tmp_ / ("home/anna/" + name), "content of " + name);
        RemotePath target("home/anna/" + name), folder = target;
        folder.levels.pop_back();
        // As a job's uploads go: a folder refused shows in the upload's own failure.
        bool madeOne = false;
        const auto made = uploader_.MakeFolder(folder, false, madeOne, lines_);
        return syncrun::WorthAnotherTry(made)
                   ? made
                   : uploader_.Put(nullptr, tmp_ / ("home/anna/" + name), target, nullptr, replacing, lines_);
    }
    std::string Landed(const std::string& path) { return testsupport::ReadFile(tmp_ / ("root/backup/" + path)); }

    syncrun::Lines lines_;
    syncrun::FtpUploader uploader_;
};

// A job gone from the store, as the transfer window reads it by its key, then one that connects; the failures
// of the jobs a run reads are the run's test.
TEST_F(JobConnection, ConnectMakesFoldersOnceSendsReplacementsWholeAndSaysWhyAJobOrAFileCannotGo) {
    Serve({.refuseStor = "refused", .logCommands = true});
    auto& db = store::StoreConnection();
    EXPECT_FALSE(uploader_.Connect(store::ReadJob(db, 4242), lines_));
    EXPECT_EQ(lines_, Lines{"FTP Info: Folder job 4242 is not in the store."});
    lines_.clear();
    fs::create_directories(tmp_ / "root/backup/home/anna/old");
    ASSERT_TRUE(uploader_.Connect(Job(), lines_));
    EXPECT_EQ(Send("docs/report.txt"), syncrun::Attempt::Done);
    EXPECT_EQ(Send("docs/more.txt"), syncrun::Attempt::Done);         // the folder is known now
    EXPECT_EQ(Send("old/a.txt", true), syncrun::Attempt::Done);       // there already; by a temporary name
    EXPECT_EQ(Landed("home/anna/docs/report.txt") + Landed("home/anna/old/a.txt"),
              "content of docs/report.txtcontent of old/a.txt");
    EXPECT_EQ(testsupport::ReadTree(tmp_ / "root/backup").size(), 3u) << "no temporary copy left";
    const std::string sent = "FTP Info: File transfered!";
    EXPECT_EQ(lines_, (Lines{"FTP Info: Directory is changed to /backup", "FTP Info: DoneDir", sent, sent, sent}));
    lines_.clear();
    EXPECT_EQ(Send("refused.txt"), syncrun::Attempt::Refused);
    EXPECT_EQ(lines_, (Lines{"FTP Info: FtpPutFile error code: 12003 Message: The server refused the request.\n",
                             "Extended Info: 553 Refused by the test server."}));
    for (const std::string name : {"evil\nDELE x.txt", "an\rna/evil.txt"}) {
        lines_.clear();
        EXPECT_EQ(Send(name), syncrun::Attempt::Refused);
        EXPECT_EQ(lines_, Lines{"FTP Info: " + ::OneLine(tmp_ / ("home/anna/" + name)) +
                                " is passed over: its name holds a line break or NUL character."});
    }
    for (const auto& command : server_->commands())
        for (const char* part : {"evil", "an\rna"}) EXPECT_EQ(command.find(part), std::string::npos) << command;
    ASSERT_TRUE(uploader_.Connect(Job(), lines_));  // again: the held connection goes first
    uploader_.Close();
    EXPECT_EQ(std::ranges::count(server_->commands(), std::string("QUIT")), 2);
    EXPECT_EQ(server_->logins(), 2);
    db.Execute("drop table mySettings");  // a store that refuses is the run's business
    EXPECT_THROW(store::ReadJob(db, 1), store::StoreError);
}

}  // namespace

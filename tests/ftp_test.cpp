// The FTP client against a real server on loopback (one login for many uploads, names and bytes as
// sent, line breaks refused, passive refused, failures with their codes, servers that stop answering),
// and a job's uploads through syncrun::FtpUploader over a real store: the lines of connecting,
// sending and closing, the remote directory as a floor, and each way a job fails to go out.

#include "ftp/FtpPaths.h"
#include "ftp/modFTP.h"
#include "store/Store.h"
#include "sync/FtpUploader.h"
#include "sync/Job.h"
#include "tests/support/Fixtures.h"
#include "tests/support/FtpServer.h"
#include "tests/support/TempDir.h"

#include "shell/StatusLog.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
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

class Served : public ::testing::Test {
public:
    void Serve(const FtpServer::Options& o = {}) { server_ = std::make_unique<FtpServer>(tmp_ / "root", o); }
    testsupport::TempDir tmp_;
    std::unique_ptr<FtpServer> server_;
};

class FtpClient : public Served {
public:
    void SetUp() override { session_ = InternetOpen(kAgentName); }
    void TearDown() override {
        InternetCloseHandle(session_);
        SetTimeoutsForTesting(Timeouts{});
    }
    Connection Connect(const std::string& password = "secret", const std::string& host = "127.0.0.1", int port = 0) {
        return Connection(InternetConnect(session_, host, port ? port : server_->port(), "tessary", password,
                                          INTERNET_FLAG_PASSIVE));
    }
    std::string Local(const std::string& content) {
        testsupport::WriteFile(tmp_ / "local", content);
        return tmp_ / "local";
    }
    bool Put(FtpSession* c, const std::string& path, const std::string& content) {
        return FtpPutFile(c, Local(content), path, FTP_TRANSFER_TYPE_ASCII);
    }
    std::string Remote(const std::string& path) const { return testsupport::ReadFile(server_->root() + "/" + path); }

    InternetSession* session_ = nullptr;
};

TEST_F(FtpClient, NamesAndBytesArriveUnchanged) {
    Serve();
    Connection c = Connect();
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
}

TEST_F(FtpClient, PathsWithLineBreaksNeverReachTheServer) {
    Serve({.logCommands = true});
    Connection c = Connect();
    for (const std::string& path : std::vector<std::string>{"evil\nDELE ok", "evil\r\nDELE ok", "cr\ronly",
                                                            std::string("nul\0x", 5)}) {
        SCOPED_TRACE(OneLine(path));
        const auto refused = [](bool failed) { return failed && GetLastError() == ERROR_INVALID_NAME; };
        EXPECT_TRUE(refused(!Put(c.get(), path, "x")));
        EXPECT_TRUE(refused(FtpCreateDirectory(c.get(), path + "/") == CreateResult::Failed));
        EXPECT_TRUE(refused(!FtpSetCurrentDirectory(c.get(), path)));
    }
    for (const auto& command : server_->commands())
        for (const char* part : {"evil", "nul", "DELE", "STOR", "cr"}) EXPECT_EQ(command.find(part), std::string::npos);
    EXPECT_FALSE(Connect("secret\r\nDELE x"));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

TEST_F(FtpClient, ManyUploadsShareOneLoginAndARefusedPassiveFallsBackToActiveOnce) {
    Serve({.noPassive = true, .logCommands = true});
    Connection c = Connect();
    ASSERT_TRUE(c) << GetLastError();
    for (int i = 0; i < 20; ++i) {
        ASSERT_TRUE(Put(c.get(), "f" + std::to_string(i), "n" + std::to_string(i))) << InternetGetLastResponseInfo();
        EXPECT_EQ(Remote("f" + std::to_string(i)), "n" + std::to_string(i));
    }
    int passive = 0, active = 0;
    for (const auto& command : server_->commands()) {
        passive += command.starts_with("EPSV") || command.starts_with("PASV");
        active += command.starts_with("EPRT") || command.starts_with("PORT");
    }
    EXPECT_EQ(passive, 2) << "EPSV and PASV asked once each";
    EXPECT_EQ(active, 20);
    EXPECT_EQ(server_->logins(), 1);
}

TEST_F(FtpClient, FailuresCarryTheirCodeAndTheServersReply) {
    Serve({.refuseStor = "refused"});
    const int closed = FtpServer(tmp_ / "gone").port();  // a port that was just free
    using Attempt = std::function<bool(FtpClient&)>;
    const std::tuple<std::uint32_t, const char*, Attempt> cases[] = {  // the start of "Extended Info: " if any
        {ERROR_INTERNET_EXTENDED_ERROR, "530 ", [](FtpClient& t) { return !!t.Connect("Wr0ng-Pa55"); }},
        {ERROR_INTERNET_CANNOT_CONNECT, nullptr,
         [&](FtpClient& t) { return !!t.Connect("secret", "127.0.0.1", closed); }},
        {ERROR_INTERNET_NAME_NOT_RESOLVED, nullptr, [](FtpClient& t) { return !!t.Connect("secret", "no such/host"); }},
        {ERROR_INTERNET_EXTENDED_ERROR, "550 ",  // a missing directory
         [](FtpClient& t) { return FtpSetCurrentDirectory(t.Connect().get(), "/not/here"); }},
        {ERROR_INTERNET_EXTENDED_ERROR, "553 Refused by the test server.",
         [](FtpClient& t) { return t.Put(t.Connect().get(), "refused.txt", "r"); }},
        {ERROR_FILE_NOT_FOUND, nullptr,  // no local file
         [](FtpClient& t) { return FtpPutFile(t.Connect().get(), t.tmp_ / "none", "x", FTP_TRANSFER_TYPE_BINARY); }},
        {ERROR_ACCESS_DENIED, nullptr,  // a local folder
         [](FtpClient& t) { return FtpPutFile(t.Connect().get(), t.tmp_.path(), "x", FTP_TRANSFER_TYPE_BINARY); }},
        {ERROR_INVALID_HANDLE, nullptr, [](FtpClient& t) { return t.Put(nullptr, "x", "x"); }},
    };
    for (int i = 0; const auto& [code, reply, attempt] : cases) {
        SCOPED_TRACE(i++);
        ASSERT_FALSE(attempt(*this));
        EXPECT_EQ(GetLastError(), code);
        testsupport::LineRecorder log;
        ReportInternetError(GetLastError(), "FtpPutFile");
        const auto lines = log.Lines();
        ASSERT_EQ(lines.size(), reply ? 2u : 1u);
        EXPECT_EQ(lines[0], "FTP Info: FtpPutFile error code: " + std::to_string(code) + " Message: " +
                                InternetErrorMessage(code));
        if (reply) { EXPECT_TRUE(lines[1].starts_with(std::string("Extended Info: ") + reply)) << lines[1]; }
        EXPECT_TRUE(log.Matching("Wr0ng-Pa55").empty());
    }
    EXPECT_EQ(server_->logins(), 4);
}

// A server that stops answering: each wait gives up within the shortened
// timeouts with the timeout code, and nothing hangs.
TEST_F(FtpClient, ServersThatStopAnsweringTimeOut) {
    SetTimeoutsForTesting(Timeouts{1s, 1s, 1s});
    for (const std::string silentOn : {"PASS", "CWD", "STOR", "QUIT"}) {
        SCOPED_TRACE(silentOn);
        Serve({.silentOn = silentOn});
        const auto start = std::chrono::steady_clock::now();
        {
            Connection c = Connect();
            bool ok = !!c;
            if (silentOn == "CWD") ok = FtpCreateDirectory(c.get(), "a/b/") != CreateResult::Failed;
            if (silentOn == "STOR") ok = Put(c.get(), "s", "s");
            EXPECT_EQ(ok, silentOn == "QUIT");
            EXPECT_EQ(GetLastError(), silentOn == "QUIT" ? ERROR_SUCCESS : ERROR_INTERNET_TIMEOUT);
        }  // closing says QUIT
        EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
    }
    Serve({.stallData = true});
    Connection c = Connect();
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(Put(c.get(), "big", std::string(64 * 1024 * 1024, 'x')));  // more than the socket buffers hold
    EXPECT_EQ(GetLastError(), ERROR_INTERNET_TIMEOUT);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 6s);
}

TEST(FtpText, PortsAndRemotePaths) {
    // Anything but a whole number from 1 to 65535 is the default port.
    const std::pair<const char*, int> ports[] = {{"2121", 2121}, {"65535", 65535}, {" 990 ", 990}, {"1", 1},
                                                 {"", 21},       {"0", 21},        {"65536", 21},  {"-21", 21},
                                                 {"21.5", 21},   {"21a", 21},      {"99999999999", 21}};
    for (const auto& [text, port] : ports) EXPECT_EQ(PortFromProfile(text), port) << "'" << text << "'";
    const char* const paths[][3] = {{"/backup", "home/anna/", "/backup/home/anna"}, {"/backup", "/abs//x/", "/abs/x"},
                                    {"/a/b", "../c", "/a/c"}, {"/", "../../x", "/x"}, {"/a", "./b/./c", "/a/b/c"},
                                    {"/a", "", "/a"}, {"/a", "b c/ d ", "/a/b c/ d "}};
    for (const auto& p : paths) EXPECT_EQ(ResolveRemotePath(p[0], p[1]), p[2]) << p[0] << " + " << p[1];
}

struct Watcher : syncrun::RunObserver {
    void SetStatus(const std::string& text) override { statuses.push_back(text); }
    void Connected(bool on) override { connected.push_back(on); }
    Lines statuses;
    std::vector<bool> connected;
};

class Uploads : public Served {
protected:
    void SetUp() override {
        testsupport::MakeStore(tmp_.path());
        testsupport::OpenStoreIn(tmp_.path());
        fs::create_directories(tmp_ / "root/backup");
    }
    void TearDown() override { store::StoreConnection().Close(); }
    long Quits() { return std::ranges::count(server_->commands(), std::string("QUIT")); }
    syncrun::Job Job(const std::string& password = "secret", const std::string& directory = "/backup") {
        const auto profile = testsupport::AddProfile(server_->port(), password, directory);
        return syncrun::ReadJob(store::StoreConnection(), testsupport::AddJob("/home/anna", profile));
    }
    std::string Local(const std::string& name) {
        testsupport::WriteFile(tmp_ / ("home/anna/" + name), "content of " + name);
        return tmp_ / ("home/anna/" + name);
    }
    std::string Landed(const std::string& path) { return testsupport::ReadFile(tmp_ / ("root/backup/" + path)); }

    testsupport::LineRecorder log_;
    Watcher watcher_;
    syncrun::FtpUploader uploader_{watcher_};
};

struct CountingTap : ReadTap {
    void Read(const char*, std::size_t size) override { bytes += size; }
    void Rewound() override { bytes = 0; }
    std::size_t bytes = 0;
};

TEST_F(Uploads, ConnectSendAndCloseWriteTheirLinesBelowTheRemoteDirectory) {
    Serve({.logCommands = true});
    fs::create_directories(tmp_ / "root/backup/home/anna/old");
    ASSERT_TRUE(uploader_.Connect(Job()));
    EXPECT_EQ(watcher_.connected, std::vector<bool>{true});
    const std::string report = Local("docs/report.txt");
    EXPECT_TRUE(uploader_.UploadPath(report, "report.txt", "home/anna/docs/"));
    EXPECT_EQ(watcher_.statuses, (Lines{"Uploading " + report, "Scanning Files.."}));
    EXPECT_TRUE(uploader_.UploadPath(Local("docs/notes.txt"), "notes.txt", "home/anna/docs/"));
    EXPECT_TRUE(uploader_.UploadPath(Local("old/a.txt"), "a.txt", "home/anna/old/"));
    CountingTap tap;  // a file the caller opened, every byte seen on its way
    std::FILE* top = std::fopen(Local("top.txt").c_str(), "rb");
    EXPECT_TRUE(uploader_.Upload(top, "top.txt", "top.txt", "", &tap, true));  // over a copy sent before
    std::fclose(top);
    EXPECT_EQ(tap.bytes, std::string("content of top.txt").size());
    // A job folder such as /a/../../etc keeps its ".." levels in the remote
    // folder; the file must still land below the profile's directory.
    for (const char* folder : {"../../escaped/", "/../escaped/", "x/../../escaped/", "./escaped//./"})
        EXPECT_TRUE(uploader_.UploadPath(report, "a.txt", folder)) << folder;
    EXPECT_FALSE(fs::exists(tmp_ / "escaped") || fs::exists(tmp_ / "root/escaped"));
    for (const char* path : {"escaped/a.txt", "x/escaped/a.txt", "home/anna/docs/report.txt"})
        EXPECT_EQ(Landed(path), "content of docs/report.txt") << path;
    EXPECT_EQ(Landed("home/anna/docs/notes.txt") + Landed("top.txt"), "content of docs/notes.txtcontent of top.txt");
    ASSERT_TRUE(uploader_.Connect(Job()));  // again: the held connection goes first
    EXPECT_EQ(Quits(), 1);
    uploader_.Close();
    EXPECT_EQ(Quits(), 2);
    const std::string sent = "FTP Info: File transfered!", connected = "FTP Info: Directory is changed to /backup";
    EXPECT_EQ(log_.Lines(), (Lines{connected, "FTP Info: DoneDir", sent, sent, sent, sent, "FTP Info: DoneDir", sent,
                                   sent, "FTP Info: DoneDir", sent, sent, connected,
                                   "FTP Info: I have disconnected from the server."}));
    EXPECT_EQ(watcher_.connected, (std::vector<bool>{true, true, false}));
    EXPECT_FALSE(uploader_.IsConnected());
    EXPECT_EQ(server_->logins(), 2);
}

TEST_F(Uploads, AJobThatCannotConnectSaysWhy) {
    Serve();
    auto& db = store::StoreConnection();
    const auto orphan = testsupport::AddJob("/x", 999);
    db.Execute("insert into Tessary (Folder, SettingsID) values ('/y', NULL)");
    const auto unset = db.LastInsertId();
    const auto read = [&](std::int64_t id) { return syncrun::ReadJob(db, id); };
    const std::pair<syncrun::Job, Lines> cases[] = {
        {Job("Wr0ng-Pa55"),
         {"FTP Info: InternetConnect error code: 12003 Message: The server refused the request.\n",
          "Extended Info: 530 Authentication failed."}},
        {Job("secret", "/nowhere"),
         {"FTP Info: FtpSetCurrentDirectory error code: 12003 Message: The server refused the request.\n",
          "Extended Info: 550 No such file or directory."}},
        {read(4242), {"FTP Info: Folder job 4242 is not in the store."}},
        {read(orphan),
         {"FTP Info: Server profile 999 of folder job " + std::to_string(orphan) + " is not in the store."}},
        {read(unset), {"FTP Info: Folder job " + std::to_string(unset) + " names no server profile."}},
    };
    for (const auto& [job, lines] : cases) {
        log_.Clear();
        EXPECT_FALSE(uploader_.Connect(job));
        EXPECT_EQ(log_.Lines(), lines);
    }
    EXPECT_TRUE(watcher_.connected.empty());
    EXPECT_EQ(server_->logins(), 1) << "only the missing directory logged in";
    db.Execute("drop table mySettings");  // a store that refuses is the run's business
    EXPECT_THROW(read(orphan), store::StoreError);
}

TEST_F(Uploads, RefusedAndUnsendableFilesAreReported) {
    Serve({.refuseStor = "refused", .logCommands = true});
    const std::string refused = Local("refused.txt");
    EXPECT_FALSE(uploader_.UploadPath(refused, "refused.txt", "")) << "not connected";
    EXPECT_EQ(log_.Lines(), Lines{"FTP Info: FtpPutFile error code: 6 Message: "});
    ASSERT_TRUE(uploader_.Connect(Job()));
    log_.Clear();
    EXPECT_FALSE(uploader_.UploadPath(refused, "refused.txt", ""));
    EXPECT_EQ(log_.Lines(), (Lines{"FTP Info: FtpPutFile error code: 12003 Message: The server refused the request.\n",
                                   "Extended Info: 553 Refused by the test server."}));
    EXPECT_EQ(watcher_.statuses.back(), "Uploading " + refused) << "the label stays on the file";

    log_.Clear();
    const std::string evil = Local("evil\nDELE x.txt");
    EXPECT_FALSE(uploader_.UploadPath(evil, "evil\nDELE x.txt", "home/anna/"));
    EXPECT_FALSE(uploader_.UploadPath(evil, "evil.txt", "home/an\rna/"));
    const std::string passedOver = " is passed over: its name holds a line break or NUL character.";
    EXPECT_EQ(log_.Lines(), Lines(2, "FTP Info: " + OneLine(evil) + passedOver));
    EXPECT_NE(log_.Lines()[0].find("evil\\nDELE x.txt"), std::string::npos);
    for (const auto& command : server_->commands())
        for (const char* part : {"evil", "MKD"}) EXPECT_EQ(command.find(part), std::string::npos) << command;
}

}  // namespace

// The FTP client operations against a real server on loopback: login,
// folders, uploads, names, error codes and the error report, timeouts and
// the passive-mode fallback.

#include "ftp/FtpPaths.h"
#include "ftp/modFTP.h"
#include "tests/ftp_support.h"
#include "tests/support/FtpServer.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <random>

namespace {

using namespace ftp;
using ftptest::Connection;
using ftptest::LogLines;
using testsupport::FtpServer;
using testsupport::ReadFile;
using testsupport::TempDir;
using testsupport::WriteFile;
namespace fs = std::filesystem;

class FtpClient : public ::testing::Test {
protected:
    void SetUp() override { session_ = InternetOpen("My VB Test"); }
    void TearDown() override { InternetCloseHandle(session_); }

    void Serve(FtpServer::Options options = {}) { server_ = std::make_unique<FtpServer>(tmp_ / "root", options); }

    FtpSession* Connect(const std::string& password = "secret", std::uint32_t flags = INTERNET_FLAG_PASSIVE) {
        return InternetConnect(session_, "127.0.0.1", server_->port(), "tessary", password, flags);
    }
    std::string Local(const std::string& name, const std::string& content) {
        const std::string file = tmp_ / ("local/" + name);
        WriteFile(file, content);
        return file;
    }
    std::string Remote(const std::string& path) const { return server_->root() + "/" + path; }

    TempDir tmp_;
    std::unique_ptr<FtpServer> server_;
    InternetSession* session_ = nullptr;
};

TEST_F(FtpClient, ManyUploadsShareOneLogin) {
    Serve();
    Connection c(Connect());
    ASSERT_TRUE(c) << GetLastError();
    for (int i = 0; i < 25; ++i) {
        const std::string name = "f" + std::to_string(i) + ".txt";
        ASSERT_TRUE(FtpPutFile(c.get(), Local(name, "content " + name), name, FTP_TRANSFER_TYPE_BINARY))
            << name << " " << GetLastError() << " " << InternetGetLastResponseInfo();
        EXPECT_EQ(ReadFile(Remote(name)), "content " + name);
    }
    EXPECT_EQ(server_->logins(), 1);
}

TEST_F(FtpClient, ChangesDirectoryAndUploadsRelativeToIt) {
    Serve();
    fs::create_directories(Remote("backup/sub"));
    Connection c(Connect());
    ASSERT_TRUE(c);
    ASSERT_TRUE(FtpSetCurrentDirectory(c.get(), "/backup"));
    ASSERT_TRUE(FtpSetCurrentDirectory(c.get(), "sub"));
    ASSERT_TRUE(FtpPutFile(c.get(), Local("a.txt", "A"), "a.txt", FTP_TRANSFER_TYPE_BINARY));
    ASSERT_TRUE(FtpSetCurrentDirectory(c.get(), ".."));
    ASSERT_TRUE(FtpPutFile(c.get(), Local("b.txt", "B"), "sub/../b.txt", FTP_TRANSFER_TYPE_BINARY));
    ASSERT_TRUE(FtpPutFile(c.get(), Local("c.txt", "C"), "/c.txt", FTP_TRANSFER_TYPE_BINARY));
    // An empty directory text keeps where we are.
    ASSERT_TRUE(FtpSetCurrentDirectory(c.get(), ""));
    ASSERT_TRUE(FtpPutFile(c.get(), Local("d.txt", "D"), "d.txt", FTP_TRANSFER_TYPE_BINARY));
    EXPECT_EQ(ReadFile(Remote("backup/sub/a.txt")), "A");
    EXPECT_EQ(ReadFile(Remote("backup/b.txt")), "B");
    EXPECT_EQ(ReadFile(Remote("c.txt")), "C");
    EXPECT_EQ(ReadFile(Remote("backup/d.txt")), "D");
}

TEST_F(FtpClient, CreatesEveryMissingLevelTopDown) {
    Serve();
    Connection c(Connect());
    ASSERT_TRUE(c);
    EXPECT_EQ(FtpCreateDirectory(c.get(), "home/anna/docs/"), CreateResult::Created);
    EXPECT_TRUE(fs::is_directory(Remote("home/anna/docs")));
    EXPECT_EQ(FtpCreateDirectory(c.get(), "home/anna/docs/"), CreateResult::Existed);
    EXPECT_EQ(FtpCreateDirectory(c.get(), "home/anna/music"), CreateResult::Created);
    EXPECT_EQ(FtpCreateDirectory(c.get(), ""), CreateResult::Existed);
    ASSERT_TRUE(FtpPutFile(c.get(), Local("r.txt", "R"), "home/anna/docs/r.txt", FTP_TRANSFER_TYPE_BINARY));
    EXPECT_EQ(ReadFile(Remote("home/anna/docs/r.txt")), "R");

    // A fresh connection knows nothing yet and asks the server.
    Connection fresh(Connect());
    ASSERT_TRUE(fresh);
    EXPECT_EQ(FtpCreateDirectory(fresh.get(), "/home/anna/docs"), CreateResult::Existed);
    EXPECT_EQ(FtpCreateDirectory(fresh.get(), "/home/bert/docs"), CreateResult::Created);
}

TEST_F(FtpClient, FolderThatCannotBeMadeFailsWithTheServersReply) {
    Serve();
    WriteFile(Remote("blocker"), "a file, not a folder");
    Connection c(Connect());
    ASSERT_TRUE(c);
    EXPECT_EQ(FtpCreateDirectory(c.get(), "blocker/inner/"), CreateResult::Failed);
    EXPECT_EQ(GetLastError(), ERROR_INTERNET_EXTENDED_ERROR);
    EXPECT_EQ(InternetGetLastResponseInfo().substr(0, 4), "550 ");
    // The connection goes on working.
    EXPECT_TRUE(FtpPutFile(c.get(), Local("x", "x"), "x", FTP_TRANSFER_TYPE_BINARY));
    EXPECT_EQ(server_->logins(), 1);
}

TEST_F(FtpClient, NamesArriveUnchanged) {
    Serve();
    Connection c(Connect());
    ASSERT_TRUE(c);
    const std::string names[] = {
        "with blank.txt", " leading and trailing ", "it's.txt",      "hash#tag.txt", "100%.txt",
        "a%20b.txt",      "what?.txt",              "semi;colon.txt", "x;type=a",     "plus+and&amp=.txt",
        "Grüße.txt",      "日本語のファイル.txt",   "ÆØÅ æøå",        "[brackets]{}", "~tilde@at!.txt",
    };
    for (const auto& name : names) {
        SCOPED_TRACE(name);
        const std::string content = "content of " + name;
        ASSERT_EQ(FtpCreateDirectory(c.get(), "dir " + name + "/"), CreateResult::Created);
        ASSERT_TRUE(FtpPutFile(c.get(), Local(name, content), "dir " + name + "/" + name, FTP_TRANSFER_TYPE_BINARY))
            << GetLastError() << " " << InternetGetLastResponseInfo();
        EXPECT_EQ(ReadFile(Remote("dir " + name + "/" + name)), content);
    }
    // Nothing landed under a changed name.
    std::size_t entries = 0;
    for (const auto& e : fs::recursive_directory_iterator(server_->root())) entries += e.is_regular_file();
    EXPECT_EQ(entries, std::size(names));
}

TEST_F(FtpClient, BinaryContentArrivesByteForByte) {
    Serve();
    Connection c(Connect());
    ASSERT_TRUE(c);
    std::string random(3 * 1024 * 1024 + 17, '\0');
    std::mt19937 gen(7);
    for (auto& ch : random) ch = static_cast<char>(gen());
    const std::pair<std::string, std::string> files[] = {
        {"crlf.txt", std::string("line one\r\nline two\nline three\r\r\n\0tail\0", 39)},
        {"empty.bin", ""},
        {"random.bin", random},
    };
    for (const auto& [name, content] : files) {
        ASSERT_TRUE(FtpPutFile(c.get(), Local(name, content), name, FTP_TRANSFER_TYPE_ASCII)) << name;
        EXPECT_EQ(ReadFile(Remote(name)), content) << name;
    }
}

TEST_F(FtpClient, PathsWithLineBreaksNeverReachTheServer) {
    FtpServer::Options options;
    options.logCommands = true;
    Serve(options);
    Connection c(Connect());
    ASSERT_TRUE(c);
    const std::string local = Local("ok.txt", "x");
    const std::string bad[] = {"evil\nDELE ok.txt", "evil\r\nDELE ok.txt", "cr\ronly", std::string("nul\0x", 5)};
    for (const auto& path : bad) {
        SCOPED_TRACE(Printable(path));
        EXPECT_FALSE(FtpPutFile(c.get(), local, path, FTP_TRANSFER_TYPE_BINARY));
        EXPECT_EQ(GetLastError(), ERROR_INVALID_NAME);
        EXPECT_EQ(FtpCreateDirectory(c.get(), path + "/"), CreateResult::Failed);
        EXPECT_EQ(GetLastError(), ERROR_INVALID_NAME);
        EXPECT_FALSE(FtpSetCurrentDirectory(c.get(), path));
        EXPECT_EQ(GetLastError(), ERROR_INVALID_NAME);
    }
    for (const auto& command : server_->commands()) {
        EXPECT_EQ(command.find("evil"), std::string::npos) << command;
        EXPECT_EQ(command.find("nul"), std::string::npos) << command;
        EXPECT_EQ(command.find("DELE"), std::string::npos) << command;
        EXPECT_EQ(command.find("STOR"), std::string::npos) << command;
    }
    // Credentials are sent raw as well.
    EXPECT_EQ(InternetConnect(session_, "127.0.0.1", server_->port(), "tessary", "secret\r\nDELE x", 0), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

TEST_F(FtpClient, PassiveRefusedFallsBackToActive) {
    FtpServer::Options options;
    options.noPassive = true;
    options.logCommands = true;
    Serve(options);
    Connection c(Connect());
    ASSERT_TRUE(c);
    for (const char* name : {"one.txt", "two.txt", "three.txt"}) {
        ASSERT_TRUE(FtpPutFile(c.get(), Local(name, name), name, FTP_TRANSFER_TYPE_BINARY))
            << GetLastError() << " " << InternetGetLastResponseInfo();
        EXPECT_EQ(ReadFile(Remote(name)), name);
    }
    EXPECT_EQ(server_->logins(), 1);
    // Passive mode is asked for once; the rest of the connection is active.
    int passiveAsks = 0, activeOffers = 0;
    for (const auto& command : server_->commands()) {
        passiveAsks += command.rfind("EPSV", 0) == 0 || command.rfind("PASV", 0) == 0;
        activeOffers += command.rfind("EPRT", 0) == 0 || command.rfind("PORT", 0) == 0;
    }
    EXPECT_EQ(passiveAsks, 2);
    EXPECT_EQ(activeOffers, 3);
}

// What each failure sets, and the lines the report writes for it.
struct FailureCase {
    const char* what;
    std::uint32_t code;
    const char* reply;  // start of the "Extended Info: " text; nullptr: no such line
};

TEST_F(FtpClient, FailuresAreReportedWithTheirCodeAndReply) {
    FtpServer::Options options;
    options.refuseStor = "refused";
    Serve(options);
    const std::string local = Local("a.txt", "A");
    const FailureCase cases[] = {
        {"wrong password", ERROR_INTERNET_EXTENDED_ERROR, "530 "},
        {"closed port", ERROR_INTERNET_CANNOT_CONNECT, nullptr},
        {"bad host name", ERROR_INTERNET_NAME_NOT_RESOLVED, nullptr},
        {"missing directory", ERROR_INTERNET_EXTENDED_ERROR, "550 "},
        {"refused upload", ERROR_INTERNET_EXTENDED_ERROR, "553 Refused by the test server."},
        {"missing local file", ERROR_FILE_NOT_FOUND, nullptr},
        {"local folder", ERROR_ACCESS_DENIED, nullptr},
        {"no connection", ERROR_INVALID_HANDLE, nullptr},
    };
    for (const auto& fc : cases) {
        SCOPED_TRACE(fc.what);
        const std::string what = fc.what;
        Connection c(what == "wrong password" || what == "closed port" || what == "bad host name" ||
                             what == "no connection"
                         ? nullptr
                         : Connect());
        bool ok = true;
        if (what == "wrong password") {
            Connection refused(Connect("Wr0ng-Pa55"));
            ok = static_cast<bool>(refused);
        } else if (what == "closed port") {
            // A port that was just free: nothing listens there.
            TempDir other;
            int port = 0;
            { FtpServer gone(other / "r"); port = gone.port(); }
            Connection refused(InternetConnect(session_, "127.0.0.1", port, "tessary", "secret", 0));
            ok = static_cast<bool>(refused);
        } else if (what == "bad host name") {
            Connection refused(InternetConnect(session_, "no such/host", server_->port(), "tessary", "secret", 0));
            ok = static_cast<bool>(refused);
        } else if (what == "missing directory") {
            ok = FtpSetCurrentDirectory(c.get(), "/does/not/exist");
        } else if (what == "refused upload") {
            ok = FtpPutFile(c.get(), local, "refused.txt", FTP_TRANSFER_TYPE_BINARY);
        } else if (what == "missing local file") {
            ok = FtpPutFile(c.get(), tmp_ / "nothing-here", "x.txt", FTP_TRANSFER_TYPE_BINARY);
        } else if (what == "local folder") {
            ok = FtpPutFile(c.get(), tmp_.path(), "x.txt", FTP_TRANSFER_TYPE_BINARY);
        } else if (what == "no connection") {
            ok = FtpPutFile(nullptr, local, "x.txt", FTP_TRANSFER_TYPE_BINARY);
        }
        ASSERT_FALSE(ok);
        const std::uint32_t code = GetLastError();
        EXPECT_EQ(code, fc.code);

        LogLines log;
        ReportInternetError(code, "FtpPutFile");
        ASSERT_EQ(log.lines.size(), fc.reply ? 2u : 1u);
        EXPECT_EQ(log.lines[0], "FTP Info: FtpPutFile error code: " + std::to_string(fc.code) +
                                    " Message: " + InternetErrorMessage(fc.code));
        if (fc.reply) {
            EXPECT_EQ(log.lines[1].rfind(std::string("Extended Info: ") + fc.reply, 0), 0u) << log.lines[1];
        }
        EXPECT_FALSE(log.Mentions("Wr0ng-Pa55"));
    }
    EXPECT_EQ(server_->logins(), 4);
}

TEST(FtpErrorText, EveryKnownCodeEndsInALineBreakAndOthersHaveNone) {
    for (std::uint32_t code : {ERROR_FILE_NOT_FOUND, ERROR_ACCESS_DENIED, ERROR_NOT_ENOUGH_MEMORY, ERROR_READ_FAULT,
                               ERROR_INVALID_PARAMETER, ERROR_INVALID_NAME, ERROR_INTERNET_TIMEOUT,
                               ERROR_INTERNET_EXTENDED_ERROR, ERROR_INTERNET_INTERNAL_ERROR, ERROR_INTERNET_INVALID_URL,
                               ERROR_INTERNET_NAME_NOT_RESOLVED, ERROR_INTERNET_OPERATION_CANCELLED,
                               ERROR_INTERNET_CANNOT_CONNECT, ERROR_INTERNET_CONNECTION_ABORTED,
                               ERROR_FTP_TRANSFER_IN_PROGRESS}) {
        const std::string text = InternetErrorMessage(code);
        ASSERT_GT(text.size(), 1u) << code;
        EXPECT_EQ(text.back(), '\n') << code;
        EXPECT_EQ(text.find('\n'), text.size() - 1) << code;
        EXPECT_EQ(text.find('\r'), std::string::npos) << code;
    }
    for (std::uint32_t code : {0u, 6u, 1234u, 12999u}) EXPECT_EQ(InternetErrorMessage(code), "") << code;

    LogLines log;
    ReportInternetError(ERROR_INVALID_HANDLE, "InternetConnect");
    EXPECT_EQ(log.lines, std::vector<std::string>{"FTP Info: InternetConnect error code: 6 Message: "});
}

// A server that stops answering: every wait gives up within the shortened
// timeouts with the timeout code, and the client does not hang.
TEST_F(FtpClient, SilentServerTimesOut) {
    using namespace std::chrono;
    ftptest::ShortTimeouts waits(seconds(1));
    for (const std::string silentOn : {"PASS", "CWD", "STOR", "QUIT"}) {
        SCOPED_TRACE(silentOn);
        FtpServer::Options options;
        options.silentOn = silentOn;
        Serve(options);
        const auto start = steady_clock::now();
        {
            Connection c(Connect());
            ASSERT_EQ(static_cast<bool>(c), silentOn != "PASS");
            bool ok = static_cast<bool>(c);
            if (silentOn == "CWD") {
                ok = FtpSetCurrentDirectory(c.get(), "/") ||
                     FtpCreateDirectory(c.get(), "a/b/c/") != CreateResult::Failed;
            }
            if (silentOn == "STOR") ok = FtpPutFile(c.get(), Local("s", "s"), "s", FTP_TRANSFER_TYPE_BINARY);
            EXPECT_EQ(ok, silentOn == "QUIT");
            EXPECT_EQ(GetLastError(), silentOn == "QUIT" ? ERROR_SUCCESS : ERROR_INTERNET_TIMEOUT);
        }  // closing the connection says QUIT
        EXPECT_LT(steady_clock::now() - start, seconds(5));
    }
}

TEST_F(FtpClient, TransferThatStopsMovingTimesOut) {
    using namespace std::chrono;
    ftptest::ShortTimeouts waits(seconds(1));
    FtpServer::Options options;
    options.stallData = true;
    Serve(options);
    Connection c(Connect());
    ASSERT_TRUE(c);
    // More than the socket buffers on both ends can swallow.
    const std::string local = Local("big.bin", std::string(64 * 1024 * 1024, 'x'));
    const auto start = steady_clock::now();
    EXPECT_FALSE(FtpPutFile(c.get(), local, "big.bin", FTP_TRANSFER_TYPE_BINARY));
    EXPECT_EQ(GetLastError(), ERROR_INTERNET_TIMEOUT);
    EXPECT_LT(steady_clock::now() - start, seconds(6));
}

TEST_F(FtpClient, ClosingDuringATransferCancelsItSafely) {
    Serve();
    Connection keep(Connect());
    ASSERT_TRUE(keep);
    FtpSession* c = Connect();
    ASSERT_NE(c, nullptr);
    const std::string local = Local("big.bin", std::string(256 * 1024 * 1024, 'y'));
    bool nestedRefused = false;
    int yields = 0;
    SetTransferYield([&] {
        if (++yields != 1) return;
        // A window event handler that uses the busy connection, then closes it.
        nestedRefused = !FtpPutFile(c, local, "nested.bin", FTP_TRANSFER_TYPE_BINARY) &&
                        GetLastError() == ERROR_FTP_TRANSFER_IN_PROGRESS;
        InternetCloseHandle(c);
    });
    const bool sent = FtpPutFile(c, local, "big.bin", FTP_TRANSFER_TYPE_BINARY);
    const std::uint32_t code = GetLastError();
    SetTransferYield(nullptr);
    EXPECT_GE(yields, 1);
    EXPECT_TRUE(nestedRefused);
    EXPECT_FALSE(sent);
    EXPECT_EQ(code, ERROR_INTERNET_OPERATION_CANCELLED);
    // The other connection is untouched.
    EXPECT_TRUE(FtpPutFile(keep.get(), Local("after", "after"), "after", FTP_TRANSFER_TYPE_BINARY));
}

TEST(FtpPort, PortFromProfile) {
    const std::pair<const char*, int> cases[] = {
        {"21", 21},   {"2121", 2121}, {"1", 1},     {"65535", 65535}, {" 990 ", 990}, {"+2121", 2121},
        {"0021", 21}, {"", 21},       {"0", 21},    {"65536", 21},    {"-21", 21},    {"21.5", 21},
        {"abc", 21},  {"21a", 21},    {"1e3", 21},  {"99999999999", 21}, {"2 1", 21}, {"0x15", 21},
    };
    for (const auto& [text, port] : cases) EXPECT_EQ(PortFromProfile(text), port) << "'" << text << "'";
}

TEST(FtpRemotePath, ResolvesAgainstTheCurrentDirectory) {
    struct Case { const char* cwd; const char* path; const char* resolved; };
    const Case cases[] = {
        {"/", "a.txt", "/a.txt"},         {"/backup", "home/anna/docs/", "/backup/home/anna/docs"},
        {"/backup", "/abs//x/", "/abs/x"}, {"/a/b", "../c", "/a/c"},
        {"/", "../../x", "/x"},           {"/a", "./b/./c", "/a/b/c"},
        {"/a", "", "/a"},                 {"/", "/", "/"},
        {"/a", "...", "/a/..."},          {"/a", "b c/ d ", "/a/b c/ d "},
    };
    for (const auto& c : cases) EXPECT_EQ(ResolveRemotePath(c.cwd, c.path), c.resolved) << c.cwd << " + " << c.path;
}

}  // namespace

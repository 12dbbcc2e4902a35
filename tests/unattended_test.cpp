// The built program without a usable display: the one line and exit 1 for
// the windows, a quiet headless run for /SYNC, and the probe that decides.

#include "shell/Display.h"
#include "shell/UniqueFd.h"
#include "tests/support/FtpServer.h"
#include "tests/support/Spawn.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <netinet/in.h>
#include <poll.h>
#include <pty.h>
#include <spawn.h>
#include <sqlite3.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;
using testsupport::PlainEnv;
using testsupport::Ran;
using testsupport::Spawn;
using testsupport::TempDir;

namespace {

const std::string kNeedsDisplay =
    "Tessary needs a display for its windows: run \"tessary /SYNC\" for an unattended run, "
    "or start the windows with \"xvfb-run -a tessary\".\n";

// No X server answers here: the abstract socket and the file are both unused.
const std::string kStaleDisplay = "DISPLAY=:97";

std::vector<std::string> With(std::vector<std::string> env, const std::string& variable) {
    env.push_back(variable);
    return env;
}

// The program copied into a folder of its own, where its store would be.
class Program : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(display::XServerReachable(":97")) << "something listens as display :97";
        fs::copy_file(TESSARY_EXE, exe);
    }
    Ran Run(std::vector<std::string> args, const std::vector<std::string>& env) {
        args.insert(args.begin(), exe);
        return Spawn(args, env, std::chrono::seconds(30));
    }
    void Sql(const std::string& statement) {
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open((dir / "information.mdb").c_str(), &db), SQLITE_OK);
        EXPECT_EQ(sqlite3_exec(db, statement.c_str(), nullptr, nullptr, nullptr), SQLITE_OK) << statement;
        sqlite3_close(db);
    }

    TempDir dir;
    const std::string exe = dir / "tessary";
};

TEST_F(Program, WithoutADisplayTheWindowsExitOneWithOneLine) {
    const std::vector<std::vector<std::string>> argsCases{{}, {"--help"}, {"--version"}, {"-platform", "xcb"}};
    const std::vector<std::vector<std::string>> envCases{
        PlainEnv(), With(PlainEnv(), kStaleDisplay), With(PlainEnv(), "QT_QPA_PLATFORM=xcb"),
        With(PlainEnv(), "WAYLAND_DISPLAY=wayland-97")};
    for (const auto& env : envCases) {
        for (const auto& args : argsCases) {
            const Ran r = Run(args, env);
            const std::string what = env.back() + (args.empty() ? "" : " " + args[0]);
            EXPECT_EQ(r.status, 1) << what << "\n" << r.err;
            EXPECT_EQ(r.err, kNeedsDisplay) << what;
            EXPECT_EQ(r.out, "") << what;
        }
    }
}

TEST_F(Program, StaleDisplayRunsHeadlessAndQuiet) {
    testsupport::MakeStore(dir.path());
    Ran r = Run({"/SYNC"}, With(PlainEnv(), kStaleDisplay));
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out,
              "Init Program\nSetting Database Connection String\nOpened Database\nRun Query on settings\n"
              "Test Query and settings loaded\nUser initiated Sync\nAll Sync's Complete\n");

    // A job shows and raises its transfer window: still nothing on standard
    // error, whose only reader is the user's cron mail.
    fs::create_directories(dir / "data");
    Sql("insert into mySettings (FTPServer, FTPPort, FTPUser, FTPPassword, FTPDirectory) "
        "values ('127.0.0.1', '1', 'anna', 'secret', '/')");
    Sql("insert into Tessary (Folder, SettingsID, SubDirs) values ('" + (dir / "data") + "', 1, 'NO')");
    r = Run({"/sync"}, With(PlainEnv(), kStaleDisplay));
    EXPECT_EQ(r.status, 1) << r.out << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_NE(r.out.find("FTP Info: Server Login Failed.\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("All Sync's Complete\n"), std::string::npos) << r.out;
}

// A real X server, for as long as the object lives.
class Xvfb {
public:
    explicit Xvfb(std::vector<std::string> extra = {}) {
        shell::UniqueFd ready, readyWrite;
        if (!shell::MakePipe(ready, readyWrite)) return;
        posix_spawn_file_actions_t fa;
        posix_spawn_file_actions_init(&fa);
        posix_spawn_file_actions_adddup2(&fa, readyWrite.get(), 3);  // the display number comes here
        posix_spawn_file_actions_addopen(&fa, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&fa, 2, "/dev/null", O_WRONLY, 0);
        std::vector<std::string> args{"Xvfb", "-displayfd", "3", "-nolisten", "tcp"};
        args.insert(args.end(), extra.begin(), extra.end());
        std::vector<char*> argv;
        for (auto& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        if (posix_spawnp(&pid_, "Xvfb", &fa, nullptr, argv.data(), environ) != 0) pid_ = -1;
        posix_spawn_file_actions_destroy(&fa);
        readyWrite.reset();
        std::string number;
        pollfd p{ready.get(), POLLIN, 0};
        char c = 0;
        while (pid_ > 0 && ::poll(&p, 1, 10000) == 1 && ::read(ready.get(), &c, 1) == 1 && c != '\n') number += c;
        if (!number.empty()) display_ = ":" + number;
    }
    ~Xvfb() {
        if (pid_ <= 0) return;
        ::kill(pid_, SIGTERM);
        ::waitpid(pid_, nullptr, 0);
    }
    Xvfb(const Xvfb&) = delete;
    Xvfb& operator=(const Xvfb&) = delete;
    // Empty when no server could be started.
    const std::string& display() const { return display_; }

private:
    pid_t pid_ = -1;
    std::string display_;
};

// Without a store, with a stale display and with one that works: the
// start-up box becomes a line and the run ends instead of waiting.
TEST_F(Program, MissingStoreEndsTheRunWithoutWaitingOnTheBox) {
    const Xvfb xvfb;
    std::vector<std::vector<std::string>> envs{With(PlainEnv(), kStaleDisplay)};
    if (!xvfb.display().empty()) envs.push_back(With(PlainEnv(), "DISPLAY=" + xvfb.display()));
    for (const auto& env : envs) {
        const Ran r = Run({"/SYNC"}, env);
        EXPECT_FALSE(r.timedOut) << env.back();
        EXPECT_EQ(r.status, 1) << env.back() << "\n" << r.out << r.err;
        EXPECT_EQ(r.err, "") << env.back();
        EXPECT_EQ(r.out.rfind("Init Program\nSetting Database Connection String\n"
                              "An error occured while attempting to open settings\n"
                              "An error has destroyed the chances of this program functioning\n"
                              "Could not open " + (dir / "information.mdb") + ": unable to open database file\n",
                              0),
                  0u)
            << env.back() << "\n" << r.out;
    }
    if (xvfb.display().empty()) GTEST_SKIP() << "Xvfb could not be started: only the stale display was tried";
}

// A job of three files (6000 bytes) on a real FTP server.
class JobRun : public Program {
protected:
    void SetUp() override {
        Program::SetUp();
        testsupport::MakeStore(dir.path());
        for (int i = 1; i <= 3; ++i)
            testsupport::WriteFile(dir / ("data/f" + std::to_string(i)), std::string(1000 * i, 'x'));
        Sql("insert into mySettings (FTPServer, FTPPort, FTPUser, FTPPassword, FTPDirectory) values ('127.0.0.1', '" +
            std::to_string(server.port()) + "', 'tessary', 'secret', '/')");
        Sql("insert into Tessary (Folder, SettingsID, SubDirs) values ('" + (dir / "data") + "', 1, 'NO')");
    }
    testsupport::FtpServer server{dir / "server"};
};

TEST_F(JobRun, StandardErrorThatIsNoTerminalGetsNothing) {
    const Ran r = Run({"/SYNC"}, With(PlainEnv(), kStaleDisplay));
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_NE(r.out.find((dir / "data/f3") + " has changed\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("All Sync's Complete\n"), std::string::npos) << r.out;
}

// Enabled once the run hands its progress to
// shell::TerminalProgressForUnattendedRun().
TEST_F(JobRun, StandardErrorOnATerminalShowsProgressToTheFullCounts) {
    shell::UniqueFd master, slave;
    ASSERT_EQ(::openpty(master.put(), slave.put(), nullptr, nullptr, nullptr), 0);
    const Ran r = Spawn({exe, "/SYNC"}, With(PlainEnv(), kStaleDisplay), std::chrono::seconds(30), slave.get());
    slave.reset();
    std::string shown;
    pollfd p{master.get(), POLLIN, 0};
    char buf[4096];
    ssize_t n = 0;
    while (shown.find("/s\r\n") == std::string::npos && ::poll(&p, 1, 5000) == 1 &&
           (n = ::read(master.get(), buf, sizeof buf)) > 0)
        shown.append(buf, static_cast<std::size_t>(n));
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("All Sync's Complete\n"), std::string::npos) << r.out;  // the status lines stay on stdout
    EXPECT_NE(shown.find("\r\x1b[KChecked 3 of 3 files, sent 3 files (5.9 KiB), "), std::string::npos) << shown;
}

// A server that answers but lets in only holders of its cookie, as a
// user's desktop does for root's cron: the run goes headless instead of
// aborting.
TEST_F(Program, DisplayThatRefusesTheProgramRunsHeadless) {
    testsupport::MakeStore(dir.path());
    const std::string cookies = dir / "cookies";
    const Ran made = Spawn({"xauth", "-f", cookies, "add", ":0", "MIT-MAGIC-COOKIE-1", "0123456789abcdef0123456789abcdef"},
                           PlainEnv());
    if (made.status != 0) GTEST_SKIP() << "xauth is not there";
    const Xvfb xvfb({"-auth", cookies});
    if (xvfb.display().empty()) GTEST_SKIP() << "Xvfb could not be started";
    const Ran r = Run({"/SYNC"}, With(PlainEnv(), "DISPLAY=" + xvfb.display()));
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_NE(r.out.find("Test Query and settings loaded\nUser initiated Sync\nAll Sync's Complete\n"),
              std::string::npos)
        << r.out;
}

shell::UniqueFd Socket(int domain) { return shell::UniqueFd(::socket(domain, SOCK_STREAM | SOCK_CLOEXEC, 0)); }

// The probe itself, against listeners this test makes.
TEST(DisplayProbe, ConnectsWhereAnXServerWouldListen) {
    shell::UniqueFd local = Socket(AF_UNIX);
    sockaddr_un un{};
    un.sun_family = AF_UNIX;
    const std::string name = "/tmp/.X11-unix/X4711";  // abstract: leaves no file behind
    std::copy(name.begin(), name.end(), un.sun_path + 1);
    ASSERT_EQ(::bind(local.get(), reinterpret_cast<sockaddr*>(&un),
                     static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + name.size())),
              0);
    ASSERT_EQ(::listen(local.get(), 4), 0);
    EXPECT_TRUE(display::XServerReachable(":4711"));
    EXPECT_TRUE(display::XServerReachable("unix:4711.0"));
    local.reset();
    EXPECT_FALSE(display::XServerReachable(":4711"));

    shell::UniqueFd tcp = Socket(AF_INET);
    sockaddr_in in{};
    in.sin_family = AF_INET;
    in.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int number = 500;
    for (; number < 600; ++number) {
        in.sin_port = htons(static_cast<std::uint16_t>(6000 + number));
        if (::bind(tcp.get(), reinterpret_cast<sockaddr*>(&in), sizeof in) == 0) break;
    }
    ASSERT_LT(number, 600);
    ASSERT_EQ(::listen(tcp.get(), 4), 0);
    EXPECT_TRUE(display::XServerReachable("127.0.0.1:" + std::to_string(number) + ".0"));
    EXPECT_TRUE(display::XServerReachable("tcp/localhost:" + std::to_string(number)));
    tcp.reset();
    EXPECT_FALSE(display::XServerReachable("127.0.0.1:" + std::to_string(number)));

    for (const char* bad : {"", "host", ":", ":x", "::0", ":0x"}) EXPECT_FALSE(display::XServerReachable(bad)) << bad;
}

}  // namespace

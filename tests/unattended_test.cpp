// The built program without a usable display: the one line and exit 1 for the windows, a quiet
// headless run for /SYNC with its progress only on a terminal, and a missing store that ends the run.

#include "app/Display.h"
#include "base/UniqueFd.h"
#include "store/Store.h"
#include "tests/support/Fixtures.h"
#include "tests/support/FtpServer.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <optional>
#include <poll.h>
#include <pty.h>
#include <spawn.h>
#include <sys/wait.h>

namespace {

const std::vector<std::string> kPlain{"PATH=/usr/local/bin:/usr/bin:/bin", "LANG=C.UTF-8"};  // no display at all
const std::string kStale = "DISPLAY=:97";  // nothing answers here (checked in SetUp)
const std::string kStart = "Init Program\nSetting Database Connection String\n";

std::vector<std::string> With(const std::string& variable) { return {kPlain[0], kPlain[1], variable}; }
bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// A real X server while the object lives; `display` stays empty when none came up.
struct Xvfb {
    explicit Xvfb(std::vector<std::string> args = {}) {
        base::UniqueFd ready, readyWrite;
        if (!base::MakePipe(ready, readyWrite)) return;
        posix_spawn_file_actions_t fa;
        posix_spawn_file_actions_init(&fa);
        posix_spawn_file_actions_adddup2(&fa, readyWrite.get(), 3);  // the display number comes here
        posix_spawn_file_actions_addopen(&fa, 2, "/dev/null", O_WRONLY, 0);
        args.insert(args.begin(), {"Xvfb", "-displayfd", "3", "-nolisten", "tcp"});
        std::vector<char*> argv;
        for (auto& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        if (posix_spawnp(&pid, "Xvfb", &fa, nullptr, argv.data(), environ) != 0) pid = -1;
        posix_spawn_file_actions_destroy(&fa);
        readyWrite.reset();
        pollfd p{ready.get(), POLLIN, 0};
        std::string number;
        for (char c = 0; pid > 0 && ::poll(&p, 1, 10000) == 1 && ::read(p.fd, &c, 1) == 1 && c != '\n';) number += c;
        if (!number.empty()) display = "DISPLAY=:" + number;
    }
    ~Xvfb() {
        if (pid > 0 && ::kill(pid, SIGTERM) == 0) ::waitpid(pid, nullptr, 0);
    }
    pid_t pid = -1;
    std::string display;
};

// The program copied into a folder of its own, where its store would be.
class Program : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(display::XServerReachable(":97")) << "something listens as display :97";
        testsupport::CopyProgram(dir.path());
    }
    testsupport::ProgramResult Run(const std::vector<std::string>& env, std::vector<std::string> args = {"/SYNC"},
                                   int stderrFd = -1) {
        return testsupport::RunProgram(exe, args, env, std::chrono::seconds(30), {}, stderrFd);
    }
    testsupport::TempDir dir;
    const std::string exe = dir / "tessary";
};

TEST_F(Program, WithoutADisplayTheWindowsExitOneWithOneLine) {
    const std::string line = "Tessary needs a display for its windows: run \"tessary /SYNC\" for an unattended run, "
                             "or start the windows with \"xvfb-run -a tessary\".\n";
    const std::vector<std::vector<std::string>> argCases{{}, {"--help"}, {"--version"}, {"-platform", "xcb"}};
    for (const auto& env : {kPlain, With(kStale), With("QT_QPA_PLATFORM=xcb"), With("WAYLAND_DISPLAY=wayland-97")})
        for (const auto& args : argCases) {
            const auto r = Run(env, args);
            SCOPED_TRACE(env.back() + (args.empty() ? "" : " " + args[0]));
            EXPECT_EQ(r.status, 1) << r.err;
            EXPECT_EQ(r.err, line);
            EXPECT_EQ(r.out, "");
        }
}

// A job of three files (6000 bytes) on a real server: the progress goes to a
// terminal on standard error; standard error that is no terminal, whose only
// reader is the user's cron mail, gets nothing.
TEST_F(Program, StaleDisplaySyncRunsHeadlessWithProgressOnlyOnATerminal) {
    testsupport::FtpServer server(dir / "server");
    testsupport::MakeStore(dir.path());
    for (int i : {1, 2, 3}) testsupport::WriteFile(dir / ("data/f" + std::to_string(i)), std::string(1000 * i, 'x'));
    testsupport::OpenStoreIn(dir.path());
    testsupport::AddJob(dir / "data", testsupport::AddProfile(server.port(), "secret", "/"), "NO");
    store::StoreConnection().Close();

    base::UniqueFd master, slave;
    ASSERT_EQ(::openpty(master.put(), slave.put(), nullptr, nullptr, nullptr), 0);
    const auto onTerminal = Run(With(kStale), {"/SYNC"}, slave.get());
    slave.reset();
    std::string shown;
    pollfd p{master.get(), POLLIN, 0};
    char buf[4096];
    for (ssize_t n; !Has(shown, "/s\r\n") && ::poll(&p, 1, 5000) == 1 && (n = ::read(p.fd, buf, sizeof buf)) > 0;)
        shown.append(buf, static_cast<std::size_t>(n));
    EXPECT_EQ(onTerminal.status, 0) << onTerminal.out;
    EXPECT_TRUE(Has(onTerminal.out, (dir / "data/f3") + " has changed\n")) << "status lines stay on standard output";
    EXPECT_TRUE(Has(shown, "\r\x1b[KChecked 3 of 3 files, sent 3 files (5.9 KiB), ")) << shown;

    const auto onPipe = Run(With(kStale));
    EXPECT_EQ(onPipe.status, 0) << onPipe.out << onPipe.err;
    EXPECT_EQ(onPipe.err, "");
    EXPECT_EQ(onPipe.out.rfind(kStart + "Opened Database\nRun Query on settings\nTest Query and settings loaded\n"
                                        "User initiated Sync\n", 0), 0u) << onPipe.out;
    EXPECT_TRUE(Has(onPipe.out, "All Sync's Complete\n")) << onPipe.out;
}

// Without a store the start-up box becomes a line and the run ends, on a stale
// display, a working one, and one that refuses the program (as a user's desktop
// does root's cron); with a store the refusing display runs headless.
TEST_F(Program, MissingStoreEndsTheRunAndARefusingDisplayRunsHeadless) {
    const Xvfb open;
    const std::string cookies = dir / "cookies";
    std::optional<Xvfb> refusing;
    if (testsupport::RunProgram("xauth", {"-f", cookies, "add", ":0", "MIT-MAGIC-COOKIE-1", std::string(32, 'a')},
                                kPlain).status == 0)
        refusing.emplace(std::vector<std::string>{"-auth", cookies});
    std::vector<std::string> displays{kStale};
    for (const Xvfb* x : {&open, refusing ? &*refusing : static_cast<const Xvfb*>(nullptr)})
        if (x && !x->display.empty()) displays.push_back(x->display);
    for (const auto& display : displays) {
        const auto r = Run(With(display));
        EXPECT_EQ(std::to_string(r.status) + r.err, "1") << display << "\n" << r.out << r.err;
        EXPECT_EQ(r.out.rfind(kStart + "An error occured while attempting to open settings\n"
                              "An error has destroyed the chances of this program functioning\n"
                              "Could not open " + (dir / "information.mdb") + ": unable to open database file\n", 0),
                  0u) << display << "\n" << r.out;
    }
    if (displays.size() < 3) GTEST_SKIP() << "Xvfb or xauth is missing: not every display was tried";
    testsupport::MakeStore(dir.path());
    const auto r = Run(With(displays[2]));
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_TRUE(Has(r.out, "Test Query and settings loaded\nUser initiated Sync\nAll Sync's Complete\n")) << r.out;
}

}  // namespace

// The built program without a usable display: the one line and exit 1 for the windows, a quiet
// headless run for /SYNC with its progress only on a terminal, and a missing store that ends the run.

#include "app/Display.h"
#include "base/UniqueFd.h"
#include "store/Store.h"
#include "tests/support/Fixtures.h"
#include "tests/support/FtpServer.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <pty.h>

namespace {

const std::vector<std::string> kPlain{"PATH=/usr/local/bin:/usr/bin:/bin", "LANG=C.UTF-8"};  // no display at all
const std::string kStale = "DISPLAY=:97";  // nothing answers here (checked in SetUp)
const std::string kStart = "Init Program\nSetting Database Connection String\n";

std::vector<std::string> With(const std::string& variable) { return {kPlain[0], kPlain[1], variable}; }
using testsupport::Has;

// A real X server while the object lives; `display` stays empty when none came up.
struct Xvfb : testsupport::Background {
    explicit Xvfb(const std::vector<std::string>& more = {}) : Background(Args(more)) {}
    static std::vector<std::string> Args(std::vector<std::string> more) {  // the display number on standard output
        more.insert(more.begin(), {"Xvfb", "-displayfd", "1", "-nolisten", "tcp"});
        return more;
    }
    const std::string display = firstLine.empty() ? "" : "DISPLAY=:" + firstLine;
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
    const std::string shown = testsupport::ReadUntil(master.get(), "/s\r\n");
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

// The progress line of an unattended run on a real pseudo-terminal: what
// is drawn, how often, that echoed status lines stay whole, and that
// nothing is written where there is no terminal.

#include "shell/StatusLog.h"
#include "shell/TerminalProgress.h"
#include "shell/UniqueFd.h"

#include <gtest/gtest.h>

#include <chrono>
#include <pty.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

using shell::TerminalProgress;
using shell::UniqueFd;
using syncrun::Progress;

namespace {

const std::string kErase = "\r\x1b[K";

// Reads what the terminal shows until `until` appears or the other side is
// closed, giving up after a few seconds.
std::string ReadUntil(int fd, const std::string& until) {
    std::string seen;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (until.empty() || seen.find(until) == std::string::npos) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        pollfd p{fd, POLLIN, 0};
        if (left.count() <= 0 || ::poll(&p, 1, static_cast<int>(left.count())) <= 0) break;
        char buf[4096];
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n <= 0) break;  // EIO once the last holder of the other side is gone
        seen.append(buf, static_cast<std::size_t>(n));
    }
    return seen;
}

std::size_t Count(const std::string& text, const std::string& what) {
    std::size_t n = 0;
    for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

TEST(TerminalProgress, LineSaysCheckedOfFoundSentBytesAndRate) {
    EXPECT_EQ(TerminalProgress::Line({40, 12, 3, 1536}, 2048), "Checked 12 of 40 files, sent 3 files (1.5 KiB), 2.0 KiB/s");
    EXPECT_EQ(TerminalProgress::Line({1, 1, 1, 700}, 0), "Checked 1 of 1 files, sent 1 file (700 B), 0 B/s");
    EXPECT_EQ(TerminalProgress::Bytes(3.0 * 1024 * 1024 * 1024), "3.0 GiB");
}

TEST(TerminalProgress, RedrawsOnOneLineAFewTimesASecondAndEndsWithTheFullCounts) {
    UniqueFd master, slave;
    ASSERT_EQ(::openpty(master.put(), slave.put(), nullptr, nullptr, nullptr), 0);
    TerminalProgress progress(slave.get());
    ASSERT_TRUE(progress.Active());

    const auto started = std::chrono::steady_clock::now();
    for (std::int64_t i = 1; i <= 5000; ++i) progress.Update({5000, i, i / 20, i / 20 * 4096});
    progress.Finish();
    progress.Update({1, 1, 1, 1});  // after the end: nothing more
    const auto elapsed = std::chrono::steady_clock::now() - started;
    const std::string shown = ReadUntil(master.get(), "/s\r\n");

    ASSERT_EQ(shown.rfind(kErase + "Checked 1 of 5000 files, sent 0 files (0 B), 0 B/s", 0), 0u) << shown;
    const std::string finalLine = kErase + "Checked 5000 of 5000 files, sent 250 files (1000.0 KiB), ";
    const auto at = shown.rfind(finalLine);
    ASSERT_NE(at, std::string::npos) << shown;
    EXPECT_EQ(shown.substr(shown.size() - 4), "/s\r\n");  // the terminal turns "\n" into "\r\n"
    EXPECT_EQ(Count(shown, "\n"), 1u);
    EXPECT_EQ(Count(shown, "Checked 5000 of 5000"), 1u);
    // The first update draws at once, then at most one draw per interval,
    // then the final line.
    const auto intervals = elapsed / TerminalProgress::kRedrawInterval;
    EXPECT_LE(Count(shown, kErase), static_cast<std::size_t>(intervals) + 2) << shown;
}

TEST(TerminalProgress, WritesNothingWhereThereIsNoTerminal) {
    UniqueFd readEnd, writeEnd;
    ASSERT_TRUE(shell::MakePipe(readEnd, writeEnd));
    {
        TerminalProgress progress(writeEnd.get());
        EXPECT_FALSE(progress.Active());
        progress.Update({3, 1, 1, 10});
        progress.Suspend();
        progress.Resume();
        progress.Finish();
    }
    writeEnd.reset();
    char c;
    EXPECT_EQ(::read(readEnd.get(), &c, 1), 0);
}

// A child whose standard output and standard error are one terminal, as in
// a run started by hand: the progress line is erased before each status
// line and drawn again after it, so no status line is broken up.
TEST(TerminalProgress, EchoedStatusLinesOnTheSameTerminalStayWhole) {
    UniqueFd master;
    const pid_t pid = ::forkpty(master.put(), nullptr, nullptr, nullptr);
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        TerminalProgress* progress = shell::TerminalProgressForUnattendedRun();
        if (!progress) ::_exit(3);
        statuslog::SetEcho(true);
        progress->Update({2, 0, 0, 0});
        LogStatus("First line");
        progress->Update({2, 2, 1, 100});
        LogStatus("Second line");
        progress->Finish();
        ::_exit(0);
    }
    const std::string shown = ReadUntil(master.get(), "");
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    ASSERT_EQ(WEXITSTATUS(status), 0) << "no terminal on standard error";

    // However the updates fall against the redraw interval, each status
    // line starts on an erased line and the progress line follows it.
    const auto first = shown.find(kErase + "First line\r\n" + kErase + "Checked ");
    const auto second = shown.find(kErase + "Second line\r\n" + kErase + "Checked 2 of 2 files, sent 1 file (100 B), ");
    EXPECT_NE(first, std::string::npos) << shown;
    EXPECT_NE(second, std::string::npos) << shown;
    EXPECT_LT(first, second);
    EXPECT_EQ(Count(shown, "\n"), 3u) << shown;
    EXPECT_EQ(shown.substr(shown.size() - 4), "/s\r\n") << shown;
}

}  // namespace

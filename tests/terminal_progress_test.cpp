// The progress line of an unattended run on a real pseudo-terminal: what is drawn, how often, and that
// echoed status lines stay whole. That nothing is drawn without a terminal is the unattended test's.

#include "base/StatusLog.h"
#include "app/TerminalProgress.h"
#include "base/UniqueFd.h"
#include "tests/support/Fixtures.h"

#include <gtest/gtest.h>

#include <pty.h>
#include <sys/wait.h>

namespace {

using app::TerminalProgress;
using testsupport::ReadUntil;
const std::string kErase = "\r\x1b[K";

std::size_t Count(const std::string& text, const std::string& what, std::size_t from = 0) {
    const auto at = text.find(what, from);
    return at == std::string::npos ? 0 : 1 + Count(text, what, at + 1);
}

// The first update draws at once, then at most one draw per interval, then the final line.
TEST(TerminalProgress, RedrawsOnOneLineAFewTimesASecondAndEndsWithTheFullCounts) {
    EXPECT_EQ(TerminalProgress::Line({40, 12, 3, 1536}, 2048),
              "Checked 12 of 40 files, sent 3 files (1.5 KiB), 2.0 KiB/s");
    EXPECT_EQ(TerminalProgress::RestoreLine({40, 12, 3, 1536}, 2048), "Restored 12 of 40 files (1.5 KiB), 2.0 KiB/s");
    EXPECT_EQ(TerminalProgress::Bytes(3.0 * 1024 * 1024 * 1024), "3.0 GiB");
    base::UniqueFd master, slave;
    ASSERT_EQ(::openpty(master.put(), slave.put(), nullptr, nullptr, nullptr), 0);
    TerminalProgress progress(slave.get());
    ASSERT_TRUE(progress.Active());
    const auto started = std::chrono::steady_clock::now();
    for (std::int64_t i = 1; i <= 5000; ++i) progress.Update({5000, i, i / 20, i / 20 * 4096});
    progress.Finish();
    progress.Update({1, 1, 1, 1});  // after the end: nothing more
    const auto intervals = (std::chrono::steady_clock::now() - started) / TerminalProgress::kRedrawInterval;
    const std::string shown = ReadUntil(master.get(), "/s\r\n");  // the terminal turns "\n" into "\r\n"
    EXPECT_EQ(shown.rfind(kErase + "Checked 1 of 5000 files, sent 0 files (0 B), 0 B/s", 0), 0u) << shown;
    EXPECT_EQ(Count(shown, kErase + "Checked 5000 of 5000 files, sent 250 files (1000.0 KiB), "), 1u) << shown;
    EXPECT_TRUE(shown.ends_with("/s\r\n"));
    EXPECT_EQ(Count(shown, "\n"), 1u);
    EXPECT_LE(Count(shown, kErase), static_cast<std::size_t>(intervals) + 2) << shown;
}

// Standard output and standard error on one terminal, as in a run started by
// hand: however the updates fall against the redraw interval, each status line
// starts on an erased line and the progress line is drawn again after it.
TEST(TerminalProgress, EchoedStatusLinesOnTheSameTerminalStayWhole) {
    base::UniqueFd master;
    const pid_t pid = ::forkpty(master.put(), nullptr, nullptr, nullptr);
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        TerminalProgress* progress = app::TerminalProgressForUnattendedRun();
        if (!progress) ::_exit(3);
        statuslog::SetEcho(true);
        progress->Update({2, 0, 0, 0});
        LogStatus("First line");
        progress->Update({2, 2, 1, 100});
        LogStatus("Second line");
        progress->Finish();
        ::_exit(0);
    }
    const std::string shown = ReadUntil(master.get(), "\x01");  // to the end (EIO)
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "no terminal on standard error";
    const auto first = shown.find(kErase + "First line\r\n" + kErase + "Checked ");
    const auto second = shown.find(kErase + "Second line\r\n" + kErase + "Checked 2 of 2 files, sent 1 file (100 B), ");
    EXPECT_NE(second, std::string::npos) << shown;
    EXPECT_LT(first, second) << shown;
    EXPECT_EQ(Count(shown, "\n"), 3u) << shown;
    EXPECT_TRUE(shown.ends_with("/s\r\n")) << shown;
}

}  // namespace

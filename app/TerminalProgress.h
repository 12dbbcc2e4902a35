#pragma once
// The progress of an unattended run, drawn on a terminal as one line that
// rewrites itself. Nothing is written unless the descriptor is a terminal,
// so logs and cron mail get the status lines only.

#include "sync/Progress.h"

#include <chrono>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <utility>

namespace app {

class TerminalProgress {
public:
    explicit TerminalProgress(int fd);
    TerminalProgress(const TerminalProgress&) = delete;
    TerminalProgress& operator=(const TerminalProgress&) = delete;

    bool Active() const { return active_; }
    // Draws a restore's counts from now on.
    void ForRestore() { restoring_ = true; }

    // Takes the newest progress; any thread, as often as wanted. Draws at
    // once the first time, then at most every kRedrawInterval.
    void Update(const syncrun::Progress& progress);
    // Draws the final counts and ends the line; draws nothing after that.
    void Finish();

    // Around a line someone else writes to the same terminal: Suspend
    // erases the progress line, Resume draws it again.
    void Suspend();
    void Resume();

    // "Checked 12 of 40 files, sent 3 files (1.5 MiB), 120.0 KiB/s"
    static std::string Line(const syncrun::Progress& progress, double bytesPerSecond);
    // "Restored 12 of 40 files (1.5 MiB), 120.0 KiB/s": files done and found, bytes come in.
    static std::string RestoreLine(const syncrun::Progress& progress, double bytesPerSecond);
    // "512 B", "1.5 KiB", "3.0 MiB", ...
    static std::string Bytes(double bytes);

    static constexpr std::chrono::milliseconds kRedrawInterval{250};
    static constexpr std::chrono::seconds kRateWindow{5};

private:
    using Clock = std::chrono::steady_clock;
    void DrawLocked(Clock::time_point now, bool final);
    double RecentRateLocked(Clock::time_point now);
    void Write(const std::string& text) const;

    const int fd_;
    const bool active_;
    std::mutex mutex_;
    syncrun::Progress latest_;
    bool haveProgress_ = false;
    bool suspended_ = false;
    bool finished_ = false;
    bool restoring_ = false;
    Clock::time_point started_{};
    Clock::time_point lastDraw_{};
    std::deque<std::pair<Clock::time_point, std::int64_t>> samples_;  // bytes sent at each draw
};

// The progress line of an unattended run on standard error, or nullptr
// when standard error is no terminal. When standard output is the same
// terminal, each echoed status line erases it first and redraws it after.
// Made on the first call; lives until the process ends.
TerminalProgress* TerminalProgressForUnattendedRun();

}  // namespace app

#include "app/TerminalProgress.h"

#include "base/StatusLog.h"

#include <cerrno>
#include <cstdio>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace app {
namespace {

// Back to the start of the line and erase it.
constexpr char kEraseLine[] = "\r\x1b[K";

bool SameTerminal(int a, int b) {
    struct stat sa {}, sb {};
    return ::isatty(a) && ::isatty(b) && ::fstat(a, &sa) == 0 && ::fstat(b, &sb) == 0 && sa.st_rdev == sb.st_rdev;
}

}  // namespace

TerminalProgress::TerminalProgress(int fd) : fd_(fd), active_(::isatty(fd) == 1) {}

void TerminalProgress::Update(const syncrun::Progress& progress) {
    if (!active_) return;
    const Clock::time_point now = Clock::now();
    const std::lock_guard lock(mutex_);
    if (finished_) return;
    latest_ = progress;
    if (!haveProgress_) {
        haveProgress_ = true;
        started_ = now;
        samples_.emplace_back(now, progress.bytesSent);
    } else if (now - lastDraw_ < kRedrawInterval) {
        return;
    }
    if (!suspended_) DrawLocked(now, false);
}

void TerminalProgress::Finish() {
    if (!active_) return;
    const std::lock_guard lock(mutex_);
    if (finished_) return;
    finished_ = true;
    DrawLocked(Clock::now(), true);
}

void TerminalProgress::Suspend() {
    if (!active_) return;
    const std::lock_guard lock(mutex_);
    if (suspended_ || finished_) return;
    suspended_ = true;
    if (haveProgress_) Write(kEraseLine);
}

void TerminalProgress::Resume() {
    if (!active_) return;
    const std::lock_guard lock(mutex_);
    if (!suspended_) return;
    suspended_ = false;
    if (haveProgress_ && !finished_) DrawLocked(Clock::now(), false);
}

void TerminalProgress::DrawLocked(Clock::time_point now, bool final) {
    double rate = 0;
    if (final) {
        // The whole run's average says more at the end than the last seconds.
        const double seconds = std::chrono::duration<double>(now - started_).count();
        if (seconds > 0) rate = static_cast<double>(latest_.bytesSent) / seconds;
    } else {
        samples_.emplace_back(now, latest_.bytesSent);
        rate = RecentRateLocked(now);
    }
    lastDraw_ = now;
    std::string line = restoring_ ? RestoreLine(latest_, rate) : Line(latest_, rate);
    // A line wider than the terminal wraps, and "\r" would then erase only
    // its last row.
    winsize size{};
    if (::ioctl(fd_, TIOCGWINSZ, &size) == 0 && size.ws_col > 1 && line.size() >= size.ws_col)
        line.resize(size.ws_col - 1u);
    Write(kEraseLine + line + (final ? "\n" : ""));
}

double TerminalProgress::RecentRateLocked(Clock::time_point now) {
    while (samples_.size() > 2 && now - samples_[1].first >= kRateWindow) samples_.pop_front();
    const auto& [since, bytesThen] = samples_.front();
    const double seconds = std::chrono::duration<double>(now - since).count();
    if (seconds <= 0) return 0;
    return static_cast<double>(latest_.bytesSent - bytesThen) / seconds;
}

void TerminalProgress::Write(const std::string& text) const {
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd_, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;  // a terminal that went away: the run goes on
        done += static_cast<std::size_t>(n);
    }
}

std::string TerminalProgress::Bytes(double bytes) {
    static constexpr const char* kUnits[] = {"KiB", "MiB", "GiB", "TiB"};
    if (bytes < 1024) return std::to_string(static_cast<std::int64_t>(bytes < 0 ? 0 : bytes)) + " B";
    int unit = -1;
    while (bytes >= 1024 && unit < 3) {
        bytes /= 1024;
        ++unit;
    }
    char text[32];
    std::snprintf(text, sizeof text, "%.1f %s", bytes, kUnits[unit]);
    return text;
}

std::string TerminalProgress::Line(const syncrun::Progress& p, double bytesPerSecond) {
    return "Checked " + std::to_string(p.filesChecked) + " of " + std::to_string(p.filesFound) + " files, sent " +
           std::to_string(p.filesSent) + (p.filesSent == 1 ? " file (" : " files (") +
           Bytes(static_cast<double>(p.bytesSent)) + "), " + Bytes(bytesPerSecond) + "/s";
}

std::string TerminalProgress::RestoreLine(const syncrun::Progress& p, double bytesPerSecond) {
    return "Restored " + std::to_string(p.filesChecked) + " of " + std::to_string(p.filesFound) + " files (" +
           Bytes(static_cast<double>(p.bytesSent)) + "), " + Bytes(bytesPerSecond) + "/s";
}

TerminalProgress* TerminalProgressForUnattendedRun() {
    static TerminalProgress* const progress = []() -> TerminalProgress* {
        static TerminalProgress onStderr(STDERR_FILENO);
        if (!onStderr.Active()) return nullptr;
        if (SameTerminal(STDOUT_FILENO, STDERR_FILENO))
            statuslog::SetEchoGuard([] { onStderr.Suspend(); }, [] { onStderr.Resume(); });
        return &onStderr;
    }();
    return progress;
}

}  // namespace app

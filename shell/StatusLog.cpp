#include "shell/StatusLog.h"

#include <cstdio>
#include <mutex>

namespace statuslog {
namespace {

Sink& CurrentSink() {
    static Sink sink;
    return sink;
}

// Lines come from the sync run's thread and the GUI thread alike; each
// reaches standard output and the sink whole and in the order written.
std::recursive_mutex& LogMutex() {
    static std::recursive_mutex mutex;
    return mutex;
}

bool& Echo() {
    static bool echo = false;
    return echo;
}

struct EchoGuard {
    std::function<void()> before, after;
};

EchoGuard& Guard() {
    static EchoGuard guard;
    return guard;
}

}  // namespace

Sink SetSink(Sink sink) {
    const std::lock_guard lock(LogMutex());
    Sink old = std::move(CurrentSink());
    CurrentSink() = std::move(sink);
    return old;
}

void SetEcho(bool on) { Echo() = on; }

void SetEchoGuard(std::function<void()> before, std::function<void()> after) {
    Guard() = {std::move(before), std::move(after)};
}

}  // namespace statuslog

void LogStatus(const std::string& text) {
    const std::lock_guard lock(statuslog::LogMutex());
    if (statuslog::Echo()) {
        const statuslog::EchoGuard& guard = statuslog::Guard();
        if (guard.before) guard.before();
        // Error texts end in a line break of their own: one is enough.
        std::fwrite(text.data(), 1, text.size(), stdout);
        if (text.empty() || text.back() != '\n') std::fputc('\n', stdout);
        std::fflush(stdout);
        if (guard.after) guard.after();
    }
    if (statuslog::CurrentSink()) statuslog::CurrentSink()(text);
}

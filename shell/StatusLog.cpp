#include "shell/StatusLog.h"

#include <cstdio>

namespace statuslog {
namespace {

Sink& CurrentSink() {
    static Sink sink;
    return sink;
}

bool& Echo() {
    static bool echo = false;
    return echo;
}

}  // namespace

Sink SetSink(Sink sink) {
    Sink old = std::move(CurrentSink());
    CurrentSink() = std::move(sink);
    return old;
}

void SetEcho(bool on) { Echo() = on; }

}  // namespace statuslog

void LogStatus(const std::string& text) {
    if (statuslog::Echo()) {
        // Error texts end in a line break of their own: one is enough.
        std::fwrite(text.data(), 1, text.size(), stdout);
        if (text.empty() || text.back() != '\n') std::fputc('\n', stdout);
        std::fflush(stdout);
    }
    if (statuslog::CurrentSink()) statuslog::CurrentSink()(text);
}

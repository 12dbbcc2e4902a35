#include "base/StatusLog.h"

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
    // Error texts end in a line break of their own, which is no part of the
    // line, nor are the blanks before it.
    std::size_t end = text.size();
    while (end > 0 && (text[end - 1] == '\n' || text[end - 1] == '\r' || text[end - 1] == ' ' || text[end - 1] == '\t'))
        --end;
    const std::string line = text.substr(0, end);
    const std::lock_guard lock(statuslog::LogMutex());
    if (statuslog::Echo()) {
        const statuslog::EchoGuard& guard = statuslog::Guard();
        if (guard.before) guard.before();
        std::fwrite(line.data(), 1, line.size(), stdout);
        std::fputc('\n', stdout);
        std::fflush(stdout);
        if (guard.after) guard.after();
    }
    if (statuslog::CurrentSink()) statuslog::CurrentSink()(line);
}

namespace {

// Length of the UTF-8 sequence at text[i] that encodes a printable
// character; 0 for anything to escape (invalid, overlong, C1 controls).
std::size_t PrintableSequence(std::string_view text, std::size_t i) {
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char b = byte(i);
    std::size_t n = 0;
    char32_t cp = 0;
    if (b >= 0xc2 && b <= 0xdf) n = 2, cp = b & 0x1f;
    else if (b >= 0xe0 && b <= 0xef) n = 3, cp = b & 0x0f;
    else if (b >= 0xf0 && b <= 0xf4) n = 4, cp = b & 0x07;
    else return 0;
    if (i + n > text.size()) return 0;
    for (std::size_t k = 1; k < n; ++k) {
        if ((byte(i + k) & 0xc0) != 0x80) return 0;
        cp = (cp << 6) | (byte(i + k) & 0x3f);
    }
    const bool overlong = (n == 3 && cp < 0x800) || (n == 4 && cp < 0x10000);
    if (overlong || cp > 0x10ffff || (cp >= 0xd800 && cp <= 0xdfff) || (cp >= 0x80 && cp <= 0x9f)) return 0;
    return n;
}

}  // namespace

std::string OneLine(std::string_view text) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c >= 0x20 && c < 0x7f) {
            out += static_cast<char>(c);
            ++i;
            continue;
        }
        if (c >= 0x80) {
            if (const std::size_t n = PrintableSequence(text, i)) {
                out.append(text.substr(i, n));
                i += n;
                continue;
            }
        }
        switch (c) {
        case '\r': out += "\\r"; break;
        case '\n': out += "\\n"; break;
        case '\t': out += "\\t"; break;
        case '\0': out += "\\0"; break;
        default:
            out += "\\x";
            out += kHex[c >> 4];
            out += kHex[c & 0x0f];
        }
        ++i;
    }
    return out;
}

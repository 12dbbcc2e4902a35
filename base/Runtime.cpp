#include "base/Runtime.h"

#include <cctype>
#include <climits>
#include <cstdio>
#include <sys/resource.h>
#include <unistd.h>

namespace runtime {
namespace {

std::string& CommandText() {
    static std::string text;
    return text;
}

std::string& AppPathOverride() {
    static std::string folder;
    return folder;
}

std::function<void(int)>& EndHook() {
    static std::function<void(int)> hook;
    return hook;
}

}  // namespace

std::string Command() { return CommandText(); }

void SetCommandLine(int argc, char** argv) {
    std::string text;
    for (int i = 1; i < argc; ++i) {
        if (i > 1) text += ' ';
        text += argv[i];
    }
    CommandText() = std::move(text);
}

std::string AppPath() {
    if (!AppPathOverride().empty()) return AppPathOverride();
    char buf[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0) return ".";
    std::string exe(buf, static_cast<std::size_t>(n));
    const auto slash = exe.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? std::string("/") : exe.substr(0, slash);
}

void SetAppPathForTesting(std::string folder) { AppPathOverride() = std::move(folder); }

void End(int status) {
    std::fflush(stdout);
    std::fflush(stderr);
    if (EndHook()) EndHook()(status);
    ::_exit(status);
}

void SetEndHookForTesting(std::function<void(int)> hook) { EndHook() = std::move(hook); }

bool IsNumeric(std::string_view text) {
    std::size_t i = 0;
    const std::size_t n = text.size();
    auto skipBlanks = [&] { while (i < n && (text[i] == ' ' || text[i] == '\t')) ++i; };
    auto digits = [&] {
        const std::size_t start = i;
        while (i < n && std::isdigit(static_cast<unsigned char>(text[i]))) ++i;
        return i - start;
    };
    skipBlanks();
    if (i < n && (text[i] == '+' || text[i] == '-')) ++i;
    std::size_t mantissa = digits();
    if (i < n && text[i] == '.') {
        ++i;
        mantissa += digits();
    }
    if (mantissa == 0) return false;
    if (i < n && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        if (i < n && (text[i] == '+' || text[i] == '-')) ++i;
        if (digits() == 0) return false;
    }
    skipBlanks();
    return i == n;
}

bool HasSyncSwitch(std::string_view commandLine) { return HasSwitch(commandLine, "/sync"); }

bool HasVerifySwitch(std::string_view commandLine) { return HasSwitch(commandLine, "/verify"); }

bool HasSwitch(std::string_view commandLine, std::string_view sw) {
    for (std::size_t i = 0; i + sw.size() <= commandLine.size(); ++i) {
        std::size_t k = 0;
        while (k < sw.size() &&
               std::tolower(static_cast<unsigned char>(commandLine[i + k])) == sw[k])
            ++k;
        if (k == sw.size()) return true;
    }
    return false;
}

void LowerThisThreadsPriority() {
    // Linux keeps a nice value per thread; new threads take their creator's.
    ::setpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()), 10);
}

}  // namespace runtime

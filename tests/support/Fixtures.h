#pragma once
// What many tests share: status lines recorded, a store's rows for a run, trees to compare, child processes.

#include "base/StatusLog.h"
#include "base/UniqueFd.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <sys/types.h>
#include <vector>

namespace testsupport {

// Takes away the capabilities that let root read and list anything, so a
// mode of 000 denies access as it does for a user; given back at the end.
class PermissionsBite {
public:
    PermissionsBite();
    ~PermissionsBite();
    PermissionsBite(const PermissionsBite&) = delete;
    PermissionsBite& operator=(const PermissionsBite&) = delete;

private:
    std::uint32_t saved_[6] = {};  // the capability sets as capget gave them
    bool active_ = false;
};

// Records every status line while it lives (from any thread).
class LineRecorder {
public:
    LineRecorder();
    ~LineRecorder();
    LineRecorder(const LineRecorder&) = delete;
    LineRecorder& operator=(const LineRecorder&) = delete;

    std::vector<std::string> Lines() const;
    void Clear();
    // The lines that hold `part`.
    std::vector<std::string> Matching(const std::string& part) const;

private:
    mutable std::mutex mutex_;
    std::vector<std::string> lines_;
    statuslog::Sink previous_;
};

// Rows in the store StoreConnection() has open.
std::int64_t AddProfile(int port, const std::string& password = "secret", const std::string& directory = "/backup",
                        const std::string& host = "127.0.0.1");
std::int64_t AddJob(const std::string& folder, std::int64_t profile, const std::string& subDirs = "YES");
// The rows of `table` (in that store) that match `where`.
std::int64_t Count(const std::string& table, const std::string& where = "1");

using Tree = std::map<std::string, std::string>;  // relative path -> content
// Every regular file below base (links not followed); hidden names left
// out when asked.
Tree ReadTree(const std::string& base, bool skipHidden = false);

struct ProgramResult {
    int status = -1;  // exit status; -1 when killed or not started
    std::string out;
    std::string err;
};
// Runs the program (looked up in PATH when the name has no slash) with exactly `env`, standard input closed,
// for at most `limit`; SIGKILL once `killWhen` says so of the output so far. A `stderrFd` other than -1 (a
// terminal, say) becomes the child's standard error, and `err` stays empty.
ProgramResult RunProgram(const std::string& exe, const std::vector<std::string>& args,
                         const std::vector<std::string>& env,
                         std::chrono::seconds limit = std::chrono::seconds(60),
                         const std::function<bool(const std::string& out)>& killWhen = {}, int stderrFd = -1);

// A program left running while the object lives (SIGTERM at the end), standard error dropped; its first
// line of standard output is read at the start (empty when none came within ten seconds).
class Background {
public:
    explicit Background(const std::vector<std::string>& args);
    ~Background();
    Background(const Background&) = delete;
    Background& operator=(const Background&) = delete;
    std::string firstLine;
    int fd() const { return out_.get(); }  // the rest of its standard output

private:
    pid_t pid_ = -1;
    base::UniqueFd out_;
};

// Polls every 10 ms for up to `limit`: whether the condition came true.
bool WaitFor(const std::function<bool()>& condition, std::chrono::milliseconds limit = std::chrono::seconds(10));
// What `fd` (a terminal's master side, a pipe) gives until `until` shows, its other side is gone (EIO, EOF)
// or ten seconds pass without a byte.
std::string ReadUntil(int fd, const std::string& until);
inline bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

}  // namespace testsupport

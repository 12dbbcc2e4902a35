#pragma once
// Shared pieces of the FTP layer's tests: a recorder for status lines and
// an owner for connections.

#include "ftp/modFTP.h"
#include "shell/StatusLog.h"

#include <chrono>
#include <string>
#include <vector>

namespace ftptest {

// Records every status line while it lives.
class LogLines {
public:
    LogLines() {
        previous_ = statuslog::SetSink([this](const std::string& line) { lines.push_back(line); });
    }
    ~LogLines() { statuslog::SetSink(std::move(previous_)); }
    LogLines(const LogLines&) = delete;
    LogLines& operator=(const LogLines&) = delete;

    bool Has(const std::string& line) const {
        for (const auto& l : lines)
            if (l == line) return true;
        return false;
    }
    bool Mentions(const std::string& text) const {
        for (const auto& l : lines)
            if (l.find(text) != std::string::npos) return true;
        return false;
    }

    std::vector<std::string> lines;

private:
    statuslog::Sink previous_;
};

// Closes the connection it holds when it goes.
class Connection {
public:
    explicit Connection(ftp::FtpSession* session = nullptr) : session_(session) {}
    ~Connection() { ftp::InternetCloseHandle(session_); }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;
    ftp::FtpSession* get() const { return session_; }
    explicit operator bool() const { return session_ != nullptr; }

private:
    ftp::FtpSession* session_;
};

// Puts the normal waits back when a test that shortened them ends.
class ShortTimeouts {
public:
    explicit ShortTimeouts(std::chrono::milliseconds wait) {
        ftp::SetTimeoutsForTesting(ftp::Timeouts{wait, wait, wait});
    }
    ~ShortTimeouts() { ftp::SetTimeoutsForTesting(ftp::Timeouts{}); }
    ShortTimeouts(const ShortTimeouts&) = delete;
    ShortTimeouts& operator=(const ShortTimeouts&) = delete;
};

}  // namespace ftptest

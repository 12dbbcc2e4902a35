#pragma once
// Helpers shared by the hash and sync tests: a recorder of status lines, a
// transfer window that records what it is asked to do, and a way to make
// file permissions bite when the tests run as root.

#include "shell/StatusLog.h"
#include "sync/TransferWindow.h"

#include <cstdint>
#include <cstring>
#include <functional>
#include <linux/capability.h>
#include <string>
#include <sys/syscall.h>
#include <unistd.h>
#include <vector>

namespace synctest {

// Records every status line while it lives; onLine runs after each one is
// recorded (the place to act while a run is inside).
class LineRecorder {
public:
    LineRecorder() {
        previous_ = statuslog::SetSink([this](const std::string& line) {
            lines.push_back(line);
            if (onLine) onLine(line);
        });
    }
    ~LineRecorder() { statuslog::SetSink(std::move(previous_)); }
    LineRecorder(const LineRecorder&) = delete;
    LineRecorder& operator=(const LineRecorder&) = delete;

    std::vector<std::string> lines;
    std::function<void(const std::string&)> onLine;

private:
    statuslog::Sink previous_;
};

struct Upload {
    std::string fileName, remote, remoteFolder;
    bool operator==(const Upload&) const = default;
};

// A transfer window without a server: it records labels and uploads, and
// refuses the uploads of files whose path holds refuse.
class RecordingWindow : public TransferWindow {
public:
    void SetStatus(const std::string& text) override { statuses.push_back(text); }
    void SetCurrentFile(const std::string& name) override {
        labels.push_back(name);
        if (onCurrentFile) onCurrentFile(name);
    }
    bool ConnectToFTP(std::int64_t) override { return true; }
    bool UploadFile(const std::string& fileName, const std::string& remote,
                    const std::string& remoteFolder) override {
        if (!refuse.empty() && fileName.find(refuse) != std::string::npos) return false;
        uploads.push_back({fileName, remote, remoteFolder});
        return true;
    }
    void Unload() override {}

    std::vector<std::string> statuses, labels;
    std::vector<Upload> uploads;
    std::string refuse;
    std::function<void(const std::string&)> onCurrentFile;
};

// Takes away the capabilities that let root read and list anything, so a
// mode of 000 denies access as it does for a user; given back at the end.
class PermissionsBite {
public:
    PermissionsBite() {
        header_.version = _LINUX_CAPABILITY_VERSION_3;
        header_.pid = 0;
        if (::syscall(SYS_capget, &header_, saved_) != 0) return;
        __user_cap_data_struct reduced[2];
        std::memcpy(reduced, saved_, sizeof reduced);
        for (int cap : {CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH})
            reduced[cap / 32].effective &= ~(1u << (cap % 32));
        active_ = ::syscall(SYS_capset, &header_, reduced) == 0;
    }
    ~PermissionsBite() {
        if (active_) ::syscall(SYS_capset, &header_, saved_);
    }
    PermissionsBite(const PermissionsBite&) = delete;
    PermissionsBite& operator=(const PermissionsBite&) = delete;

private:
    __user_cap_header_struct header_{};
    __user_cap_data_struct saved_[2]{};
    bool active_ = false;
};

}  // namespace synctest

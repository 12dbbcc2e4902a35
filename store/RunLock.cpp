#include "store/RunLock.h"

#include <map>
#include <mutex>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace store {
namespace {

// The descriptor a store's run lock is taken on, opened once and never
// closed: closing any descriptor of the store file would drop the record
// locks SQLite holds on it for every connection of this process (the
// windows' among them).
int LockDescriptor(const std::string& file) {
    static std::mutex mutex;
    static std::map<std::string, int> opened;
    const std::lock_guard lock(mutex);
    if (const auto it = opened.find(file); it != opened.end()) return it->second;
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd >= 0) opened.emplace(file, fd);
    return fd;
}

}  // namespace

RunLock::RunLock(const std::string& storeFile) : fd_(LockDescriptor(storeFile)) {
    held_ = fd_ >= 0 && ::flock(fd_, LOCK_EX | LOCK_NB) == 0;
}

RunLock::~RunLock() {
    if (held_) ::flock(fd_, LOCK_UN);
}

}  // namespace store

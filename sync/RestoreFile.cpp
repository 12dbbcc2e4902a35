#include "sync/RestoreFile.h"

#include "sync/FtpUploader.h"

#include <cerrno>
#include <cstdio>
#include <random>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace syncrun {
namespace {

std::string RandomTemporaryName() {
    static thread_local std::mt19937_64 random{std::random_device{}()};
    char hex[17];
    std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(random()));
    return std::string(kTemporaryPrefix) + hex;
}

// rename that never replaces; link and unlink where the file system has
// no such rename.
bool RenameWithoutReplacing(int folderFd, const std::string& from, const std::string& to) {
    if (::renameat2(folderFd, from.c_str(), folderFd, to.c_str(), RENAME_NOREPLACE) == 0) return true;
    if (errno != EINVAL && errno != ENOSYS) return false;
    if (::linkat(folderFd, from.c_str(), folderFd, to.c_str(), 0) != 0) return false;
    ::unlinkat(folderFd, from.c_str(), 0);
    return true;
}

}  // namespace

RestoreFile::RestoreFile(int folderFd) : folderFd_(folderFd) {
    for (int tries = 0; tries < 8 && fd_ < 0; ++tries) {
        temporary_ = RandomTemporaryName();
        fd_ = ::openat(folderFd_, temporary_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666);
        if (fd_ < 0 && errno != EEXIST) break;
    }
    if (fd_ < 0) error_ = errno;
    else created_ = true;
}

RestoreFile::~RestoreFile() {
    if (fd_ >= 0) ::close(fd_);
    if (created_ && !kept_) ::unlinkat(folderFd_, temporary_.c_str(), 0);
}

bool RestoreFile::Write(const char* data, std::size_t size) {
    md5_.Update(data, size);
    bytes_ += static_cast<std::int64_t>(size);
    while (size > 0) {
        const ssize_t n = ::write(fd_, data, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            error_ = n < 0 ? errno : ENOSPC;
            return false;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

void RestoreFile::Restart() {
    md5_.Restart();
    bytes_ = 0;
    error_ = 0;
    if (::ftruncate(fd_, 0) != 0 || ::lseek(fd_, 0, SEEK_SET) != 0) error_ = errno;
}

bool RestoreFile::Finish(std::int64_t modified) {
    if (modified >= 0) {
        const timespec times[2] = {{modified, 0}, {modified, 0}};
        ::futimens(fd_, times);
    }
    // A close that fails (a full disk on a network file system) lost bytes.
    const int closed = ::close(fd_);
    fd_ = -1;
    if (closed != 0) error_ = errno;
    return closed == 0;
}

bool RestoreFile::Keep(const std::string& name) {
    if (!RenameWithoutReplacing(folderFd_, temporary_, name)) {
        error_ = errno;
        return false;
    }
    kept_ = true;
    return true;
}

}  // namespace syncrun

#include "sync/UploadTap.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace syncrun {

ftp::File OpenForUpload(int folderFd, const std::string& name) {
    const int fd = ::openat(folderFd, name.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) return nullptr;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        errno = 0;
        return nullptr;
    }
    std::FILE* file = ::fdopen(fd, "rb");
    if (!file) ::close(fd);
    // libcurl asks for large pieces: read straight into its buffer, with no
    // buffer of the stream's own (nor the look that sizes one).
    else ::setvbuf(file, nullptr, _IONBF, 0);
    return ftp::File(file);
}


UploadTap::UploadTap(ProgressMeter& progress, RunObserver& observer, bool digest)
    : progress_(progress), observer_(observer), digest_(digest) {}

void UploadTap::Read(const char* data, std::size_t size) {
    if (digest_) md5_.Update(data, size);
    counted_ += static_cast<std::int64_t>(size);
    progress_.bytesSent += static_cast<std::int64_t>(size);
    observer_.OnProgress(progress_.Snapshot());
}

void UploadTap::Rewound() {
    md5_.Restart();
    Failed();
}

void UploadTap::Failed() {
    progress_.bytesSent -= counted_;
    counted_ = 0;
}

std::string UploadTap::HexDigest() { return md5_.HexDigest(); }

}  // namespace syncrun

#include "hash/FileHasher.h"

#include "shell/Runtime.h"

#include <openssl/evp.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace hash {
namespace {

constexpr std::size_t kChunk = 1 << 20;
constexpr auto kYieldEvery = std::chrono::milliseconds(50);

class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

struct MdContextDeleter {
    void operator()(EVP_MD_CTX* ctx) const { EVP_MD_CTX_free(ctx); }
};
using MdContext = std::unique_ptr<EVP_MD_CTX, MdContextDeleter>;

HashResult NotAFile() { return {}; }

HashResult Unreadable(int err) {
    HashResult r;
    r.status = HashResult::Status::Unreadable;
    r.reason = std::strerror(err);
    return r;
}

HashResult Unreadable(const char* why) {
    HashResult r;
    r.status = HashResult::Status::Unreadable;
    r.reason = why;
    return r;
}

std::string Hex(const unsigned char* bytes, unsigned int n) {
    static constexpr char digits[] = "0123456789abcdef";
    std::string out;
    out.reserve(n * 2);
    for (unsigned int i = 0; i < n; ++i) {
        out += digits[bytes[i] >> 4];
        out += digits[bytes[i] & 0x0f];
    }
    return out;
}

}  // namespace

FileHasher& FileHasher::Instance() {
    static FileHasher hasher;
    return hasher;
}

FileHasher::FileHasher() : yield_([] { runtime::DoEvents(); }) {}

void FileHasher::SetYield(std::function<void()> yield) { yield_ = std::move(yield); }

std::string FileHasher::HashFile(const std::string& path) { return Hash(path).hex; }

HashResult FileHasher::Hash(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        const int err = errno;
        // A dangling link is an entry to pass over; a name that is gone
        // altogether is a file that vanished while it was being looked at.
        struct stat link {};
        if (err == ENOENT && ::lstat(path.c_str(), &link) == 0 && S_ISLNK(link.st_mode)) return NotAFile();
        return Unreadable(err);
    }
    if (!S_ISREG(st.st_mode)) return NotAFile();

    // O_NONBLOCK: should the name have become a FIFO since the stat, opening
    // it must not wait for a writer.
    FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    if (fd.get() < 0) return Unreadable(errno);
    if (::fstat(fd.get(), &st) != 0) return Unreadable(errno);
    if (!S_ISREG(st.st_mode)) return NotAFile();

    MdContext ctx(EVP_MD_CTX_new());
    if (!ctx || EVP_DigestInit_ex(ctx.get(), EVP_md5(), nullptr) != 1) return Unreadable("MD5 is not available");

    // Small files get a buffer of their own size; nothing grows past one chunk.
    const auto size = static_cast<std::size_t>(std::max<off_t>(st.st_size, 0));
    std::vector<unsigned char> buffer(std::clamp<std::size_t>(size + 1, 4096, kChunk));
    auto lastYield = std::chrono::steady_clock::now();
    for (;;) {
        const ssize_t n = ::read(fd.get(), buffer.data(), buffer.size());
        if (n == 0) break;
        if (n < 0) {
            if (errno == EINTR) continue;
            return Unreadable(errno);
        }
        EVP_DigestUpdate(ctx.get(), buffer.data(), static_cast<std::size_t>(n));
        const auto now = std::chrono::steady_clock::now();
        if (now - lastYield >= kYieldEvery) {
            if (yield_) yield_();
            lastYield = std::chrono::steady_clock::now();
        }
    }

    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (EVP_DigestFinal_ex(ctx.get(), digest, &length) != 1) return Unreadable("MD5 failed");
    HashResult r;
    r.status = HashResult::Status::Hashed;
    r.hex = Hex(digest, length);
    return r;
}

std::string HashFile(const std::string& path) { return FileHasher::Instance().HashFile(path); }

}  // namespace hash

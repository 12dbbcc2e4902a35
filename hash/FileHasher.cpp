#include "hash/FileHasher.h"

#include "base/UniqueFd.h"

#include <openssl/evp.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace hash {
namespace {

constexpr std::size_t kChunk = 1 << 20;

HashResult Unreadable(const std::string& why) {
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

struct Md5Stream::State {
    EVP_MD_CTX* ctx = EVP_MD_CTX_new();
    ~State() { EVP_MD_CTX_free(ctx); }
};

Md5Stream::Md5Stream() : state_(std::make_unique<State>()) { Restart(); }

Md5Stream::~Md5Stream() = default;

void Md5Stream::Restart() {
    // Fetched once: naming the algorithm at every start looks it up among
    // the providers again, under a lock, once a file.
    static EVP_MD* const md5 = EVP_MD_fetch(nullptr, "MD5", nullptr);
    EVP_DigestInit_ex2(state_->ctx, md5, nullptr);
}

void Md5Stream::Update(const void* data, std::size_t size) { EVP_DigestUpdate(state_->ctx, data, size); }

std::string Md5Stream::HexDigest() {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    EVP_DigestFinal_ex(state_->ctx, digest, &length);
    Restart();
    return Hex(digest, length);
}

bool IsDanglingLink(int folderFd, const std::string& path, int err) {
    struct stat link {};
    return err == ENOENT && ::fstatat(folderFd, path.c_str(), &link, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(link.st_mode);
}

HashResult Hash(const std::string& path, bool listedAsFile) { return HashAt(AT_FDCWD, path, listedAsFile); }

HashResult HashAt(int folderFd, const std::string& path, bool listedAsFile) {
    struct stat st {};
    if (!listedAsFile && ::fstatat(folderFd, path.c_str(), &st, 0) != 0) {
        const int err = errno;
        return IsDanglingLink(folderFd, path, err) ? HashResult{} : Unreadable(std::strerror(err));
    }
    if (!listedAsFile && !S_ISREG(st.st_mode)) return {};

    // O_NONBLOCK: should the name have become a FIFO since the stat, opening
    // it must not wait for a writer.
    base::UniqueFd fd(::openat(folderFd, path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    if (fd.get() < 0) {
        const int err = errno;
        return IsDanglingLink(folderFd, path, err) ? HashResult{} : Unreadable(std::strerror(err));
    }
    if (::fstat(fd.get(), &st) != 0) return Unreadable(std::strerror(errno));
    if (!S_ISREG(st.st_mode)) return {};

    Md5Stream md5;
    // One buffer a thread, kept: a run hashes many files on few threads.
    thread_local const std::unique_ptr<unsigned char[]> buffer(new unsigned char[kChunk]);
    off_t total = 0;
    for (;;) {
        const ssize_t n = ::read(fd.get(), buffer.get(), kChunk);
        if (n == 0) break;
        if (n < 0) {
            if (errno == EINTR) continue;
            return Unreadable(std::strerror(errno));
        }
        md5.Update(buffer.get(), static_cast<std::size_t>(n));
        total += n;
        // A short read that brings the file to its size is its end: no
        // second call to hear so (a file growing meanwhile is hashed as it
        // was when opened).
        if (static_cast<std::size_t>(n) < kChunk && total == st.st_size) break;
    }
    HashResult r;
    r.status = HashResult::Status::Hashed;
    r.hex = md5.HexDigest();
    return r;
}

std::string HashFile(const std::string& path) { return Hash(path).hex; }

}  // namespace hash

#pragma once
// The hash of a file's content, the change key of the backup: lowercase hex
// MD5 of the file's bytes. One hasher serves the whole program.

#include <functional>
#include <string>

namespace hash {

struct HashResult {
    enum class Status {
        Hashed,      // hex holds the digest
        NotAFile,    // folder, FIFO, socket, device, broken link: pass it over
        Unreadable,  // a regular file (or a vanished one) that could not be read
    };
    Status status = Status::NotAFile;
    std::string hex;     // empty unless Hashed
    std::string reason;  // why an Unreadable file could not be read
};

class FileHasher {
public:
    // The program's one hasher, created on first use.
    static FileHasher& Instance();

    FileHasher();
    FileHasher(const FileHasher&) = delete;
    FileHasher& operator=(const FileHasher&) = delete;

    // The digest, or the empty text for anything that is not a regular file
    // that can be read.
    std::string HashFile(const std::string& path);
    // The same, saying why a file yields no digest.
    HashResult Hash(const std::string& path);

    // Called at least every 50 ms while a large file is read, so the windows
    // stay responsive; runtime::DoEvents unless replaced.
    void SetYield(std::function<void()> yield);

private:
    std::function<void()> yield_;
};

// FileHasher::Instance().HashFile(path)
std::string HashFile(const std::string& path);

}  // namespace hash

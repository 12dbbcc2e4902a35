#pragma once
// The hash of a file's content, the change key of the backup: lowercase hex
// MD5 of the file's bytes. Safe to call from several threads at once.

#include <memory>
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

// The digest, saying why a file yields none. `listedAsFile`: the caller has
// just seen a regular file there, so it is opened without a look first
// (what it is once open is still checked).
HashResult Hash(const std::string& path, bool listedAsFile = false);
// The same for `name` in the open folder `folderFd` (AT_FDCWD: the path as
// it stands), so the system does not walk the whole path for every file.
HashResult HashAt(int folderFd, const std::string& name, bool listedAsFile);
// `name` in `folderFd` failed with `err` because it is a link to nothing:
// an entry to pass over. A name gone altogether is a file that vanished
// while it was being looked at.
bool IsDanglingLink(int folderFd, const std::string& name, int err);
// The digest, or the empty text for anything that is not a regular file
// that can be read.
std::string HashFile(const std::string& path);

// MD5 of bytes that arrive piece by piece (a file as it is uploaded).
class Md5Stream {
public:
    Md5Stream();
    ~Md5Stream();
    Md5Stream(const Md5Stream&) = delete;
    Md5Stream& operator=(const Md5Stream&) = delete;

    void Update(const void* data, std::size_t size);
    // Starts again from no bytes (a transfer that went again from the top).
    void Restart();
    // Lowercase hex digest of everything since the last restart.
    std::string HexDigest();

private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace hash

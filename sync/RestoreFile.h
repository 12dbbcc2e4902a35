#pragma once
// One file of a restore on its way into the target: written under a hidden
// temporary name in its folder, digested as the bytes arrive, and given a
// name of its own only once it is whole. Nothing is ever written over an
// existing file: the final rename refuses to replace one.

#include "ftp/modFTP.h"
#include "hash/FileHasher.h"

#include <cstdint>
#include <string>

namespace syncrun {

class RestoreFile : public ftp::WriteSink {
public:
    // A new temporary file in the open folder `folderFd`; check Open().
    explicit RestoreFile(int folderFd);
    ~RestoreFile() override;  // removes the temporary file unless kept
    RestoreFile(const RestoreFile&) = delete;
    RestoreFile& operator=(const RestoreFile&) = delete;

    bool Open() const { return fd_ >= 0; }
    // errno of the failed open or write, 0 while all went well.
    int Error() const { return error_; }

    bool Write(const char* data, std::size_t size) override;
    // Back to no bytes, for a download that starts again.
    void Restart();
    std::string HexDigest() { return md5_.HexDigest(); }
    std::int64_t Bytes() const { return bytes_; }

    // The download is whole: its time on the server (`modified` < 0: none
    // known) is set and the file closed. False with Error() set.
    bool Finish(std::int64_t modified);
    // Gives the finished file `name` in its folder. False with Error()
    // set, EEXIST when something has that name already: the file stays
    // under its temporary name for another try.
    bool Keep(const std::string& name);

private:
    int folderFd_;
    int fd_ = -1;
    std::string temporary_;
    bool created_ = false;
    bool kept_ = false;
    int error_ = 0;
    std::int64_t bytes_ = 0;
    hash::Md5Stream md5_;
};

}  // namespace syncrun

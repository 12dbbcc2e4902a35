#pragma once
// A file on its way to the server: opened once for its upload, its bytes
// counted for the progress and, for a new file, digested as they go out.

#include "ftp/CurlHandles.h"
#include "ftp/modFTP.h"
#include "hash/FileHasher.h"
#include "sync/Progress.h"
#include "sync/RunObserver.h"

#include <cstdint>
#include <string>

namespace syncrun {

// Opens `name` in the open folder `folderFd` for its upload. O_NONBLOCK:
// should the name have become a FIFO since it was listed, opening it must
// not wait for a writer. Null with errno set when it cannot be opened;
// null with errno 0 when it is no regular file any more.
ftp::File OpenForUpload(int folderFd, const std::string& name);

// Counts the bytes of an upload for the progress and makes the digest of a
// new file from the very bytes that go out, on the thread that sends them.
class UploadTap : public ftp::ReadTap {
public:
    UploadTap(ProgressMeter& progress, RunObserver& observer, bool digest);

    void Read(const char* data, std::size_t size) override;
    void Rewound() override;
    // A failed upload's bytes do not count as sent.
    void Failed();
    std::string HexDigest();

private:
    ProgressMeter& progress_;
    RunObserver& observer_;
    std::int64_t counted_ = 0;  // bytes of this upload in the progress
    bool digest_;
    hash::Md5Stream md5_;
};

}  // namespace syncrun

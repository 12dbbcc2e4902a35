#pragma once
// Where a sync run sends its files: one connection per job, any number of
// uploads over it, and its closing.

#include "store/Jobs.h"

#include <cstdio>
#include <string>

namespace ftp {
class ReadTap;
struct RemotePath;
}  // namespace ftp

namespace syncrun {

class Uploader {
public:
    virtual ~Uploader() = default;
    // Connects for the job and changes to its profile's remote directory;
    // false (with the lines that say why) when any of it failed.
    virtual bool Connect(const store::Job& job) = 0;
    // Sends the local file to `target` below the remote directory: from
    // `file` when the caller has it open, else opened from localPath. `tap`
    // sees every byte read. `replacing`: a copy sent before is there, and
    // must stay whole until the new one is. True when the file reached the
    // server.
    virtual bool Upload(std::FILE* file, const std::string& localPath, const ftp::RemotePath& target,
                        ftp::ReadTap* tap, bool replacing) = 0;
    // Closes the job's connection and logs the disconnect line; the only
    // place a connection is closed.
    virtual void Close() = 0;
    // The server stopped answering and stayed dead: the rest of the job is
    // passed over (it is sent by a later run).
    virtual bool GaveUp() const { return false; }
    // Removes from the remote folder the temporary copies a cut-off run
    // may have left there.
    virtual void SweepFolder(const ftp::RemotePath& folder) { (void)folder; }
    // Since Connect, a temporary copy may have been left on the server: a
    // transfer under one failed and it could not be removed, or a sweep
    // could not finish.
    virtual bool LeftTemporaries() const { return false; }
};

}  // namespace syncrun

#pragma once
// One logged-in connection of a job and what goes through it: the job's
// uploads use one or more of these at once, each on a thread of its own.

#include "store/Jobs.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace ftp {
class ReadTap;
class WriteSink;
struct RemoteEntry;
struct RemotePath;
}  // namespace ftp

namespace syncrun {

using Lines = std::vector<std::string>;

// How one try at a request ended.
enum class Attempt {
    Done,
    Refused,     // by the server, or on this side (the file, a name): trying again is no use
    Lost,        // the connection broke off: worth one more try on a new one
    Unanswered,  // the server stopped answering, or no new connection could be made
};

inline bool WorthAnotherTry(Attempt attempt) { return attempt == Attempt::Lost || attempt == Attempt::Unanswered; }

// A request, and once more when the connection dropped (the next request
// logs in afresh); only the last try's lines are kept.
template <typename Request>
Attempt TwiceAtMost(std::vector<std::string>& lines, Request request) {
    const Attempt first = request();
    if (!WorthAnotherTry(first)) return first;
    lines.clear();
    return request();
}

class Uploader {
public:
    virtual ~Uploader() = default;
    // Logs in for the job and changes to its profile's remote directory;
    // false, with the lines that say why, when any of it failed.
    virtual bool Connect(const store::Job& job, Lines& lines) = 0;
    // Makes every missing level of the remote folder; "FTP Info: DoneDir",
    // and `made`, when it made one. `parentMade`: the job made the folder
    // above it, so this one is new too.
    virtual Attempt MakeFolder(const ftp::RemotePath& folder, bool parentMade, bool& made, Lines& lines) = 0;
    // One try at sending the local file to `target` below the remote
    // directory: from `file` when the caller has it open (at its start),
    // else opened from localPath. `tap` sees every byte read. `replacing`:
    // a copy sent before is there and must stay whole until the new one is.
    virtual Attempt Put(std::FILE* file, const std::string& localPath, const ftp::RemotePath& target,
                        ftp::ReadTap* tap, bool replacing, Lines& lines) = 0;
    // Removes from the folder the temporary copies a cut-off run may have
    // left there.
    virtual Attempt Sweep(const ftp::RemotePath& folder) = 0;
    // The entries of a remote folder below the remote directory. Refused
    // when the server has no such folder.
    virtual Attempt List(const ftp::RemotePath& folder, std::vector<ftp::RemoteEntry>& entries, Lines& lines) = 0;
    // One try at downloading `source` into `sink`; `modified` is its time on
    // the server (seconds since the epoch) or -1.
    virtual Attempt Get(const ftp::RemotePath& source, ftp::WriteSink& sink, std::int64_t& modified, Lines& lines) = 0;
    // Since Connect, a temporary copy may have been left on the server: a
    // transfer under one failed and it could not be removed.
    virtual bool LeftTemporaries() const = 0;
    // Closes the connection (QUIT), writing nothing.
    virtual void Close() = 0;
};

}  // namespace syncrun

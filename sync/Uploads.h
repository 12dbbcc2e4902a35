#pragma once
// A job's uploads over up to N connections at once, each on a thread of
// its own. Files are handed over in listing order and started in that
// order; their lines go to their slots of the ordered log, and their
// outcomes come back in listing order too, so records follow their own
// uploads however the transfers overlap.
//
// A connection beyond the first is opened when there is work for it; one
// the server refuses is no failure: the job goes on with the connections
// it has. A connection lost during a transfer is made again once and the
// file tried once more; a file that fails again fails alone. The job gives
// up only when the server stops answering or takes no new connection at
// all, which costs it two waits whatever N is.

#include "ftp/CurlHandles.h"
#include "ftp/FtpPaths.h"
#include "sync/OrderedLog.h"
#include "sync/Progress.h"
#include "sync/RunObserver.h"
#include "sync/Uploader.h"

#include <condition_variable>
#include <deque>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace syncrun {

// The uploads at once a profile's text names: a whole number from 1 to 8;
// anything else (empty among it) is 4.
int ConnectionsFromProfile(const std::string& text);

class Uploads {
public:
    using Factory = std::function<std::unique_ptr<Uploader>()>;

    struct File {
        std::uint64_t tag = 0;  // the caller's, handed back with its outcome
        OrderedLog::Slot slot = 0;
        ftp::File file;         // open at its start, or null: opened from localPath
        std::string localPath;
        ftp::RemotePath target;
        bool replacing = false;  // a copy sent before must stay whole until the new one is
        bool digest = false;     // make the MD5 of the bytes that go out
        std::int64_t folders = 0;  // the folders checked, the file's own among them
    };
    struct Outcome {
        std::uint64_t tag = 0;
        bool sent = false;
        std::string digest;  // of what went out, when asked for
    };

    Uploads(Factory factory, int connections, RunObserver& observer, OrderedLog& log, ProgressMeter& progress);
    ~Uploads();  // Close()
    Uploads(const Uploads&) = delete;
    Uploads& operator=(const Uploads&) = delete;

    // The job's first connection, on this thread: true when it logged in
    // and changed to the remote directory. Its lines go to the log.
    bool Connect(const store::Job& job);
    // Hands a file over; while every connection is busy and as many files
    // wait, `idle` runs every 100 ms. A file handed over after the job
    // stopped is not sent.
    void Send(File file, const std::function<void()>& idle);
    // The outcomes of the files, in the order handed over, so far as every
    // file before them has ended.
    std::vector<Outcome> TakeOutcomes();
    // Waits until every file handed over has ended.
    void Drain(const std::function<void()>& idle);
    // Removes from the folder the temporary copies a cut-off run may have
    // left there, once every upload has ended. A lost connection leaves the
    // rest of the sweep to the next run, so a dead server costs one wait
    // here, not one a folder.
    void Sweep(const ftp::RemotePath& folder, const std::function<void()>& idle);
    // One request on the first connection once every upload has ended (a
    // listing, the manifest). Refused without a call when the job has
    // stopped or its connection is gone.
    Attempt OnFirstConnection(const std::function<Attempt(Uploader&)>& request, const std::function<void()>& idle);
    // The job was deleted: it ends at the next file that has not started,
    // with one line in its place; the files after it are passed over.
    void JobDeleted();

    // The job gave up, or the rest was passed over.
    bool Stopped() const;
    // The folders checked by the file at which the job stopped, if it
    // stopped at a file handed over.
    std::optional<std::int64_t> FoldersAtStop() const;
    // A temporary copy may have been left on the server, or a sweep could
    // not finish.
    bool LeftTemporaries() const;
    // Drops the files not yet started, waits for the rest and closes every
    // connection, writing nothing.
    void Stop();
    // Stop(), then the disconnect line (also when Connect failed).
    void Close();

private:
    struct Queued {
        File file;
        std::uint64_t seq = 0;
    };
    struct Worker {
        std::unique_ptr<Uploader> uploader;
        std::thread thread;
    };

    void Work(Worker& worker, bool connected);
    Outcome Run(Uploader& uploader, Queued& queued);
    // Makes the file's folder unless this job has it already; the first
    // try takes its turn, in the order the files were handed over.
    Attempt FolderStep(Uploader& uploader, const Queued& queued, bool first, Lines& lines);
    void StopLocked(std::uint64_t seq, std::optional<std::int64_t> folders);
    void DropQueueLocked();
    void Finish(std::uint64_t seq, Outcome outcome);
    void WaitWhile(std::unique_lock<std::mutex>& lock, const std::function<bool()>& busy,
                   const std::function<void()>& idle);

    const Factory factory_;
    const int connections_;
    RunObserver& observer_;
    OrderedLog& log_;
    ProgressMeter& progress_;
    store::Job job_;

    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<std::unique_ptr<Worker>> workers_;
    std::deque<Queued> queue_;
    int alive_ = 0, connecting_ = 0, busy_ = 0;
    bool refusedMore_ = false;  // the server took no more connections
    bool closing_ = false, closed_ = false;
    bool connected_ = false;
    std::uint64_t nextSeq_ = 0, folderTurn_ = 0;
    std::map<std::string, bool> knownFolders_;  // found on the server this job: true when made
    std::map<std::uint64_t, Outcome> ended_;
    std::uint64_t nextOutcome_ = 0;
    bool stopped_ = false;
    std::uint64_t firstDropped_ = 0;  // with stopped_: this file and those after it are passed over
    std::optional<std::int64_t> foldersAtStop_;
    bool leftTemporaries_ = false, sweepStopped_ = false;
};

}  // namespace syncrun

#pragma once
// The file check of one folder job: every entry of a folder is compared
// with the job's record of it and handed to the job's uploads when it is
// new or has changed; the folder walk does the same for a whole folder
// tree. Files that have a record are hashed ahead on the pool's workers;
// a new file's digest is made from its bytes as they go out. Its record
// follows its own upload, whenever that ends.

#include "store/FileRecords.h"
#include "sync/HashPool.h"
#include "sync/OrderedLog.h"
#include "sync/Progress.h"
#include "sync/RemotePath.h"
#include "sync/RunObserver.h"
#include "sync/Uploads.h"

#include <chrono>
#include <cstdint>
#include <map>
#include <optional>
#include <string>

namespace syncrun {

// What kept a job's check from covering every file.
struct CheckTally {
    int filesSent = 0;
    int uploadsFailed = 0;
    int filesPassedOver = 0;    // regular files that could not be read
    int foldersPassedOver = 0;  // folders that could not be listed

    bool Clean() const { return uploadsFailed == 0 && filesPassedOver == 0 && foldersPassedOver == 0; }
};

// Where the check of one job works: its store records, the hashing
// workers, the job's uploads, its lines and who watches. `progress` runs
// on over the whole run.
struct CheckContext {
    std::int64_t syncId = 0;
    store::FileRecords& records;
    HashPool& pool;
    Uploads& uploads;
    RunObserver& observer;
    ProgressMeter& progress;
    OrderedLog& log;
    // The job's last run was cut off: each folder is swept of its
    // temporary copies before anything goes into it.
    bool sweepTemporaries = false;
};

class FileCheck {
public:
    explicit FileCheck(const CheckContext& context);

    // Checks every entry of one folder. A folder that cannot be listed gets
    // a status line naming it and the reason, and the result is false.
    // Store failures are thrown (store::StoreError).
    bool CheckFolder(const std::string& folder);

    // Checks the folder and every folder below it, depth first, and returns
    // how many folders were checked. reset starts the count again at 0;
    // the walk's own deeper calls pass false and add to it.
    std::int64_t CheckFolderTree(const std::string& path, bool reset);

    // Waits for every upload handed over and records what they sent. The
    // job's lines are all written then.
    void Finish();
    // The folders checked up to the file at which the job stopped (it gave
    // up, or it was deleted), as going one by one would have counted them.
    std::optional<std::int64_t> FoldersAtStop() const;

    const CheckTally& Tally() const { return tally_; }

private:
    struct Entry;
    // What a file handed over needs for its record once it is sent.
    struct Handed {
        std::optional<store::StoredFile> stored;
        std::string fullPath, name, date, knownHash;
    };
    void Prepare(Entry& entry, bool lookAtPlainFile);
    void Consume(Entry& entry);
    void Send(Entry& entry, const std::string& knownHash);
    void Record(const Uploads::Outcome& outcome);
    // Records what ended and commits on time: while the check waits.
    void Idle();
    bool JobDeleted();
    bool Stopped() const;
    static const std::string& NameIn(const Entry& entry);
    HashPool::TicketRef Submit(const Entry& entry, std::int64_t outOfTurnSize = 0);
    void PassOverFolder(const std::string& folder, const std::string& reason);
    void Write(const std::string& line) { ctx_.log.Write(line); }

    CheckContext ctx_;
    CheckTally tally_;
    std::int64_t total_ = 0;
    std::uint64_t nextTag_ = 0;
    std::map<std::uint64_t, Handed> handed_;
    std::optional<std::int64_t> deletedAt_;  // the folders checked when the job was found deleted
    std::chrono::steady_clock::time_point lastLookForJob_;
};

// The line that names what was passed over and why.
std::string CouldNotRead(const std::string& path, const std::string& reason);

}  // namespace syncrun

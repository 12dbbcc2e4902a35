#pragma once
// The file check of one folder job: every entry of a folder is compared
// with the job's record of it and sent when it is new or has changed; the
// folder walk does the same for a whole folder tree. Files that have a
// record are hashed ahead on the pool's workers; new files are sent at
// once, their digest made from the bytes as they go out (or, for large
// ones, on a worker at the same time).

#include "store/FileRecords.h"
#include "sync/HashPool.h"
#include "sync/Progress.h"
#include "sync/RemotePath.h"
#include "sync/RunObserver.h"
#include "sync/Uploader.h"

#include <cstdint>
#include <ctime>
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
// workers, the job's connection, and who watches. `progress` runs on over
// the whole run.
struct CheckContext {
    std::int64_t syncId = 0;
    store::FileRecords& records;
    HashPool& pool;
    Uploader& uploader;
    RunObserver& observer;
    Progress& progress;
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

    // Records a file that has just been sent: a new one (no stored record)
    // gets a record with all six columns, a changed one its new FileHash.
    void UpdateFileRecord(const std::optional<store::StoredFile>& stored, const std::string& fullPath,
                          const std::string& date, const std::string& hash, const std::string& name);

    const CheckTally& Tally() const { return tally_; }

private:
    struct Entry;
    void Prepare(Entry& entry, bool lookAtPlainFile);
    void Consume(Entry& entry);
    void Send(Entry& entry, const std::string& knownHash);
    static bool Changed(const Entry& entry);  // since it was looked at
    static const std::string& NameIn(const Entry& entry);
    HashPool::TicketRef Submit(const Entry& entry, std::int64_t outOfTurnSize = 0);
    void PassOverFolder(const std::string& folder, const std::string& reason);

    CheckContext ctx_;
    CheckTally tally_;
    std::int64_t total_ = 0;
};

// The line that names what was passed over and why.
std::string CouldNotRead(const std::string& path, const std::string& reason);

}  // namespace syncrun

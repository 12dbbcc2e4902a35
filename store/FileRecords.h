#pragma once
// The file-state records of table myFiles as the sync run reads and writes
// them, the jobs whose last run was cut off in the middle of its uploads
// (table myUnfinished), and the statements that clear the file state.
//
// The run never holds the store's write lock while it waits (on the
// server, the disk or a digest): lookups read without a write transaction
// (the store keeps a write-ahead log, so they never wait for writers nor
// keep them waiting), and new records gather in memory until Commit
// writes them in one short transaction.

#include "store/Store.h"

#include <chrono>
#include <functional>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace store {

// A file's record for one job.
struct StoredFile {
    std::int64_t fileId = 0;
    std::string hash;
};

// A record as a whole: where the file is here and on the server, and its digest.
struct RecordedFile {
    std::int64_t fileId = 0;
    std::string fullPath, folder, name, hash;
};

// Clears the file state of every file: the next run sends everything.
std::string ClearAllFilesStatement();
// Removes the file-state records of the files in the folder and below it,
// and nothing else: /data spares /data2 and /database.txt, and "_" or "%"
// in the folder match only themselves. The folder "/" clears everything.
std::string ClearFolderFilesStatement(const std::string& folder);
// A job deleted during the run (its records were deleted with it) must not
// keep the records the run wrote after that.
void ForgetRecordsOfDeletedJob(Connection& store, std::int64_t syncId);

class FileRecords {
public:
    // Throws StoreError.
    explicit FileRecords(Connection& store, std::chrono::milliseconds commitEvery = std::chrono::milliseconds(1000));
    // What was not committed by then is lost: those files are sent again
    // by the next run.
    ~FileRecords();
    FileRecords(const FileRecords&) = delete;
    FileRecords& operator=(const FileRecords&) = delete;

    // The job's record of the file: each job keeps its own, so a file two
    // jobs cover reaches both servers.
    std::optional<StoredFile> Find(const std::string& fullPath, std::int64_t syncId);
    // Both wait in memory for the next commit.
    void Insert(const std::string& fullPath, const std::string& remoteFolder, const std::string& name,
                const std::string& date, const std::string& hash, std::int64_t syncId);
    void UpdateHash(std::int64_t fileId, const std::string& hash);
    // Every record of the job, in path order, with what waits committed.
    std::vector<RecordedFile> OfJob(std::int64_t syncId);
    // The same one at a time, none of them kept: a job's 100,000 records
    // need not all be in memory at once.
    void EachOfJob(std::int64_t syncId, const std::function<void(const RecordedFile&)>& take);
    // Drops the record at the next commit: its file is sent as a new one.
    void Forget(std::int64_t fileId);

    // Whether the job's last run was cut off while it had uploads under way:
    // then temporary copies of its replacements may be left on the server.
    bool Unfinished(std::int64_t syncId);
    // Notes, committed at once, that the job has uploads under way; called
    // before each upload, it writes once a job.
    void MarkUnfinished(std::int64_t syncId);
    // The job's uploads are over and nothing of them is left behind; goes
    // with the next commit.
    void MarkFinished(std::int64_t syncId);

    // Whether the job is still in the store.
    bool JobStillThere(std::int64_t syncId);

    // Commits what waits when the last commit is the commit interval ago.
    void CommitIfDue();
    // Writes what waits in one transaction now (a job's end, the run's end).
    void Commit();

private:
    struct Pending {
        enum class Kind { Insert, UpdateHash, Finished, Forget } kind;
        std::int64_t id = 0;  // FileID, or SyncID
        std::string fullPath, folder, name, date, hash;
    };

    Connection& store_;
    std::chrono::milliseconds commitEvery_;
    Statement find_;
    Statement insert_;
    Statement update_;
    Statement finished_;
    Statement forget_;
    std::int64_t markedJob_ = 0;  // the job MarkUnfinished wrote for
    // The lookups share one read transaction until the next commit: one
    // snapshot a second rather than one a file. A reader of the write-ahead
    // log keeps no writer waiting.
    bool reading_ = false;
    void EndReading();
    std::vector<Pending> pending_;
    std::chrono::steady_clock::time_point lastCommit_;
};

}  // namespace store

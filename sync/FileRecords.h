#pragma once
// The file-state records of table myFiles as the sync run reads and writes
// them: looked up through one prepared statement, read and written in
// batches (one transaction) that commit at least once a second, so the
// store's syncs stay few and other writers wait a second at most. Also the
// jobs whose last run was cut off in the middle of its uploads (table
// myUnfinished).

#include "store/Store.h"

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

namespace syncrun {

// A file's record for one job.
struct StoredFile {
    std::int64_t fileId = 0;
    std::string hash;
};

class FileRecords {
public:
    // Throws store::StoreError.
    explicit FileRecords(store::Connection& store,
                         std::chrono::milliseconds commitEvery = std::chrono::milliseconds(1000));
    // Whatever is not committed by then is rolled back: those files are
    // sent again by the next run.
    ~FileRecords();
    FileRecords(const FileRecords&) = delete;
    FileRecords& operator=(const FileRecords&) = delete;

    // The job's record of the file: each job keeps its own, so a file two
    // jobs cover reaches both servers.
    std::optional<StoredFile> Find(const std::string& fullPath, std::int64_t syncId);
    void Insert(const std::string& fullPath, const std::string& remoteFolder, const std::string& name,
                const std::string& date, const std::string& hash, std::int64_t syncId);
    void UpdateHash(std::int64_t fileId, const std::string& hash);

    // Whether the job's last run was cut off while it had uploads under way:
    // then temporary copies of its replacements may be left on the server.
    bool Unfinished(std::int64_t syncId);
    // Notes, committed at once, that the job has uploads under way; called
    // before each upload, it writes once a job.
    void MarkUnfinished(std::int64_t syncId);
    // The job's uploads are over and nothing of them is left behind (in
    // the batch).
    void MarkFinished(std::int64_t syncId);

    // Commits the batch when it has been open for the commit interval.
    void CommitIfDue();
    // Commits the batch now (a job's end, the run's end).
    void Commit();

private:
    void Begin();

    store::Connection& store_;
    std::chrono::milliseconds commitEvery_;
    store::Statement find_;
    store::Statement insert_;
    store::Statement update_;
    std::int64_t markedJob_ = 0;  // the job MarkUnfinished wrote for
    std::optional<store::Transaction> batch_;
    std::chrono::steady_clock::time_point batchStarted_;
};

}  // namespace syncrun

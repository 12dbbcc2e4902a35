#include "sync/SyncRun.h"

#include "ftp/modFTP.h"
#include "shell/StatusLog.h"
#include "store/Store.h"
#include "sync/FileRecords.h"
#include "sync/HashPool.h"
#include "sync/modFiles.h"

#include <cerrno>
#include <cstring>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

std::atomic<std::int64_t> CurrentSyncID{0};

namespace syncrun {
namespace {

std::atomic<bool> g_running{false};

class RunningFlag {
public:
    RunningFlag() = default;
    ~RunningFlag() { g_running = false; }
    RunningFlag(const RunningFlag&) = delete;
    RunningFlag& operator=(const RunningFlag&) = delete;
};

// The descriptor a store's run lock is taken on, opened once and never
// closed: closing any descriptor of the store file would drop the record
// locks SQLite holds on it for every connection of this process (the
// windows' among them).
int StoreLockDescriptor(const std::string& file) {
    static std::mutex mutex;
    static std::map<std::string, int> opened;
    const std::lock_guard lock(mutex);
    if (const auto it = opened.find(file); it != opened.end()) return it->second;
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd >= 0) opened.emplace(file, fd);
    return fd;
}

// One run at a time on a store, across processes (a cron run and the
// window's Sync, Now): a lock on the store file itself, held for the run.
// It is a flock(), which SQLite's own record locks never see.
class StoreRunLock {
public:
    explicit StoreRunLock(const std::string& file) : fd_(StoreLockDescriptor(file)) {
        held_ = fd_ >= 0 && ::flock(fd_, LOCK_EX | LOCK_NB) == 0;
    }
    ~StoreRunLock() {
        if (held_) ::flock(fd_, LOCK_UN);
    }
    StoreRunLock(const StoreRunLock&) = delete;
    StoreRunLock& operator=(const StoreRunLock&) = delete;
    // False only when another run holds it; a store that cannot be opened
    // fails on its own a moment later, with the store's message.
    bool Taken() const { return fd_ < 0 || held_; }

private:
    int fd_;
    bool held_ = false;
};

// Why the job's folder cannot be walked at all, if it cannot.
std::optional<std::string> FolderProblem(const std::string& folder) {
    struct stat st {};
    if (::stat(folder.c_str(), &st) != 0) return std::string(std::strerror(errno));
    if (!S_ISDIR(st.st_mode)) return std::string(std::strerror(ENOTDIR));
    return std::nullopt;
}

// A job deleted during the run (its records were deleted with it) must not
// keep the records the run wrote after that.
void ForgetRecordsOfDeletedJob(store::Connection& store, std::int64_t syncId) {
    const std::string id = std::to_string(syncId);
    if (store.Execute("select SyncID from Tessary where SyncID = " + id).Eof()) {
        store.Execute("delete from myFiles where SyncID = " + id);
        store.Execute("delete from myUnfinished where SyncID = " + id);
    }
}

// The run's own connection to the store the program has open: the windows
// keep theirs on the GUI thread.
void OpenRunStore(store::Connection& runStore, const RunStore& store) {
    if (!store.open) throw store::StoreError("Operation is not allowed when the object is closed.");
    runStore.ConnectionString = store.connectionString;
    runStore.Open();
}

// One connected job: its folder, or its whole tree. False when something
// in it was passed over or not sent.
bool CheckJob(const CheckContext& context, const Job& job, RunOutcome& outcome) {
    if (const auto problem = FolderProblem(job.folder)) {
        LogStatus(CouldNotRead(job.folder, *problem));
        return false;
    }
    FileCheck check(context);
    if (job.subDirs == "YES") {
        const std::int64_t n = check.CheckFolderTree(job.folder, true);
        LogStatus("Updated: " + std::to_string(n) + " Folders");
    } else {
        const bool listed = check.CheckFolder(job.folder);
        LogStatus(std::string("Updated: ") + (listed ? "1" : "0") + " Single Folder");
    }
    outcome.filesSent += check.Tally().filesSent;
    return check.Tally().Clean();
}

// Closes the job at hand: its connection, its window.
void EndJob(RunObserver& observer, Uploader& uploader) {
    uploader.Close();
    observer.JobEnded();
}

}  // namespace

bool IsRunning() { return g_running; }

RunStore CurrentStore() {
    const store::Connection& shared = store::StoreConnection();
    return {shared.IsOpen(), shared.ConnectionString};
}

RunOutcome RunSync(RunObserver& observer, Uploader& uploader, const RunStore& store) {
    if (g_running.exchange(true)) {
        LogStatus("A sync is already running.");
        return {};
    }
    RunningFlag running;
    RunOutcome outcome;
    bool clean = true;
    bool inJob = false;

    LogStatus("User initiated Sync");
    try {
        store::Connection runStore;
        OpenRunStore(runStore, store);
        const StoreRunLock runLock(runStore.DataSource());
        if (!runLock.Taken()) {
            LogStatus("A sync is already running.");
            return outcome;
        }
        const std::vector<Job> jobs = ReadJobs(runStore);
        FileRecords records(runStore);
        HashPool pool;
        Progress progress;
        // Uploads run on this thread: the batch commits on time during long ones.
        ftp::SetTransferYield([&records] { records.CommitIfDue(); });
        struct YieldReset {
            ~YieldReset() { ftp::SetTransferYield(nullptr); }
        } yieldReset;

        for (const Job& job : jobs) {
            ++outcome.jobs;
            CurrentSyncID = job.syncId;
            observer.JobStarted();
            inJob = true;
            observer.SetStatus("Scanning Files..");
            const bool sweep = records.Unfinished(job.syncId);
            if (uploader.Connect(job)) {
                // Replacements of names a URL cannot carry go up through the
                // remote directory itself.
                if (sweep) uploader.SweepFolder("");
                const CheckContext context{job.syncId, records, pool, uploader, observer, progress, sweep};
                const bool jobClean = CheckJob(context, job, outcome);
                clean = jobClean && clean;
                // A folder passed over was not swept either: the next run tries again.
                if (!uploader.LeftTemporaries() && (jobClean || !sweep)) records.MarkFinished(job.syncId);
            } else {
                LogStatus("FTP Info: Server Login Failed.");
                clean = false;
            }
            records.Commit();
            inJob = false;
            EndJob(observer, uploader);
            ForgetRecordsOfDeletedJob(runStore, job.syncId);
        }
    } catch (const store::StoreError& e) {
        // The program stays up; the job at hand is closed like any other.
        LogStatus(std::string("Sync stopped: ") + e.what());
        if (inJob) EndJob(observer, uploader);
        CurrentSyncID = 0;
        return outcome;
    }
    LogStatus("All Sync's Complete");
    CurrentSyncID = 0;
    outcome.completed = true;
    outcome.clean = clean;
    return outcome;
}

}  // namespace syncrun

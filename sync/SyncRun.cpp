#include "sync/SyncRun.h"

#include "ftp/modFTP.h"
#include "base/StatusLog.h"
#include "store/Store.h"
#include "store/FileRecords.h"
#include "store/Jobs.h"
#include "store/RunLock.h"
#include "sync/HashPool.h"
#include "sync/modFiles.h"

#include <cerrno>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include <sys/stat.h>

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

// Why the job's folder cannot be walked at all, if it cannot.
std::optional<std::string> FolderProblem(const std::string& folder) {
    struct stat st {};
    if (::stat(folder.c_str(), &st) != 0) return std::string(std::strerror(errno));
    if (!S_ISDIR(st.st_mode)) return std::string(std::strerror(ENOTDIR));
    return std::nullopt;
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
bool CheckJob(const CheckContext& context, const store::Job& job, RunOutcome& outcome) {
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

RunOutcome RunSync(RunObserver& observer, Uploader& uploader, HashPool& pool, const RunStore& store) {
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
        const store::RunLock runLock(runStore.DataSource());
        if (!runLock.Taken()) {
            LogStatus("A sync is already running.");
            return outcome;
        }
        const std::vector<store::Job> jobs = ReadJobs(runStore);
        store::FileRecords records(runStore);
        Progress progress;

        for (const store::Job& job : jobs) {
            ++outcome.jobs;
            CurrentSyncID = job.syncId;
            observer.JobStarted();
            inJob = true;
            observer.SetStatus("Scanning Files..");
            const bool sweep = records.Unfinished(job.syncId);
            if (uploader.Connect(job)) {
                // Replacements of names a URL cannot carry go up through the
                // remote directory itself.
                if (sweep) uploader.SweepFolder({});
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
            store::ForgetRecordsOfDeletedJob(runStore, job.syncId);
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

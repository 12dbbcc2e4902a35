#include "sync/SyncRun.h"

#include "ftp/modFTP.h"
#include "base/StatusLog.h"
#include "store/Store.h"
#include "store/CreateStore.h"
#include "store/FileRecords.h"
#include "store/Jobs.h"
#include "store/RunLock.h"
#include "sync/HashPool.h"
#include "sync/ManifestUpload.h"
#include "sync/OrderedLog.h"
#include "sync/Uploads.h"
#include "sync/Verify.h"
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

// One connected job: its folder, or its whole tree. False when something
// in it was passed over or not sent. `manifestOwed`: the records changed other than by this check, or a run
// before may have left the manifest behind. `manifestSent` is false when
// it was owed and did not go: the job stays unfinished, so the next run
// sends it.
bool CheckJob(const CheckContext& context, const store::Job& job, bool manifestOwed, RunOutcome& outcome,
              bool& manifestSent) {
    manifestSent = true;
    if (const auto problem = FolderProblem(job.folder)) {
        context.log.Write(CouldNotRead(job.folder, *problem));
        return false;
    }
    FileCheck check(context);
    std::string updated;
    if (job.subDirs == "YES") {
        const std::int64_t n = check.CheckFolderTree(job.folder, true);
        check.Finish();
        updated = "Updated: " + std::to_string(check.FoldersAtStop().value_or(n)) + " Folders";
    } else {
        const bool listed = check.CheckFolder(job.folder);
        check.Finish();
        updated = std::string("Updated: ") + (listed ? "1" : "0") + " Single Folder";
    }
    // Every file's lines are written; the job's own come after them.
    context.log.Reset();
    // The manifest follows the records: rewritten when one was added, changed or dropped.
    if (check.Tally().filesSent > 0 || manifestOwed) {
        manifestSent = !context.uploads.Stopped() && SendManifest(context, job);
        if (!manifestSent) context.records.MarkUnfinished(context.syncId);
    }
    context.log.Write(updated);
    outcome.filesSent += check.Tally().filesSent;
    return check.Tally().Clean() && manifestSent;
}

}  // namespace

void OpenRunStore(store::Connection& runStore, const RunStore& store) {
    if (!store.open) throw store::StoreError("Operation is not allowed when the object is closed.");
    runStore.ConnectionString = store.connectionString;
    runStore.Open();
}

bool IsRunning() { return g_running; }

RunStore CurrentStore() {
    const store::Connection& shared = store::StoreConnection();
    return {shared.IsOpen(), shared.ConnectionString};
}

RunOutcome RunSync(RunObserver& observer, const Uploads::Factory& connect, HashPool& pool, const RunStore& store,
                   bool verify) {
    if (g_running.exchange(true)) {
        LogStatus("A sync is already running.");
        return {};
    }
    RunningFlag running;
    RunOutcome outcome;
    bool clean = true;
    OrderedLog log;
    ProgressMeter progress;
    std::optional<Uploads> uploads;  // the job at hand's
    // Closes the job at hand: its connections, its window.
    const auto endJob = [&] {
        uploads->Close();
        uploads.reset();
        observer.JobEnded();
    };

    LogStatus("User initiated Sync");
    try {
        store::Connection runStore;
        OpenRunStore(runStore, store);
        const store::RunLock runLock(runStore.DataSource());
        if (!runLock.Taken()) {
            LogStatus("A sync is already running.");
            return outcome;
        }
        store::UpgradeStore(runStore);
        const std::vector<store::Job> jobs = ReadJobs(runStore);
        store::FileRecords records(runStore);

        for (const store::Job& job : jobs) {
            ++outcome.jobs;
            CurrentSyncID = job.syncId;
            observer.JobStarted();
            observer.SetStatus("Scanning Files..");
            const bool sweep = records.Unfinished(job.syncId);
            uploads.emplace(connect, ConnectionsFromProfile(job.profile ? job.profile->connections : std::string()),
                            observer, log, progress);
            if (uploads->Connect(job)) {
                // Replacements of names a URL cannot carry go up through the
                // remote directory itself.
                if (sweep) uploads->Sweep({}, {});
                const CheckContext context{job.syncId, records, pool, *uploads, observer, progress, log, sweep};
                const VerifyTally verified = verify ? VerifyJob(context, job) : VerifyTally{};
                bool manifestSent = false;
                const bool jobClean =
                    CheckJob(context, job, verified.forgotten > 0 || sweep, outcome, manifestSent) && verified.listed;
                clean = jobClean && clean;
                // A folder passed over was not swept either: the next run tries again.
                if (!uploads->LeftTemporaries() && manifestSent && (jobClean || !sweep))
                    records.MarkFinished(job.syncId);
            } else {
                log.Write("FTP Info: Server Login Failed.");
                clean = false;
            }
            records.Commit();
            endJob();
            store::ForgetRecordsOfDeletedJob(runStore, job.syncId);
        }
    } catch (const store::StoreError& e) {
        // The program stays up; the job at hand is closed like any other,
        // once its uploads under way have ended.
        if (uploads) uploads->Stop();
        log.Reset();
        LogStatus(std::string("Sync stopped: ") + e.what());
        if (uploads) endJob();
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

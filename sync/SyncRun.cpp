#include "sync/SyncRun.h"

#include "ftp/modFTP.h"
#include "shell/Runtime.h"
#include "shell/StatusLog.h"
#include "store/Store.h"
#include "sync/FileCheck.h"

#include <cerrno>
#include <cstring>
#include <optional>
#include <stdexcept>
#include <string>
#include <sys/stat.h>
#include <vector>

std::int64_t CurrentSyncID = 0;

namespace syncrun {
namespace {

bool g_running = false;

// A run that cannot go on for a reason of its own making.
class RunStopped : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class RunningFlag {
public:
    RunningFlag() { g_running = true; }
    ~RunningFlag() { g_running = false; }
    RunningFlag(const RunningFlag&) = delete;
    RunningFlag& operator=(const RunningFlag&) = delete;
};

struct Job {
    std::int64_t syncId = 0;
    std::string folder;
    std::string subDirs;
};

// Every job is read before the first one starts: a job deleted while the
// run yields must not pull the rows from under it.
std::vector<Job> ReadJobs() {
    store::SqlText = "select * from Tessary";
    store::Recordset rows = store::StoreConnection().Execute(store::SqlText);
    std::vector<Job> jobs;
    for (; !rows.Eof(); rows.MoveNext())
        jobs.push_back({rows.FieldInt("SyncID"), rows.Fields("Folder"), rows.Fields("SubDirs")});
    return jobs;
}

// Why the job's folder cannot be walked at all, if it cannot.
std::optional<std::string> FolderProblem(const std::string& folder) {
    struct stat st {};
    if (::stat(folder.c_str(), &st) != 0) return std::string(std::strerror(errno));
    if (!S_ISDIR(st.st_mode)) return std::string(std::strerror(ENOTDIR));
    return std::nullopt;
}

// A job deleted while the run yielded (its records were deleted with it)
// must not keep the records the run wrote after that.
void ForgetRecordsOfDeletedJob(std::int64_t syncId) {
    auto& store = store::StoreConnection();
    const std::string id = std::to_string(syncId);
    if (store.Execute("select SyncID from Tessary where SyncID = " + id).Eof())
        store.Execute("delete from myFiles where SyncID = " + id);
}

void CloseConnection() {
    if (ftp::FtpConnection) ftp::InternetCloseHandle(ftp::FtpConnection);
    ftp::FtpConnection = nullptr;
}

void CloseWindow(std::unique_ptr<TransferWindow>& window) {
    std::unique_ptr<TransferWindow> closing = std::move(window);
    if (closing) closing->Unload();
}

// One connected job: its folder, or its whole tree. False when something
// in it was passed over or not sent.
bool CheckJob(TransferWindow& window, const Job& job, RunOutcome& outcome) {
    if (const auto problem = FolderProblem(job.folder)) {
        LogStatus(CouldNotRead(job.folder, *problem));
        return false;
    }
    FileCheck check(window);
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

// The program stays up; the job at hand is closed like any other.
void Stop(const std::string& why, std::unique_ptr<TransferWindow>& window) {
    LogStatus("Sync stopped: " + why);
    CloseConnection();
    CloseWindow(window);
    CurrentSyncID = 0;
}

}  // namespace

bool IsRunning() { return g_running; }

RunOutcome RunSync(const TransferWindowFactory& makeWindow) {
    if (g_running) {
        LogStatus("A sync is already running.");
        return {};
    }
    RunningFlag running;
    RunOutcome outcome;
    bool clean = true;
    std::unique_ptr<TransferWindow> window;

    LogStatus("User initiated Sync");
    try {
        const std::vector<Job> jobs = ReadJobs();
        for (const Job& job : jobs) {
            ++outcome.jobs;
            CurrentSyncID = job.syncId;
            window = makeWindow();
            if (!window) throw RunStopped("no transfer window for the job");
            window->SetStatus("Scanning Files..");
            runtime::DoEvents();
            if (window->ConnectToFTP(CurrentSyncID)) {
                clean = CheckJob(*window, job, outcome) && clean;
            } else {
                LogStatus("FTP Info: Server Login Failed.");
                clean = false;
            }
            runtime::DoEvents();
            ForgetRecordsOfDeletedJob(job.syncId);
            CloseConnection();
            CloseWindow(window);
        }
    } catch (const store::StoreError& e) {
        Stop(e.what(), window);
        return outcome;
    } catch (const RunStopped& e) {
        Stop(e.what(), window);
        return outcome;
    }
    LogStatus("All Sync's Complete");
    CurrentSyncID = 0;
    outcome.completed = true;
    outcome.clean = clean;
    return outcome;
}

}  // namespace syncrun

#include "store/Jobs.h"

#include "base/EntryID.h"
#include "store/Store.h"

#include <mutex>
#include <set>

namespace store {
namespace {

// A job row and the profile ID it names, before the profile is read.
struct JobRow {
    Job job;
    std::string settingsId;
};

JobRow JobOf(const Recordset& row) {
    JobRow r;
    r.job.syncId = row.FieldInt("SyncID");
    r.job.folder = row.Fields("Folder");
    r.job.subDirs = row.Fields("SubDirs");
    r.settingsId = row.Fields("SettingsID");
    return r;
}

// Fills in the job's profile, or the line that says why it has none. The
// profile's result is let go at once: an open result keeps the store
// locked against other processes.
Job WithProfile(Connection& store, JobRow row) {
    Job job = std::move(row.job);
    const std::string id = std::to_string(job.syncId);
    const auto settingsId = ParseKey(row.settingsId);
    if (!settingsId) {
        job.problem = "FTP Info: Folder job " + id + " names no server profile.";
        return job;
    }
    const Recordset profile = store.Execute(SelectServerStatement(*settingsId));
    if (profile.Eof()) {
        job.problem = "FTP Info: Server profile " + std::to_string(*settingsId) + " of folder job " + id +
                      " is not in the store.";
        return job;
    }
    job.profile = ReadServerProfile(profile);
    return job;
}

std::string SubDirsValue(bool subDirs) { return subDirs ? "'YES'" : "'NO'"; }

}  // namespace

std::string ListJobsStatement() { return "select * from Tessary"; }

std::string SelectJobStatement(std::int64_t syncId) {
    return "select * from Tessary where SyncID = " + std::to_string(syncId);
}

std::string InsertJobStatement(const std::string& folder, const std::string& profileId, bool subDirs) {
    return "insert into Tessary (Folder, SettingsID, SubDirs) values(" + Quoted(folder) + ", " + Quoted(profileId) +
           ", " + SubDirsValue(subDirs) + ")";
}

std::string UpdateJobStatement(const std::string& folder, const std::string& profileId, bool subDirs,
                               std::int64_t syncId) {
    return "Update Tessary set Folder = " + Quoted(folder) + ", SettingsID = " + Quoted(profileId) +
           ", SubDirs = " + SubDirsValue(subDirs) + " where SyncID = " + std::to_string(syncId);
}

namespace {

std::mutex& DeletedMutex() {
    static std::mutex mutex;
    return mutex;
}

std::set<std::int64_t>& Deleted() {
    static std::set<std::int64_t> ids;
    return ids;
}

}  // namespace

bool DeletedByThisProcess(std::int64_t syncId) {
    const std::lock_guard lock(DeletedMutex());
    return Deleted().count(syncId) > 0;
}

void DeleteJobWithRecords(Connection& connection, std::int64_t syncId) {
    const std::string id = std::to_string(syncId);
    // A savepoint rather than BEGIN: it also nests inside a transaction that
    // someone else holds open on the connection.
    connection.Execute("savepoint delete_job");
    try {
        SqlText = "delete from Tessary where SyncID = " + id;
        connection.Execute(SqlText);
        SqlText = "delete from myFiles where SyncID = " + id;
        connection.Execute(SqlText);
        connection.Execute("release delete_job");
        // A run of the job stops at its next file.
        const std::lock_guard lock(DeletedMutex());
        Deleted().insert(syncId);
    } catch (const StoreError&) {
        try {
            connection.Execute("rollback to delete_job");
            connection.Execute("release delete_job");
        } catch (const StoreError&) {
            // The store already undid the savepoint itself (it does on some
            // errors); there is nothing left to roll back.
        }
        throw;
    }
}

std::vector<Job> ReadJobs(Connection& store) {
    // Not through SqlText: the run has a thread of its own.
    std::vector<JobRow> rows;
    for (Recordset rs = store.Execute(ListJobsStatement()); !rs.Eof(); rs.MoveNext()) rows.push_back(JobOf(rs));
    std::vector<Job> jobs;
    for (JobRow& row : rows) jobs.push_back(WithProfile(store, std::move(row)));
    return jobs;
}

Job ReadJob(Connection& store, std::int64_t syncId) {
    JobRow row;
    {
        const Recordset rs = store.Execute(SelectJobStatement(syncId));
        if (rs.Eof()) {
            Job missing;
            missing.syncId = syncId;
            missing.problem = "FTP Info: Folder job " + std::to_string(syncId) + " is not in the store.";
            return missing;
        }
        row = JobOf(rs);
    }
    return WithProfile(store, std::move(row));
}

bool JobExists(Connection& store, std::int64_t syncId) {
    return !store.Execute("select SyncID from Tessary where SyncID = " + std::to_string(syncId)).Eof();
}

}  // namespace store

#include "sync/Job.h"

#include "shell/EntryID.h"
#include "store/Store.h"

namespace syncrun {
namespace {

// A job row and the profile ID it names, before the profile is read.
struct JobRow {
    Job job;
    std::string settingsId;
};

JobRow JobOf(const store::Recordset& row) {
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
Job WithProfile(store::Connection& store, JobRow row) {
    Job job = std::move(row.job);
    const std::string id = std::to_string(job.syncId);
    const auto settingsId = ParseKey(row.settingsId);
    if (!settingsId) {
        job.problem = "FTP Info: Folder job " + id + " names no server profile.";
        return job;
    }
    const store::Recordset profile = store.Execute(store::SelectServerStatement(*settingsId));
    if (profile.Eof()) {
        job.problem = "FTP Info: Server profile " + std::to_string(*settingsId) + " of folder job " + id +
                      " is not in the store.";
        return job;
    }
    job.profile = store::ReadServerProfile(profile);
    return job;
}

}  // namespace

std::vector<Job> ReadJobs(store::Connection& store) {
    // Not through SqlText: the run has a thread of its own.
    std::vector<JobRow> rows;
    for (store::Recordset rs = store.Execute("select * from Tessary"); !rs.Eof(); rs.MoveNext()) rows.push_back(JobOf(rs));
    std::vector<Job> jobs;
    for (JobRow& row : rows) jobs.push_back(WithProfile(store, std::move(row)));
    return jobs;
}

Job ReadJob(store::Connection& store, std::int64_t syncId) {
    JobRow row;
    {
        const store::Recordset rs = store.Execute("Select * from Tessary where SyncID = " + std::to_string(syncId));
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

}  // namespace syncrun

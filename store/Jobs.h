#pragma once
// Folder jobs, table Tessary: every statement that reads or writes a job,
// and a job as the sync run takes it (its row and its server profile, read
// once before the job starts). Text values go in with each "'" doubled.

#include "store/Profiles.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace store {

class Connection;

// "select * from Tessary"
std::string ListJobsStatement();
std::string SelectJobStatement(std::int64_t syncId);
// profileId: the ID taken from the profile entry, written quoted.
std::string InsertJobStatement(const std::string& folder, const std::string& profileId, bool subDirs);
std::string UpdateJobStatement(const std::string& folder, const std::string& profileId, bool subDirs,
                               std::int64_t syncId);

// Deletes the job row and then every myFiles record of the job, both or
// neither: when either statement is refused nothing is deleted, and the
// StoreError of the refused statement is thrown on.
void DeleteJobWithRecords(Connection& connection, std::int64_t syncId);

struct Job {
    std::int64_t syncId = 0;
    std::string folder;
    std::string subDirs;  // "YES" walks the folders below
    std::optional<ServerProfile> profile;
    std::string problem;  // without a profile: the line that says why
};

// Every job, each with its profile. Throws StoreError.
std::vector<Job> ReadJobs(Connection& store);
// One job by its ID; a job that is not in the store comes back with its
// problem line. Throws StoreError.
Job ReadJob(Connection& store, std::int64_t syncId);
// Whether this process deleted the job (its windows, during a run).
bool DeletedByThisProcess(std::int64_t syncId);
// Whether the job is still in the store (it may be deleted during its run).
bool JobExists(Connection& store, std::int64_t syncId);

}  // namespace store

#pragma once
// A folder job as the sync run takes it: the job's row and its server
// profile, read from the store once, before the job starts.

#include "store/Profiles.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace store {
class Connection;
}

namespace syncrun {

struct Job {
    std::int64_t syncId = 0;
    std::string folder;
    std::string subDirs;  // "YES" walks the folders below
    std::optional<store::ServerProfile> profile;
    std::string problem;  // without a profile: the line that says why
};

// Every job, each with its profile. Throws store::StoreError.
std::vector<Job> ReadJobs(store::Connection& store);
// One job by its ID; a job that is not in the store comes back with its
// problem line. Throws store::StoreError.
Job ReadJob(store::Connection& store, std::int64_t syncId);

}  // namespace syncrun

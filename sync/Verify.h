#pragma once
// A verifying run's look at the server before a job's check: each remote
// folder that holds recorded files of the job is listed once and compared
// with the local files. A copy that is missing, or whose size is not the
// local file's, is named and its record dropped, so the check that follows
// sends the file again.

#include "store/Jobs.h"
#include "sync/modFiles.h"

namespace syncrun {

struct VerifyTally {
    bool listed = true;  // every folder could be listed
    int forgotten = 0;   // records dropped
};

VerifyTally VerifyJob(const CheckContext& context, const store::Job& job);

}  // namespace syncrun

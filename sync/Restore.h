#pragma once
// A restore: every file of a job's remote tree, walked on the server,
// downloaded into a target folder under its path below the job's folder
// and checked byte for byte against its record or, where the store has
// none, against the manifest on the server; over as many connections at
// once as the job's profile allows, the lines in listing order all the
// same. The store is only read.

#include "sync/RunObserver.h"
#include "sync/SyncRun.h"
#include "sync/Uploads.h"

#include <string>

namespace syncrun {

struct RestoreOutcome {
    // Every file came back under its own name and matched its digest, and
    // nothing the job should hold was missing (the exit status 0).
    bool clean = false;
    int files = 0;     // files found on the server
    int restored = 0;  // of those, in place under their own names and checked
};

// Lines go to the status log; the observer sees the job's connection and
// the progress as in a sync run. `jobFolder` is the job's folder as the
// store has it (a trailing "/" aside).
RestoreOutcome RunRestore(RunObserver& observer, const Uploads::Factory& connect, const RunStore& store,
                          const std::string& jobFolder, const std::string& target);

}  // namespace syncrun

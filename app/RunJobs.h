#pragma once
// The one place a sync run is put together: the store the program has
// open, the hashing workers, the uploads over FTP; only who watches it
// differs between the windows and a run without them.

#include "sync/Restore.h"
#include "sync/RunObserver.h"
#include "sync/SyncRun.h"

namespace app {

// Runs every job on the calling thread. `store` is read where the run is
// started (the thread that owns the program's connection).
syncrun::RunOutcome RunEveryJob(syncrun::RunObserver& observer, const syncrun::RunStore& store, bool verify = false);

// Restores the job of `jobFolder` into `target` on the calling thread.
syncrun::RestoreOutcome RestoreJob(syncrun::RunObserver& observer, const syncrun::RunStore& store,
                                   const std::string& jobFolder, const std::string& target);

}  // namespace app

#pragma once
// The sync run: every folder job in turn, connected through its transfer
// window, its folder (or folder tree) checked and new or changed files sent.

#include "sync/TransferWindow.h"

#include <cstdint>

// The job the run is working on; 0 outside a run.
extern std::int64_t CurrentSyncID;

namespace syncrun {

struct RunOutcome {
    bool completed = false;  // reached "All Sync's Complete"
    // Every job connected, every job folder was walked, every new or
    // changed file was sent (the unattended run's exit status 0).
    bool clean = false;
    int jobs = 0;       // jobs taken up
    int filesSent = 0;  // files that reached their server
};

// One whole run. Lines go to the status log. A second call while a run is
// in progress writes a line and returns at once. A store failure stops the
// run with a line carrying the store's message; it is never thrown.
RunOutcome RunSync(const TransferWindowFactory& makeWindow);
bool IsRunning();

}  // namespace syncrun

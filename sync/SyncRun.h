#pragma once
// The sync run: every folder job in turn, connected through the uploader,
// its folder (or folder tree) checked and new or changed files sent. The
// run works on the thread that calls it, with a connection to the store of
// its own; the GUI runs it on a thread of its own and watches it through
// the observer.

#include "sync/HashPool.h"
#include "sync/RunObserver.h"
#include "sync/Uploads.h"

#include <atomic>
#include <cstdint>
#include <string>

namespace store {
class Connection;
}

// The job the run is working on; 0 outside a run.
extern std::atomic<std::int64_t> CurrentSyncID;

namespace syncrun {

struct RunOutcome {
    bool completed = false;  // reached "All Sync's Complete"
    // Every job connected, every job folder was walked, every new or
    // changed file was sent (the unattended run's exit status 0).
    bool clean = false;
    int jobs = 0;       // jobs taken up
    int filesSent = 0;  // files that reached their server
};

// The store a run works on, as the program has it open: read on the thread
// that starts the run (the GUI thread owns the program's connection).
struct RunStore {
    bool open = false;
    std::string connectionString;
};
RunStore CurrentStore();
// A connection of the run's own to that store (the windows keep theirs on
// the GUI thread). Throws StoreError.
void OpenRunStore(store::Connection& runStore, const RunStore& store);

// One whole run over the store, its files hashed ahead on the pool's
// workers and sent over connections that `connect` makes. Lines go to the status log. A
// second call while a run is in progress writes a line and returns at once.
// A store failure stops the run with a line carrying the store's message;
// it is never thrown.
// A verifying run first compares each job's records with the server's
// listings, so that what the server lost is sent again.
RunOutcome RunSync(RunObserver& observer, const Uploads::Factory& connect, HashPool& pool, const RunStore& store,
                   bool verify = false);
bool IsRunning();

}  // namespace syncrun

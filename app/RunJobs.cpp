#include "app/RunJobs.h"

#include "sync/FtpUploader.h"
#include "sync/HashPool.h"

namespace app {

syncrun::RunOutcome RunEveryJob(syncrun::RunObserver& observer, const syncrun::RunStore& store, bool verify) {
    syncrun::HashPool pool;
    return syncrun::RunSync(observer, [] { return std::make_unique<syncrun::FtpUploader>(); }, pool, store, verify);
}

}  // namespace app

#include "app/RunJobs.h"

#include "sync/FtpUploader.h"
#include "sync/HashPool.h"

namespace app {

syncrun::RunOutcome RunEveryJob(syncrun::RunObserver& observer, const syncrun::RunStore& store) {
    syncrun::HashPool pool;
    syncrun::FtpUploader uploader(observer);
    return syncrun::RunSync(observer, uploader, pool, store);
}

}  // namespace app

#include "app/RunJobs.h"

#include "sync/FtpUploader.h"
#include "sync/HashPool.h"

namespace app {

syncrun::RunOutcome RunEveryJob(syncrun::RunObserver& observer, const syncrun::RunStore& store, bool verify) {
    syncrun::HashPool pool;
    return syncrun::RunSync(observer, [] { return std::make_unique<syncrun::FtpUploader>(); }, pool, store, verify);
}

syncrun::RestoreOutcome RestoreJob(syncrun::RunObserver& observer, const syncrun::RunStore& store,
                                   const std::string& jobFolder, const std::string& target) {
    return syncrun::RunRestore(observer, [] { return std::make_unique<syncrun::FtpUploader>(); }, store, jobFolder,
                               target);
}

}  // namespace app

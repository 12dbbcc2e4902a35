#include "app/StartUp.h"

#include "base/Runtime.h"
#include "base/StatusLog.h"
#include "app/RunJobs.h"
#include "app/TerminalProgress.h"
#include "store/CreateStore.h"
#include "store/Jobs.h"
#include "store/Store.h"
#include "store/StoreLocation.h"
#include "sync/SyncRun.h"

#include <exception>

namespace app {
namespace {

class TerminalObserver : public syncrun::RunObserver {
public:
    explicit TerminalObserver(TerminalProgress* terminal) : terminal_(terminal) {}
    void OnProgress(const syncrun::Progress& progress) override {
        if (terminal_) terminal_->Update(progress);
    }

private:
    TerminalProgress* terminal_;
};

}  // namespace

std::optional<std::string> LoadSettings() {
    try {
        // The hash component is built in: there is nothing to register.
        ::LogStatus("Init Program");
        auto& conn = store::StoreConnection();
        const std::string folder = store::StoreFolder(runtime::AppPath());
        conn.ConnectionString = store::BuildConnectionString(folder);
        ::LogStatus("Setting Database Connection String");
        if (const auto made = store::CreateMissingStore(folder)) ::LogStatus("Created an empty store: " + *made);
        // The program's own connection serves the windows, on the GUI
        // thread: a statement waits for another writer a tenth of a second
        // at most (a run's writes take milliseconds), so a store another
        // program holds shows as a message, not as a window that freezes.
        conn.BusyTimeout = std::chrono::milliseconds(100);
        conn.Open();
        ::LogStatus("Opened Database");
        store::UpgradeStore(conn);
        store::SqlText = store::ListJobsStatement();
        store::StoreRecordset = conn.Execute(store::SqlText);
        ::LogStatus("Run Query on settings");
        while (!store::StoreRecordset.Eof()) store::StoreRecordset.MoveNext();
        ::LogStatus("Test Query and settings loaded");
    } catch (const std::exception& e) {
        return std::string(e.what());
    }
    return std::nullopt;
}

void ReportSettingsFailure(const std::string& problem) {
    ::LogStatus("An error has destroyed the chances of this program functioning");
    ::LogStatus(problem);
}

namespace {

void LoadSettingsUnattended() {
    if (const auto problem = LoadSettings()) {
        // The box nobody could answer, as its line.
        ::LogStatus("An error occured while attempting to open settings");
        ReportSettingsFailure(*problem);
    }
}

}  // namespace

int RunUnattendedWithoutWindows(bool verify) {
    LoadSettingsUnattended();
    TerminalProgress* terminal = TerminalProgressForUnattendedRun();
    TerminalObserver observer(terminal);
    const syncrun::RunOutcome outcome = RunEveryJob(observer, syncrun::CurrentStore(), verify);
    if (terminal) terminal->Finish();
    return outcome.clean ? 0 : 1;
}

int RestoreWithoutWindows(const std::string& jobFolder, const std::string& target) {
    LoadSettingsUnattended();
    TerminalProgress* terminal = TerminalProgressForUnattendedRun();
    if (terminal) terminal->ForRestore();
    TerminalObserver observer(terminal);
    const syncrun::RestoreOutcome outcome = RestoreJob(observer, syncrun::CurrentStore(), jobFolder, target);
    if (terminal) terminal->Finish();
    return outcome.clean ? 0 : 1;
}

}  // namespace app

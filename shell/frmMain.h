#pragma once
// The main window: start-up and shutdown, the status list (the program's
// only log) and the menus.

#include "sync/SyncRun.h"

#include <QMainWindow>
#include <QStringList>

#include <functional>
#include <memory>
#include <mutex>
#include <thread>

class QAction;
class QListWidget;
class WindowRunObserver;

class frmMain : public QMainWindow {
    Q_OBJECT
public:
    // The list windows the File menu opens. They are built on the shell,
    // so the program that has them all hands them in.
    struct ListOpeners {
        std::function<void()> servers, folders;
    };
    explicit frmMain(ListOpeners openers = {}, QWidget* parent = nullptr);
    ~frmMain() override;

    // The one main window, or nullptr before it is created.
    static frmMain* instance();

    // Start-up: the steps run before the window is shown.
    void Form_Load();
    // Keeps the status list sized to the window.
    void Form_Resize();
    // Shutdown: ends the process at once.
    void Form_Unload();

    // Appends a line to lstStatus, keeping the newest selected, and empties
    // the list when it reaches 400 lines.
    void LogStatus(const QString& text);

    // A run started by Sync, Now or Verify, Now, or a restore, is still
    // working (on its own thread).
    bool SyncRunning() const { return runThread_.joinable(); }

    bool SyncOnStart = false;
    bool VerifyOnStart = false;
    QListWidget* lstStatus = nullptr;

    // Menus.
    QAction* cmdSites = nullptr;
    QAction* cmdFoldersList = nullptr;
    QAction* cmdRestore = nullptr;
    QAction* cmdBlank = nullptr;
    QAction* cmdExit = nullptr;
    QAction* cmdSyncNow = nullptr;
    QAction* cmdVerifyNow = nullptr;
    QAction* mnuForceClear = nullptr;
    QAction* mnuClearFolderInfo = nullptr;

    void cmdSites_Click();
    void cmdFoldersList_Click();
    void cmdExit_Click();
    void cmdSyncNow_Click();
    // A sync run that first compares each job's records with the server.
    void cmdVerifyNow_Click();
    // Asks for the job and the target folder, then restores on the run's thread.
    void cmdRestore_Click();
    // The restore of the job of `jobFolder` into `target`, on the run's thread.
    void StartRestore(const QString& jobFolder, const QString& target);
    void mnuForceClear_Click();
    void mnuClearFolderInfo_Click();

protected:
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void BuildMenus();
    // Status lines from any thread: queued, then shown in order on the GUI
    // thread, many at a time.
    void QueueStatusLine(const std::string& line);
    void ShowQueuedLines();
    // Adds the line under the 400-line rule; the row to select after it.
    int AppendLine(const QString& text);
    void FitRows(const QString& text);
    void StartRun(bool verify);
    // False, with the line that says so, while a run or a restore works.
    bool Idle();
    void RunFinished(const syncrun::RunOutcome& outcome);
    void RestoreFinished();

    ListOpeners openers_;
    int rowWidth_ = 0;  // the widest line shown
    int exitStatus_ = 0;  // what an unattended run ends the process with
    std::thread runThread_;
    bool restoring_ = false;  // the run thread's work is a restore
    std::unique_ptr<WindowRunObserver> runObserver_;
    std::mutex linesMutex_;
    QStringList queuedLines_;
    bool drainPosted_ = false;
};

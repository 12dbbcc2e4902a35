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

    // A run started by Sync, Now is still working (on its own thread).
    bool SyncRunning() const { return runThread_.joinable(); }

    bool SyncOnStart = false;
    QListWidget* lstStatus = nullptr;

    // Menus.
    QAction* cmdSites = nullptr;
    QAction* cmdFoldersList = nullptr;
    QAction* cmdBlank = nullptr;
    QAction* cmdExit = nullptr;
    QAction* cmdSyncNow = nullptr;
    QAction* mnuForceClear = nullptr;
    QAction* mnuClearFolderInfo = nullptr;

    void cmdSites_Click();
    void cmdFoldersList_Click();
    void cmdExit_Click();
    void cmdSyncNow_Click();
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
    void RunFinished(const syncrun::RunOutcome& outcome);

    ListOpeners openers_;
    int rowWidth_ = 0;  // the widest line shown
    int exitStatus_ = 0;  // what an unattended run ends the process with
    std::thread runThread_;
    std::unique_ptr<WindowRunObserver> runObserver_;
    std::mutex linesMutex_;
    QStringList queuedLines_;
    bool drainPosted_ = false;
};

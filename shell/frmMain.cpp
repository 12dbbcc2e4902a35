#include "shell/frmMain.h"

#include "shell/frmFTP.h"
#include "shell/WindowSupport.h"
#include "shell/AppIcon.h"
#include "shell/MsgBox.h"
#include "app/RunJobs.h"
#include "app/StartUp.h"
#include "base/Runtime.h"
#include "base/StatusLog.h"
#include "app/TerminalProgress.h"
#include "shell/Twips.h"
#include "shell/WindowRunObserver.h"
#include "store/FileRecords.h"
#include "store/Jobs.h"
#include "store/Store.h"
#include "sync/SyncRun.h"

#include <QAction>
#include <QFileDialog>
#include <QInputDialog>
#include <QCloseEvent>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QListWidget>
#include <QMenuBar>
#include <QScreen>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <chrono>

namespace {

frmMain* g_main = nullptr;

constexpr int kLogLimit = 400;
constexpr std::chrono::milliseconds kGatherLines{25};
const QString kCrLf = QStringLiteral("\r\n");

}  // namespace

frmMain::frmMain(ListOpeners openers, QWidget* parent) : QMainWindow(parent), openers_(std::move(openers)) {
    g_main = this;
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(QStringLiteral("Tessary - v. 0.8"));
    setWindowIcon(AppIcon());

    auto* client = new QWidget(this);
    setCentralWidget(client);
    lstStatus = new QListWidget(client);
    lstStatus->setObjectName(QStringLiteral("lstStatus"));
    lstStatus->setSortingEnabled(false);
    // Every line is one row of the same height: without this the list
    // measures (lays out the text of) every row each time one is added.
    lstStatus->setUniformItemSizes(true);
    lstStatus->setGeometry(Px(30), Px(30), Px(8475), Px(4545));

    BuildMenus();
    resize(Px(8550), Px(4635) + menuBar()->sizeHint().height());
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        move(area.center() - rect().center());
    }

    statuslog::SetSink([this](const std::string& line) { QueueStatusLine(line); });
}

frmMain::~frmMain() {
    if (runThread_.joinable()) runThread_.join();
    if (g_main == this) {
        statuslog::SetSink({});
        g_main = nullptr;
    }
}

frmMain* frmMain::instance() { return g_main; }

void frmMain::BuildMenus() {
    QMenu* cmdFile = menuBar()->addMenu(QStringLiteral("&File"));
    cmdFile->setObjectName(QStringLiteral("cmdFile"));
    cmdSites = cmdFile->addAction(QStringLiteral("&Sites List"), this, &frmMain::cmdSites_Click);
    cmdFoldersList = cmdFile->addAction(QStringLiteral("&Folders List"), this, &frmMain::cmdFoldersList_Click);
    cmdRestore = cmdFile->addAction(QStringLiteral("&Restore..."), this, &frmMain::cmdRestore_Click);
    cmdBlank = cmdFile->addAction(QString());  // an item without a handler
    cmdExit = cmdFile->addAction(QStringLiteral("E&xit"), this, &frmMain::cmdExit_Click);

    QMenu* cmdSyncMenu = menuBar()->addMenu(QStringLiteral("&Sync"));
    cmdSyncMenu->setObjectName(QStringLiteral("cmdSyncMenu"));
    cmdSyncNow = cmdSyncMenu->addAction(QStringLiteral("&Now"), this, &frmMain::cmdSyncNow_Click);

    QMenu* cmdVerifyMenu = menuBar()->addMenu(QStringLiteral("&Verify"));
    cmdVerifyMenu->setObjectName(QStringLiteral("cmdVerifyMenu"));
    cmdVerifyNow = cmdVerifyMenu->addAction(QStringLiteral("&Now"), this, &frmMain::cmdVerifyNow_Click);

    QMenu* mnuDatabase = menuBar()->addMenu(QStringLiteral("&Database"));
    mnuDatabase->setObjectName(QStringLiteral("mnuDatabase"));
    mnuForceClear = mnuDatabase->addAction(QStringLiteral("&Force Entire Backup"), this, &frmMain::mnuForceClear_Click);
    mnuClearFolderInfo = mnuDatabase->addAction(QStringLiteral("&Clear Information for a folder"), this,
                                                &frmMain::mnuClearFolderInfo_Click);

    cmdSites->setObjectName(QStringLiteral("cmdSites"));
    cmdFoldersList->setObjectName(QStringLiteral("cmdFoldersList"));
    cmdRestore->setObjectName(QStringLiteral("cmdRestore"));
    cmdBlank->setObjectName(QStringLiteral("cmdBlank"));
    cmdExit->setObjectName(QStringLiteral("cmdExit"));
    cmdSyncNow->setObjectName(QStringLiteral("cmdSyncNow"));
    cmdVerifyNow->setObjectName(QStringLiteral("cmdVerifyNow"));
    mnuForceClear->setObjectName(QStringLiteral("mnuForceClear"));
    mnuClearFolderInfo->setObjectName(QStringLiteral("mnuClearFolderInfo"));
}

void frmMain::Form_Load() {
    VerifyOnStart = runtime::HasVerifySwitch(runtime::Command());
    SyncOnStart = VerifyOnStart || runtime::HasSyncSwitch(runtime::Command());
    if (const auto problem = app::LoadSettings()) {
        MsgBox(QStringLiteral("An error occured while attempting to open settings"), vbCritical, QStringLiteral("EEK"));
        app::ReportSettingsFailure(*problem);
    }
    if (SyncOnStart) StartRun(VerifyOnStart);  // ends the program when it is over
}

void frmMain::QueueStatusLine(const std::string& line) {
    bool post = false;
    {
        const std::lock_guard lock(linesMutex_);
        queuedLines_.append(QString::fromStdString(line));
        post = !drainPosted_;
        drainPosted_ = true;
    }
    // A line written on the GUI thread shows at once, after any queued
    // before it. The run's lines are gathered for a few milliseconds and
    // shown together: one repaint for many lines.
    if (QThread::currentThread() == thread()) {
        ShowQueuedLines();
    } else if (post) {
        QMetaObject::invokeMethod(
            this, [this] { QTimer::singleShot(kGatherLines, this, [this] { ShowQueuedLines(); }); },
            Qt::QueuedConnection);
    }
}

void frmMain::ShowQueuedLines() {
    QStringList lines;
    {
        const std::lock_guard lock(linesMutex_);
        lines.swap(queuedLines_);
        drainPosted_ = false;
    }
    if (lines.isEmpty()) return;
    // Many lines end as one would leave them, one by one, but the list
    // scrolls and repaints once.
    lstStatus->setUpdatesEnabled(false);
    int current = -1;
    for (const QString& line : lines) current = AppendLine(line);
    lstStatus->setCurrentRow(current);
    lstStatus->setUpdatesEnabled(true);
}

int frmMain::AppendLine(const QString& text) {
    lstStatus->addItem(text);
    if (lstStatus->count() >= kLogLimit) {
        lstStatus->clear();
        rowWidth_ = 0;
        lstStatus->addItem(QStringLiteral("Cleared due to too much data"));
        FitRows(lstStatus->item(0)->text());
        return -1;
    }
    FitRows(text);
    return lstStatus->count() - 1;
}

void frmMain::FitRows(const QString& text) {
    // The list gives every row the first row's size: that row carries one
    // text line's height and the widest line's width, so every row is one
    // line high whatever the window's size, and the list scrolls sideways
    // to the end of a long line.
    const QFontMetrics metrics(lstStatus->font());
    const int width = metrics.horizontalAdvance(text) + 2 * metrics.averageCharWidth();
    if (width <= rowWidth_ && lstStatus->count() > 1) return;
    rowWidth_ = std::max(rowWidth_, width);
    lstStatus->item(0)->setSizeHint(QSize(rowWidth_, metrics.height() + 2));
}

void frmMain::LogStatus(const QString& text) { lstStatus->setCurrentRow(AppendLine(text)); }

void frmMain::Form_Resize() {
    // A window smaller than the margins leaves that dimension as it was.
    const QRect outer = frameGeometry();
    const int height = outer.height() - Px(780);
    const int width = outer.width() - Px(195);
    if (height >= 0) lstStatus->resize(lstStatus->width(), height);
    if (width >= 0) lstStatus->resize(width, lstStatus->height());
}

void frmMain::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    Form_Resize();
}

void frmMain::closeEvent(QCloseEvent* event) {
    event->accept();
    Form_Unload();
}

void frmMain::Form_Unload() {
    hide();
    // Nothing to unregister; other windows go with the process unseen.
    runtime::End(exitStatus_);
}

void frmMain::cmdExit_Click() { Form_Unload(); }

void frmMain::cmdSites_Click() {
    if (openers_.servers) openers_.servers();
}

void frmMain::cmdFoldersList_Click() {
    if (openers_.folders) openers_.folders();
}

void frmMain::cmdSyncNow_Click() { StartRun(false); }

void frmMain::cmdVerifyNow_Click() { StartRun(true); }

bool frmMain::Idle() {
    if (!runThread_.joinable()) return true;
    ::LogStatus(restoring_ ? "A restore is running." : "A sync is already running.");
    return false;
}

void frmMain::StartRun(bool verify) {
    if (!Idle()) return;
    // The run works on a thread of its own, so the windows stay with the
    // user; it shows itself through the observer's queued calls.
    runObserver_ = std::make_unique<WindowRunObserver>(this);
    if (app::TerminalProgress* terminal = SyncOnStart ? app::TerminalProgressForUnattendedRun() : nullptr)
        runObserver_->onProgress = [terminal](const syncrun::Progress& p) { terminal->Update(p); };
    runThread_ = std::thread([this, verify, observer = runObserver_.get(), store = syncrun::CurrentStore()] {
        runtime::LowerThisThreadsPriority();  // its uploads and digests too
        const syncrun::RunOutcome outcome = app::RunEveryJob(*observer, store, verify);
        QMetaObject::invokeMethod(this, [this, outcome] { RunFinished(outcome); }, Qt::QueuedConnection);
    });
}

void frmMain::cmdRestore_Click() {
    if (!Idle()) return;
    QStringList folders;
    try {
        for (const store::Job& job : store::ReadJobs(store::StoreConnection()))
            folders << QString::fromStdString(job.folder);
    } catch (const store::StoreError& e) {
        windows::ShowStoreError(e, this);
        return;
    }
    if (folders.isEmpty()) {
        MsgBox(QStringLiteral("There is no folder job to restore."), vbInformation, QStringLiteral("Restore"));
        return;
    }
    bool chosen = false;
    const QString job = QInputDialog::getItem(this, QStringLiteral("Restore"), QStringLiteral("Folder job to restore:"),
                                              folders, 0, false, &chosen);
    if (!chosen) return;
    const QString target = QFileDialog::getExistingDirectory(this, QStringLiteral("Restore into"));
    if (!target.isEmpty()) StartRestore(job, target);
}

void frmMain::StartRestore(const QString& jobFolder, const QString& target) {
    if (!Idle()) return;
    restoring_ = true;
    runObserver_ = std::make_unique<WindowRunObserver>(this);
    runThread_ = std::thread([this, observer = runObserver_.get(), store = syncrun::CurrentStore(),
                              job = jobFolder.toStdString(), into = target.toStdString()] {
        runtime::LowerThisThreadsPriority();
        app::RestoreJob(*observer, store, job, into);
        QMetaObject::invokeMethod(this, [this] { RestoreFinished(); }, Qt::QueuedConnection);
    });
}

void frmMain::RestoreFinished() {
    if (runThread_.joinable()) runThread_.join();
    restoring_ = false;
    ShowQueuedLines();
    runObserver_.reset();
}

void frmMain::RunFinished(const syncrun::RunOutcome& outcome) {
    if (runThread_.joinable()) runThread_.join();
    ShowQueuedLines();
    runObserver_.reset();
    if (SyncOnStart) {
        if (app::TerminalProgress* terminal = app::TerminalProgressForUnattendedRun()) terminal->Finish();
        exitStatus_ = outcome.clean ? 0 : 1;
        cmdExit_Click();
    }
}

void frmMain::mnuForceClear_Click() {
    const QString question =
        QStringLiteral("This will wipe ALL status information for the files in your backup set.") + kCrLf +
        QStringLiteral("You should only use this option if you want to re-back up all the files.") + kCrLf +
        QStringLiteral("If you wish to clear only a set of files you can do so under the Clear information for a "
                       "folder option.") +
        kCrLf + kCrLf + kCrLf +
        QStringLiteral("Are you entirely sure you wish to clear all your file state information?");
    if (MsgBox(question, vbYesNo, QStringLiteral("!!!WARNING!!!")) != vbYes) {
        MsgBox(QStringLiteral("Operation aborted!"), vbInformation, QStringLiteral("Aborted"));
        return;
    }
    try {
        store::SqlText = store::ClearAllFilesStatement();
        store::StoreRecordset = store::StoreConnection().Execute(store::SqlText);
    } catch (const store::StoreError& e) {
        windows::ShowStoreError(e, this);
        return;
    }
    MsgBox(QStringLiteral("Complete, information cleared") + kCrLf +
               QStringLiteral("Select Sync --> Now to re-backup everything"),
           vbInformation, QStringLiteral("Result"));
}

void frmMain::mnuClearFolderInfo_Click() {
    MsgBox(QStringLiteral("You can clear a folders information in the File --> Folders area") + kCrLf +
               QStringLiteral("Double click on the folder and then select Clear Information"),
           vbInformation, QStringLiteral("Clear selected information"));
}

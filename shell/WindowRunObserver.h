#pragma once
// Shows a sync run that works on a thread of its own: each job's transfer
// window comes and goes on the GUI thread, and its labels show the newest
// texts. Label changes are folded together, so a run through many small
// files costs the GUI thread one repaint per turn of its loop, not one per
// file.

#include "sync/RunObserver.h"

#include <QObject>
#include <QPointer>

#include <atomic>
#include <functional>
#include <mutex>
#include <string>

class QWidget;
class frmFTP;

class WindowRunObserver : public syncrun::RunObserver {
public:
    // Made on the GUI thread. `owner` (the main window) owns the transfer
    // windows; it must outlive the observer.
    explicit WindowRunObserver(QWidget* owner);

    void JobStarted() override;
    void SetStatus(const std::string& text) override;
    void SetCurrentFile(const std::string& name) override;
    void Connected(bool on) override;
    void OnProgress(const syncrun::Progress& progress) override;
    void JobEnded() override;

    // Also handed every progress, on the run's thread (a terminal line).
    std::function<void(const syncrun::Progress&)> onProgress;

private:
    void Post(std::function<void()> call);
    void PostLabels();
    void ShowLabels();

    QWidget* owner_;
    // Receives the queued calls and timers: whatever is still pending when
    // the observer goes is dropped with it.
    QObject context_;
    QPointer<frmFTP> window_;  // GUI thread only
    std::mutex mutex_;
    std::string status_;
    std::string currentFile_;
    std::atomic<bool> labelsPosted_{false};
};

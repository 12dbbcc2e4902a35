#include "shell/WindowRunObserver.h"

#include "shell/frmFTP.h"

#include <QMetaObject>
#include <QTimer>
#include <QWidget>

#include <chrono>

namespace {

constexpr std::chrono::milliseconds kLabelEvery{40};

}  // namespace

WindowRunObserver::WindowRunObserver(QWidget* owner) : owner_(owner) {}

void WindowRunObserver::Post(std::function<void()> call) {
    QMetaObject::invokeMethod(&context_, std::move(call), Qt::QueuedConnection);
}

void WindowRunObserver::JobStarted() {
    {
        const std::lock_guard lock(mutex_);
        status_ = "Connecting.....";
        currentFile_.clear();
    }
    Post([this] {
        window_ = new frmFTP(owner_);
        window_->setAttribute(Qt::WA_DeleteOnClose);
        ShowLabels();
        window_->show();
    });
}

void WindowRunObserver::SetStatus(const std::string& text) {
    {
        const std::lock_guard lock(mutex_);
        status_ = text;
    }
    PostLabels();
}

void WindowRunObserver::SetCurrentFile(const std::string& name) {
    {
        const std::lock_guard lock(mutex_);
        currentFile_ = name;
    }
    PostLabels();
}

void WindowRunObserver::PostLabels() {
    if (labelsPosted_.exchange(true)) return;
    // The labels show the newest texts a few times a second at most.
    Post([this] {
        QTimer::singleShot(kLabelEvery, &context_, [this] {
            labelsPosted_ = false;
            ShowLabels();
        });
    });
}

void WindowRunObserver::ShowLabels() {
    if (!window_) return;
    std::string status, currentFile;
    {
        const std::lock_guard lock(mutex_);
        status = status_;
        currentFile = currentFile_;
    }
    window_->SetStatus(status);
    window_->SetCurrentFile(currentFile);
}

void WindowRunObserver::Connected(bool on) {
    Post([this, on] {
        if (window_) window_->Connected(on);
    });
}

void WindowRunObserver::OnProgress(const syncrun::Progress& progress) {
    if (onProgress) onProgress(progress);
}

void WindowRunObserver::JobEnded() {
    Post([this] {
        if (window_) window_->Dismiss();
        window_ = nullptr;
    });
}

#pragma once
#include "sync/TransferWindow.h"

#include <QWidget>

// The transfer window of one folder job.
class frmFTP : public QWidget, public TransferWindow {
    Q_OBJECT
public:
    explicit frmFTP(QWidget* owner);
    void SetStatus(const std::string&) override {}
    void SetCurrentFile(const std::string&) override {}
    bool ConnectToFTP(std::int64_t) override { return false; }
    bool UploadFile(const std::string&, const std::string&, const std::string&) override { return false; }
    void Unload() override {}
};

#pragma once
// The transfer window of one folder job: two labels and a "Hide" button
// over an UploadSession, which does the work.

#include "ftp/UploadSession.h"
#include "sync/TransferWindow.h"

#include <QWidget>

class QCloseEvent;
class QLabel;
class QPushButton;

class frmFTP : public QWidget, public TransferWindow {
    Q_OBJECT
public:
    // Loads the window: owned by (and centred on) the main window.
    explicit frmFTP(QWidget* owner);

    void SetStatus(const std::string& text) override;
    void SetCurrentFile(const std::string& name) override;
    bool ConnectToFTP(std::int64_t syncId) override;
    bool UploadFile(const std::string& fileName, const std::string& remote,
                    const std::string& remoteFolder) override;
    // Form_Unload, then the window closes.
    void Unload() override;

    UploadSession& Session() { return session_; }

public slots:
    void cmdHide_Click();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void ShowLabels();

    UploadSession session_;
    QLabel* lblStatus;
    QPushButton* cmdHide;
    QLabel* lblCurrentFile;
    bool unloading_ = false;
};

#pragma once
// The transfer window of one folder job: two labels and a "Hide" button.
// It shows what the sync run tells its observer, and can connect and
// upload on its own through ConnectToFTP and UploadFile.

#include "sync/FtpUploader.h"

#include <QWidget>

#include <cstdint>
#include <string>

class QCloseEvent;
class QLabel;
class QPushButton;

class frmFTP : public QWidget {
    Q_OBJECT
public:
    // Loads the window: owned by (and centred on) the main window.
    explicit frmFTP(QWidget* owner);

    // The labels and the top-most state; GUI thread only.
    void SetStatus(const std::string& text);
    void SetCurrentFile(const std::string& name);
    void Connected(bool on);

    // Reads the job and its server profile, connects and changes to the
    // profile's remote directory. A job or profile that is not in the store
    // gives false with a status line; a store failure throws StoreError.
    bool ConnectToFTP(std::int64_t syncId);
    // Sends fileName as remoteFolder + remote under the profile's remote
    // directory, making every missing folder level first.
    bool UploadFile(const std::string& fileName, const std::string& remote, const std::string& remoteFolder);
    // Form_Unload: closes a connection of its own and logs the disconnect
    // line, then the window closes.
    void Unload();
    // Closes the window once a run is done with it; the run's own uploader
    // has said its disconnect line already.
    void Dismiss();

    QString StatusText() const;
    QString CurrentFileText() const;

public slots:
    void cmdHide_Click();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    syncrun::FtpUploader uploader_;
    QLabel* lblStatus;
    QPushButton* cmdHide;
    QLabel* lblCurrentFile;
    bool unloading_ = false;
    bool unloaded_ = false;
};

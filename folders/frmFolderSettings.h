#pragma once
// The editor of one folder job: the local folder, the server profile it is
// sent to and whether the folders below it are included. It also clears
// the file state of the files under a folder, so they are sent again.

#include "shell/WindowSupport.h"

#include <QWidget>

#include <cstdint>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

class frmFolderSettings : public QWidget, public SingleInstance<frmFolderSettings> {
    Q_OBJECT
public:
    // Loads the one editor (for a new job) when it is not loaded, and shows
    // it; an open editor is only brought forward, as it is.
    static frmFolderSettings& ShowWindow();

    // Loads the job into the fields; Save then updates it.
    void FetchInfo(std::int64_t SyncID);

    void cmdClose_Click();             // Save
    void cmdClearFolderInfo_Click();   // clear the file state under the folder

    // The job being edited; 0 for a new one.
    std::int64_t EditID = 0;

    QLabel* Folder = nullptr;
    QLineEdit* txtFolder = nullptr;
    QLabel* Label2 = nullptr;
    QComboBox* cmbServers = nullptr;
    QLabel* Label3 = nullptr;
    QCheckBox* chkSubDirs = nullptr;
    QPushButton* cmdClose = nullptr;
    QPushButton* cmdClearFolderInfo = nullptr;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    friend class SingleInstance<frmFolderSettings>;
    frmFolderSettings();

    void Form_Load();
    void ResetToNewJob();
    bool ProfileExists(std::int64_t settingsId);
};

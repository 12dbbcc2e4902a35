#include "folders/frmFolderSettings.h"

#include "folders/FolderSaveCheck.h"
#include "folders/frmFolders.h"
#include "base/EntryID.h"
#include "store/FileRecords.h"
#include "store/Jobs.h"
#include "store/Profiles.h"
#include "shell/MsgBox.h"
#include "base/StatusLog.h"
#include "store/Store.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace {

const QString kCrLf = QStringLiteral("\r\n");

// The combo line of the current row of a mySettings result:
// "<id> --> <host> User: <user>".
QString ProfileEntryOf(const store::Recordset& row) {
    return QString::fromStdString(row.Fields("SettingsID") + " --> " + row.Fields("FTPServer") +
                                  " User: " + row.Fields("FTPUser"));
}

}  // namespace

frmFolderSettings::frmFolderSettings()
    : QWidget(nullptr, windows::kEditorWindowFlags) {
    setObjectName(QStringLiteral("frmFolderSettings"));
    setWindowTitle(QStringLiteral("Folder Settings"));
    setAttribute(Qt::WA_DeleteOnClose);

    Folder = windows::FieldLabel(this, "Folder", QStringLiteral("Local Folder:"), 120);
    txtFolder = new QLineEdit(this);
    txtFolder->setObjectName(QStringLiteral("txtFolder"));
    windows::PlaceTwips(txtFolder, 1440, 90, 3195, 285);

    Label2 = windows::FieldLabel(this, "Label2", QStringLiteral("Use Server:"), 450);
    cmbServers = new QComboBox(this);
    cmbServers->setObjectName(QStringLiteral("cmbServers"));
    cmbServers->setEditable(true);
    cmbServers->setInsertPolicy(QComboBox::NoInsert);  // typed text never becomes an entry
    windows::PlaceTwips(cmbServers, 1440, 420, 3195, 315);

    Label3 = windows::FieldLabel(this, "Label3", QStringLiteral("SubDirs?:"), 780);
    chkSubDirs = new QCheckBox(this);
    chkSubDirs->setObjectName(QStringLiteral("chkSubDirs"));
    windows::PlaceTwips(chkSubDirs, 1470, 750, 645, 315);

    cmdClose = new QPushButton(QStringLiteral("&Save"), this);
    cmdClose->setObjectName(QStringLiteral("cmdClose"));
    windows::PlaceTwips(cmdClose, 30, 1080, 4635, 255);
    cmdClearFolderInfo =
        new QPushButton(QStringLiteral("Clear file state information... Re-backup files under this folder"), this);
    cmdClearFolderInfo->setObjectName(QStringLiteral("cmdClearFolderInfo"));
    windows::PlaceTwips(cmdClearFolderInfo, 30, 1350, 4635, 255);

    setTabOrder(txtFolder, cmdClose);
    setTabOrder(cmdClose, chkSubDirs);
    setTabOrder(chkSubDirs, cmbServers);
    setTabOrder(cmbServers, cmdClearFolderInfo);

    connect(cmdClose, &QPushButton::clicked, this, [this] { cmdClose_Click(); });
    connect(cmdClearFolderInfo, &QPushButton::clicked, this, [this] { cmdClearFolderInfo_Click(); });

    windows::FitCaptions(this);
    windows::PlaceFixedWindow(this, 4680, 1605);
    Form_Load();
}

frmFolderSettings& frmFolderSettings::ShowWindow() { return Show(); }

void frmFolderSettings::Form_Load() {
    try {
        // A text of its own: the list query leaves SqlText alone.
        const std::string query = store::ListServersStatement();
        for (store::Recordset rs = store::StoreConnection().Execute(query); !rs.Eof(); rs.MoveNext()) {
            cmbServers->addItem(ProfileEntryOf(rs));
        }
    } catch (const store::StoreError& e) {
        windows::ShowStoreError(e, this);
    }
    ResetToNewJob();
}

void frmFolderSettings::ResetToNewJob() {
    EditID = 0;
    txtFolder->clear();
    chkSubDirs->setChecked(false);
    // Filling an editable combo picks its first entry; a new job has none.
    cmbServers->setCurrentIndex(-1);
    cmbServers->setEditText(QString::fromLatin1(folders::kNoServerChosen));
}

void frmFolderSettings::FetchInfo(std::int64_t SyncID) {
    EditID = SyncID;
    try {
        store::SqlText = store::SelectJobStatement(SyncID);
        store::Recordset job = store::StoreConnection().Execute(store::SqlText);
        if (job.Eof()) {
            // Deleted from the list after it was filled: edit a new one instead.
            ResetToNewJob();
            MsgBox(QStringLiteral("This folder job no longer exists; it may have been deleted."));
            return;
        }
        txtFolder->setText(QString::fromStdString(job.Fields("Folder")));
        // Only the exact text "YES" ticks the box.
        chkSubDirs->setChecked(job.Fields("SubDirs") == "YES");
        const std::string settingsId = job.Fields("SettingsID");

        // A profile ID that is no number names no profile either.
        const auto key = ParseKey(settingsId);
        store::Recordset profile;
        if (key) {
            store::SqlText = store::SelectServerStatement(*key);
            profile = store::StoreConnection().Execute(store::SqlText);
        }
        if (profile.Eof()) {
            MsgBox(QStringLiteral("Server Profile Appears to have been deleted"));
            return;
        }
        const QString entry = ProfileEntryOf(profile);
        const int index = cmbServers->findText(entry);
        if (index >= 0)
            cmbServers->setCurrentIndex(index);
        else
            cmbServers->setEditText(entry);
    } catch (const store::StoreError& e) {
        // Half-filled fields under the old ID would overwrite that record on Save.
        ResetToNewJob();
        windows::ShowStoreError(e, this);
    }
}

bool frmFolderSettings::ProfileExists(std::int64_t settingsId) {
    return !store::StoreConnection().Execute(store::SelectServerStatement(settingsId)).Eof();
}

void frmFolderSettings::cmdClose_Click() {
    const std::string folder = txtFolder->text().toStdString();
    const std::string combo = cmbServers->currentText().toStdString();
    const bool subDirs = chkSubDirs->isChecked();
    try {
        if (const auto problem =
                folders::FolderSaveProblem(folder, combo, [this](std::int64_t id) { return ProfileExists(id); })) {
            MsgBox(QString::fromStdString(*problem), vbOKOnly, QString(), this);
            return;
        }
        const std::string profileId = GetEntryID(combo).value_or(std::string());
        store::SqlText = EditID != 0 ? store::UpdateJobStatement(folder, profileId, subDirs, EditID)
                                     : store::InsertJobStatement(folder, profileId, subDirs);
        LogStatus("Updating Folders Database");
        store::StoreConnection().Execute(store::SqlText);
    } catch (const store::StoreError& e) {
        windows::ShowStoreError(e, this);
        return;
    }
    close();
    frmFolders::Load().ReloadList();
}

void frmFolderSettings::cmdClearFolderInfo_Click() {
    const std::string folder = txtFolder->text().toStdString();
    if (folder.empty()) {
        MsgBox(QStringLiteral("You need a path to clear first!"), vbCritical, QStringLiteral("Error"));
        return;
    }
    const QString prompt =
        QStringLiteral("This will wipe ALL status information for the files in this folder AND SUB FOLDERS!.") +
        kCrLf + QStringLiteral("You should only use this option if you want to re-back up these files.") + kCrLf +
        kCrLf + QStringLiteral("Are you entirely sure you wish to clear this information?");
    if (MsgBox(prompt, vbYesNo, QStringLiteral("!!!WARNING!!!")) != vbYes) {
        MsgBox(QStringLiteral("Operation aborted!"), vbInformation, QStringLiteral("Aborted"));
        return;
    }
    try {
        store::SqlText = store::ClearFolderFilesStatement(folder);
        store::StoreConnection().Execute(store::SqlText);
    } catch (const store::StoreError& e) {
        windows::ShowStoreError(e, this);
        return;
    }
    MsgBox(QStringLiteral("Complete, information cleared"), vbInformation, QStringLiteral("Result"));
}

void frmFolderSettings::closeEvent(QCloseEvent* event) {
    QWidget::closeEvent(event);
    if (event->isAccepted()) Release(this);
}

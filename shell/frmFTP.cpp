#include "shell/frmFTP.h"

#include "shell/modAlwaysOnTop.h"
#include "shell/AppIcon.h"
#include "shell/Twips.h"
#include "store/Store.h"
#include "store/Jobs.h"
#include "base/StatusLog.h"
#include "sync/RemotePath.h"

#include <QCloseEvent>
#include <QLabel>
#include <QPushButton>

frmFTP::frmFTP(QWidget* owner)
    : QWidget(owner, Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      lblStatus(new QLabel(QStringLiteral("Connecting....."), this)),
      cmdHide(new QPushButton(QStringLiteral("Hide"), this)),
      lblCurrentFile(new QLabel(this)) {
    setWindowTitle(QString());
    setWindowIcon(AppIcon());
    setFixedSize(Px(4080), Px(1200));

    lblStatus->setObjectName(QStringLiteral("lblStatus"));
    lblStatus->setGeometry(Px(30), Px(30), Px(4005), Px(645));
    lblStatus->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    lblStatus->setWordWrap(true);
    cmdHide->setObjectName(QStringLiteral("cmdHide"));
    cmdHide->setGeometry(Px(120), Px(690), Px(3765), Px(225));
    lblCurrentFile->setObjectName(QStringLiteral("lblCurrentFile"));
    lblCurrentFile->setGeometry(Px(30), Px(960), Px(4035), Px(255));
    lblCurrentFile->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    setTabOrder(cmdHide, lblCurrentFile);
    connect(cmdHide, &QPushButton::clicked, this, &frmFTP::cmdHide_Click);

    if (owner) {
        const QRect frame = owner->frameGeometry();
        move(frame.center() - QPoint(width() / 2, height() / 2));
    }
}

void frmFTP::SetStatus(const std::string& text) { lblStatus->setText(QString::fromStdString(text)); }

void frmFTP::SetCurrentFile(const std::string& name) { lblCurrentFile->setText(QString::fromStdString(name)); }

void frmFTP::Connected(bool on) { SetAlwaysOnTop(this, on); }

QString frmFTP::StatusText() const { return lblStatus->text(); }

QString frmFTP::CurrentFileText() const { return lblCurrentFile->text(); }

namespace {

void Log(const syncrun::Lines& lines) {
    for (const std::string& line : lines) LogStatus(line);
}

}  // namespace

bool frmFTP::ConnectToFTP(std::int64_t syncId) {
    syncrun::Lines lines;
    const bool connected = uploader_.Connect(store::ReadJob(store::StoreConnection(), syncId), lines);
    Log(lines);
    if (connected) Connected(true);
    return connected;
}

bool frmFTP::UploadFile(const std::string& fileName, const std::string& remote, const std::string& remoteFolder) {
    const ftp::RemotePath target = syncrun::RemoteTarget(remoteFolder, remote);
    ftp::RemotePath folder = target;
    folder.levels.pop_back();
    syncrun::Lines lines;
    bool made = false;
    uploader_.MakeFolder(folder, false, made, lines);
    SetStatus("Uploading " + fileName);
    const bool sent = uploader_.Put(nullptr, fileName, target, nullptr, false, lines) == syncrun::Attempt::Done;
    if (sent) SetStatus("Scanning Files..");
    Log(lines);
    return sent;
}

void frmFTP::cmdHide_Click() { SetAlwaysOnTop(this, false); }

void frmFTP::Unload() {
    if (!unloaded_) {
        unloaded_ = true;
        Connected(false);
        uploader_.Close();
        LogStatus("FTP Info: I have disconnected from the server.");
    }
    unloading_ = true;
    close();
}

void frmFTP::Dismiss() {
    unloaded_ = true;
    SetAlwaysOnTop(this, false);
    unloading_ = true;
    close();
}

void frmFTP::closeEvent(QCloseEvent* event) {
    // The run owns the window while the job lasts; "Hide" is the user's way
    // to get it out of the way.
    if (event->spontaneous() && !unloading_) event->ignore();
    else event->accept();
}

#include "ftp/frmFTP.h"

#include "ftp/modAlwaysOnTop.h"
#include "shell/AppIcon.h"
#include "shell/Twips.h"

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

    session_.onLabelsChanged = [this] { ShowLabels(); };
    session_.onTopMostChanged = [this](bool on) { SetAlwaysOnTop(this, on); };
    ShowLabels();
}

void frmFTP::ShowLabels() {
    lblStatus->setText(QString::fromStdString(session_.Status()));
    lblCurrentFile->setText(QString::fromStdString(session_.CurrentFile()));
}

void frmFTP::SetStatus(const std::string& text) { session_.SetStatus(text); }

void frmFTP::SetCurrentFile(const std::string& name) { session_.SetCurrentFile(name); }

bool frmFTP::ConnectToFTP(std::int64_t syncId) { return session_.ConnectToFTP(syncId); }

bool frmFTP::UploadFile(const std::string& fileName, const std::string& remote, const std::string& remoteFolder) {
    return session_.UploadFile(fileName, remote, remoteFolder);
}

void frmFTP::cmdHide_Click() { SetAlwaysOnTop(this, false); }

void frmFTP::Unload() {
    session_.Unload();
    unloading_ = true;
    close();
}

void frmFTP::closeEvent(QCloseEvent* event) {
    // The run owns the window while the job lasts; "Hide" is the user's way
    // to get it out of the way.
    if (event->spontaneous() && !unloading_) event->ignore();
    else event->accept();
}

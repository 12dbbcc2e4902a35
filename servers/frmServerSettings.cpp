#include "servers/frmServerSettings.h"

#include "ftp/modFTP.h"
#include "servers/frmServers.h"
#include "shell/MsgBox.h"
#include "base/Runtime.h"
#include "base/StatusLog.h"
#include "store/Store.h"

#include <QCloseEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

namespace {

const QString kNotesPlaceholder = QStringLiteral("Notes for this server");
// The same passive-first connection a job's transfer makes, so the test
// tries what a run will do.
constexpr std::uint32_t kTestConnectFlags = ftp::INTERNET_FLAG_PASSIVE;

QLineEdit* MakeField(QWidget* parent, const char* name, int top) {
    auto* field = new QLineEdit(parent);
    field->setObjectName(QString::fromLatin1(name));
    windows::PlaceTwips(field, 1440, top, 3195, 285);
    return field;
}

}  // namespace

void frmServerSettings::SessionCloser::operator()(ftp::InternetSession* session) const {
    ftp::InternetCloseHandle(session);
}

void frmServerSettings::ConnectionCloser::operator()(ftp::FtpSession* connection) const {
    ftp::InternetCloseHandle(connection);
}

frmServerSettings::frmServerSettings()
    : QWidget(nullptr, windows::kEditorWindowFlags) {
    setObjectName(QStringLiteral("frmServerSettings"));
    setWindowTitle(QStringLiteral("Server Settings"));
    setAttribute(Qt::WA_DeleteOnClose);

    Label1 = windows::FieldLabel(this, "Label1", QStringLiteral("Server Hostname:"), 120);
    txtServer = MakeField(this, "txtServer", 90);
    Label2 = windows::FieldLabel(this, "Label2", QStringLiteral("Server Port:"), 450);
    txtPort = MakeField(this, "txtPort", 420);
    Label3 = windows::FieldLabel(this, "Label3", QStringLiteral("Username:"), 780);
    txtUsername = MakeField(this, "txtUsername", 750);
    Label4 = windows::FieldLabel(this, "Label4", QStringLiteral("Password:"), 1110);
    txtPassword = MakeField(this, "txtPassword", 1080);  // shown as typed, unmasked
    Label5 = windows::FieldLabel(this, "Label5", QStringLiteral("Remote Directory:"), 1440);
    txtFolder = MakeField(this, "txtFolder", 1410);
    // How many files a job sends at once; the rows below it moved down one.
    Label6 = windows::FieldLabel(this, "Label6", QStringLiteral("Connections:"), 1770);
    txtConnections = MakeField(this, "txtConnections", 1740);

    txtNotes = new QPlainTextEdit(this);
    txtNotes->setObjectName(QStringLiteral("txtNotes"));
    txtNotes->setTabChangesFocus(true);  // Tab goes on to Save, as in every other box
    windows::PlaceTwips(txtNotes, 30, 2070, 4605, 1155);

    cmdClose = new QPushButton(QStringLiteral("&Save"), this);
    cmdClose->setObjectName(QStringLiteral("cmdClose"));
    windows::PlaceTwips(cmdClose, 30, 3270, 4635, 255);
    cmdTestFTP = new QPushButton(QStringLiteral("&Test Connection"), this);
    cmdTestFTP->setObjectName(QStringLiteral("cmdTestFTP"));
    windows::PlaceTwips(cmdTestFTP, 30, 3570, 4635, 255);

    QWidget* order[] = {txtServer, txtPort, txtUsername, txtPassword, txtFolder, txtConnections, txtNotes, cmdClose,
                        cmdTestFTP};
    for (std::size_t i = 1; i < std::size(order); ++i) setTabOrder(order[i - 1], order[i]);

    connect(cmdClose, &QPushButton::clicked, this, [this] { cmdClose_Click(); });
    connect(cmdTestFTP, &QPushButton::clicked, this, [this] { cmdTestFTP_Click(); });

    windows::FitCaptions(this);
    windows::PlaceFixedWindow(this, 4680, 3810);
    Form_Load();
}

frmServerSettings::~frmServerSettings() {
    if (worker_.joinable()) worker_.join();
}

frmServerSettings& frmServerSettings::ShowWindow() { return Show(); }

void frmServerSettings::Form_Load() {
    ResetToNewProfile();
    // The editor's own session: the shared slots belong to a running job.
    session_.reset(ftp::InternetOpen(ftp::kAgentName));
    if (!session_) ftp::ReportInternetError(ftp::GetLastError(), "InternetOpen");
}

void frmServerSettings::ResetToNewProfile() {
    EditID = 0;
    for (QLineEdit* field : {txtServer, txtUsername, txtPassword, txtFolder}) field->clear();
    txtPort->setText(QStringLiteral("21"));
    txtConnections->setText(QStringLiteral("4"));
    txtNotes->setPlainText(kNotesPlaceholder);
}

void frmServerSettings::FetchInfo(std::int64_t SettingsID) {
    EditID = SettingsID;
    try {
        store::SqlText = store::SelectServerStatement(SettingsID);
        store::Recordset rs = store::StoreConnection().Execute(store::SqlText);
        if (rs.Eof()) {
            // Deleted from the list after it was filled: edit a new one instead.
            ResetToNewProfile();
            MsgBox(QStringLiteral("This server profile no longer exists; it may have been deleted."));
            return;
        }
        const store::ServerProfile p = store::ReadServerProfile(rs);
        txtServer->setText(QString::fromStdString(p.server));
        txtPort->setText(QString::fromStdString(p.port));
        txtUsername->setText(QString::fromStdString(p.user));
        txtPassword->setText(QString::fromStdString(p.password));
        txtFolder->setText(QString::fromStdString(p.directory));
        txtNotes->setPlainText(QString::fromStdString(p.notes));
        txtConnections->setText(QString::fromStdString(p.connections));
    } catch (const store::StoreError& e) {
        // Half-filled fields under the old ID would overwrite that record on Save.
        ResetToNewProfile();
        windows::ShowStoreError(e, this);
    }
}

store::ServerProfile frmServerSettings::TypedProfile() const {
    return {txtServer->text().toStdString(),   txtPort->text().toStdString(),
            txtUsername->text().toStdString(), txtPassword->text().toStdString(),
            txtFolder->text().toStdString(),   txtNotes->toPlainText().toStdString(),
            txtConnections->text().toStdString()};
}

void frmServerSettings::cmdClose_Click() {
    if (!runtime::IsNumeric(txtPort->text().toStdString())) {
        MsgBox(QStringLiteral("Please enter a port as a number"), vbOKOnly, QString(), this);
        return;
    }
    const store::ServerProfile profile = TypedProfile();
    store::SqlText = EditID != 0 ? store::UpdateServerStatement(profile, EditID)
                                 : store::InsertServerStatement(profile);
    LogStatus("Updating Servers Database");
    try {
        store::StoreConnection().Execute(store::SqlText);
    } catch (const store::StoreError& e) {
        windows::ShowStoreError(e, this);
        return;
    }
    close();
    frmServers::Load().ReloadList();
}

void frmServerSettings::cmdTestFTP_Click() {
    // Each step waits on the server on a thread of its own; the boxes come
    // between them on this one. Until the test is over the editor takes no
    // input and refuses to close, so it is neither re-entered nor deleted
    // under the test.
    if (testing_) return;
    testing_ = true;
    setEnabled(false);
    connection_.reset();
    const std::string host = txtServer->text().toStdString(), user = txtUsername->text().toStdString(),
                      password = txtPassword->text().toStdString(), folder = txtFolder->text().toStdString();
    const int port = ftp::PortFromProfile(txtPort->text().toStdString(), host);
    ftp::InternetSession* session = session_.get();
    OffThread(
        [this, session, host, port, user, password] {
            connection_.reset(ftp::InternetConnect(session, host, port, user, password, kTestConnectFlags));
            if (!connection_) ftp::ReportInternetError(ftp::GetLastError(), "InternetConnect");
            return connection_ != nullptr;
        },
        [this, folder](bool connected) {
            if (!connected) return TestOver();
            MsgBox(QStringLiteral("Connected!"), vbOKOnly, QStringLiteral("FTP"));
            OffThread(
                [this, folder] {
                    if (ftp::FtpSetCurrentDirectory(connection_.get(), folder)) return true;
                    // The connection stays open until the next test or the window goes.
                    ftp::ReportInternetError(ftp::GetLastError(), "FtpSetCurrentDirectory");
                    return false;
                },
                [this, folder](bool changed) {
                    if (!changed) return TestOver();
                    MsgBox(QStringLiteral("Directory is changed to ") + QString::fromStdString(folder), vbOKOnly,
                           QStringLiteral("FTP Service"));
                    OffThread([this] { return connection_.reset(), true; },
                              [this](bool) {
                                  MsgBox(QStringLiteral("I have disconnected from the server."), vbOKOnly,
                                         QStringLiteral("FTP Service"));
                                  TestOver();
                              });
                });
        });
}

void frmServerSettings::OffThread(std::function<bool()> work, std::function<void(bool)> then) {
    worker_ = std::thread([this, work = std::move(work), then = std::move(then)]() mutable {
        const bool result = work();
        QMetaObject::invokeMethod(
            this,
            [this, then = std::move(then), result] {
                worker_.join();
                then(result);
            },
            Qt::QueuedConnection);
    });
}

void frmServerSettings::TestOver() {
    setEnabled(true);
    testing_ = false;
}

void frmServerSettings::Form_Unload() {
    connection_.reset();
    session_.reset();
}

void frmServerSettings::closeEvent(QCloseEvent* event) {
    if (testing_) {
        event->ignore();
        return;
    }
    QWidget::closeEvent(event);
    if (!event->isAccepted()) return;
    Form_Unload();
    Release(this);
}

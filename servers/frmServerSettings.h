#pragma once
// The editor of one server profile, with a test of the typed values
// against the server. The test has its own internet session and its own
// connection: a job that is running keeps its connection untouched.

#include "store/Profiles.h"
#include "shell/WindowSupport.h"

#include <QWidget>

#include <cstdint>
#include <functional>
#include <memory>
#include <thread>

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace ftp {
struct InternetSession;
struct FtpSession;
}  // namespace ftp

class frmServerSettings : public QWidget, public SingleInstance<frmServerSettings> {
    Q_OBJECT
public:
    // Loads the one editor (for a new profile) when it is not loaded, and
    // shows it; an open editor is only brought forward, as it is.
    static frmServerSettings& ShowWindow();

    // Loads the profile into the fields; Save then updates it.
    void FetchInfo(std::int64_t SettingsID);

    void cmdClose_Click();    // Save
    void cmdTestFTP_Click();  // Test Connection

    // The profile being edited; 0 for a new one.
    std::int64_t EditID = 0;

    // Whether a test left its connection open (its directory change failed).
    bool HoldsTestConnection() const { return connection_ != nullptr; }
    // A connection test is waiting on the server.
    bool Testing() const { return testing_; }

    QLabel* Label1 = nullptr;
    QLineEdit* txtServer = nullptr;
    QLabel* Label2 = nullptr;
    QLineEdit* txtPort = nullptr;
    QLabel* Label3 = nullptr;
    QLineEdit* txtUsername = nullptr;
    QLabel* Label4 = nullptr;
    QLineEdit* txtPassword = nullptr;
    QLabel* Label5 = nullptr;
    QLineEdit* txtFolder = nullptr;
    QLabel* Label6 = nullptr;
    QLineEdit* txtConnections = nullptr;
    QPlainTextEdit* txtNotes = nullptr;
    QPushButton* cmdClose = nullptr;
    QPushButton* cmdTestFTP = nullptr;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    friend class SingleInstance<frmServerSettings>;
    frmServerSettings();
    ~frmServerSettings() override;

    void Form_Load();
    void Form_Unload();
    // Runs `work` on a thread of its own, then `then` with its result on
    // this window's thread.
    void OffThread(std::function<bool()> work, std::function<void(bool)> then);
    void TestOver();
    void ResetToNewProfile();
    store::ServerProfile TypedProfile() const;

    struct SessionCloser {
        void operator()(ftp::InternetSession* session) const;
    };
    struct ConnectionCloser {
        void operator()(ftp::FtpSession* connection) const;
    };
    std::unique_ptr<ftp::InternetSession, SessionCloser> session_;
    std::unique_ptr<ftp::FtpSession, ConnectionCloser> connection_;
    std::thread worker_;    // the test step under way
    bool testing_ = false;  // a connection test is running
};

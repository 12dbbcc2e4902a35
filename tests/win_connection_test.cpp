// The server editor's connection test against a real FTP server on
// loopback: its three boxes, failures only as status lines, the typed port,
// and its own session and connection beside a running job's.

#include "ftp/modFTP.h"
#include "servers/frmServerSettings.h"
#include "shell/MsgBox.h"
#include "tests/support/FtpServer.h"
#include "tests/win_fixture.h"

#include <QLineEdit>
#include <QPushButton>

#include <filesystem>

namespace {

using testsupport::FtpServer;

class ConnectionTest : public wintest::WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        std::filesystem::create_directories(dir / "ftproot/incoming");
        server = std::make_unique<FtpServer>(dir / "ftproot");
    }
    void TearDown() override {
        WindowTest::TearDown();
        server.reset();
    }
    frmServerSettings& Editor(const std::string& password, const std::string& folder) {
        frmServerSettings& e = frmServerSettings::ShowWindow();
        e.txtServer->setText("127.0.0.1");
        e.txtPort->setText(QString::number(server->port()));
        e.txtUsername->setText("tessary");
        e.txtPassword->setText(QString::fromStdString(password));
        e.txtFolder->setText(QString::fromStdString(folder));
        return e;
    }
    std::vector<std::pair<QString, QString>> Shown() {
        std::vector<std::pair<QString, QString>> out;
        for (const auto& b : msgbox::ShownBoxes()) {
            EXPECT_EQ(b.style, vbOKOnly) << b.text.toStdString();
            out.emplace_back(b.text, b.title);
        }
        return out;
    }
    std::unique_ptr<FtpServer> server;
};

using BoxList = std::vector<std::pair<QString, QString>>;
const BoxList kAllThree{{"Connected!", "FTP"},
                      {"Directory is changed to incoming", "FTP Service"},
                      {"I have disconnected from the server.", "FTP Service"}};

TEST_F(ConnectionTest, ShowsTheThreeBoxesAndLeavesARunningJobsConnectionAlone) {
    // A job that is running holds the shared slots.
    ftp::InternetSession* jobSession = ftp::InternetOpen("job");
    ftp::FtpSession* jobConnection =
        ftp::InternetConnect(jobSession, "127.0.0.1", server->port(), "tessary", "secret", ftp::ConnectFlags);
    ASSERT_NE(jobConnection, nullptr);
    ftp::InternetHandle = jobSession;
    ftp::FtpConnection = jobConnection;
    const std::uint32_t transferFlags = ftp::TransferFlags;
    const std::uint32_t connectFlags = ftp::ConnectFlags;

    frmServerSettings& editor = Editor("secret", "incoming");
    editor.cmdTestFTP->click();
    EXPECT_EQ(Shown(), kAllThree);
    EXPECT_TRUE(Lines().empty());
    EXPECT_EQ(server->logins(), 2) << "the test logged in with the typed values on the typed port";
    EXPECT_FALSE(editor.HoldsTestConnection());
    EXPECT_EQ(Count("mySettings"), 0) << "a test saves nothing";

    editor.close();
    wintest::FlushDeletes();
    EXPECT_EQ(ftp::InternetHandle, jobSession);
    EXPECT_EQ(ftp::FtpConnection, jobConnection);
    EXPECT_EQ(ftp::TransferFlags, transferFlags);
    EXPECT_EQ(ftp::ConnectFlags, connectFlags);
    EXPECT_TRUE(ftp::FtpSetCurrentDirectory(jobConnection, "incoming")) << "the job's connection still works";

    ftp::InternetCloseHandle(jobConnection);
    ftp::InternetCloseHandle(jobSession);
    ftp::FtpConnection = nullptr;
    ftp::InternetHandle = nullptr;
}

TEST_F(ConnectionTest, AWrongPasswordShowsNoBoxAndLogsTheConnectFailure) {
    frmServerSettings& editor = Editor("wrong", "incoming");
    editor.cmdTestFTP->click();
    EXPECT_TRUE(msgbox::ShownBoxes().empty());
    ASSERT_FALSE(Lines().empty());
    EXPECT_EQ(Lines()[0].rfind("FTP Info: InternetConnect error code: ", 0), 0u) << Lines()[0];
    for (std::size_t i = 1; i < Lines().size(); ++i)
        EXPECT_EQ(Lines()[i].rfind("Extended Info: ", 0), 0u) << Lines()[i];
    EXPECT_FALSE(editor.HoldsTestConnection());
    EXPECT_TRUE(editor.isEnabled()) << "the editor takes input again after the test";
    EXPECT_EQ(ftp::FtpConnection, nullptr);
}

TEST_F(ConnectionTest, AMissingDirectoryKeepsTheConnectionUntilTheNextTest) {
    frmServerSettings& editor = Editor("secret", "missing");
    editor.cmdTestFTP->click();
    EXPECT_EQ(Shown(), (BoxList{{"Connected!", "FTP"}}));
    ASSERT_FALSE(Lines().empty());
    EXPECT_EQ(Lines()[0].rfind("FTP Info: FtpSetCurrentDirectory error code: ", 0), 0u) << Lines()[0];
    EXPECT_TRUE(editor.HoldsTestConnection());

    msgbox::ClearShown();
    ClearLines();
    editor.txtFolder->setText("incoming");
    editor.cmdTestFTP->click();
    EXPECT_EQ(Shown(), kAllThree);
    EXPECT_TRUE(Lines().empty());
    EXPECT_FALSE(editor.HoldsTestConnection());
    EXPECT_EQ(server->logins(), 2);
    EXPECT_EQ(ftp::FtpConnection, nullptr);
}

TEST_F(ConnectionTest, TheTypedValuesCountNotTheStoredProfile) {
    AddProfile("127.0.0.1", "tessary", "21", "stale", "/nowhere");
    frmServerSettings& editor = frmServerSettings::ShowWindow();
    editor.FetchInfo(1);
    editor.txtPort->setText(QString::number(server->port()));
    editor.txtPassword->setText("secret");
    editor.txtFolder->setText("incoming");
    editor.cmdTestFTP->click();
    EXPECT_EQ(Shown(), kAllThree);
    EXPECT_EQ(Column("mySettings", "FTPPassword", "SettingsID = 1"), "stale");
}

}  // namespace

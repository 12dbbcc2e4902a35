// The server editor's connection test against a real FTP server: its three
// boxes, failures as status lines only, the typed values rather than the
// stored ones, and its own connection beside another one.

#include "ftp/modFTP.h"
#include "servers/frmServerSettings.h"
#include "shell/MsgBox.h"
#include "tests/support/FtpServer.h"
#include "tests/win_fixture.h"

#include <QLineEdit>
#include <QPushButton>

#include <filesystem>

namespace {

using wintest::Boxes;

const QStringList kAllThree{"FTP|0|Connected!", "FTP Service|0|Directory is changed to incoming",
                            "FTP Service|0|I have disconnected from the server."};

class ConnectionTest : public wintest::WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        std::filesystem::create_directories(dir / "ftproot/incoming");
        server = std::make_unique<testsupport::FtpServer>(dir / "ftproot");
    }
    frmServerSettings& Editor(const QString& password, const QString& folder) {
        frmServerSettings& e = frmServerSettings::ShowWindow();
        e.txtServer->setText("127.0.0.1");
        e.txtPort->setText(QString::number(server->port()));
        e.txtUsername->setText("tessary");
        e.txtPassword->setText(password);
        e.txtFolder->setText(folder);
        return e;
    }
    std::unique_ptr<testsupport::FtpServer> server;
};

TEST_F(ConnectionTest, TheTypedValuesAreTriedAndAnotherConnectionIsLeftAlone) {
    ftp::InternetSession* session = ftp::InternetOpen(ftp::kAgentName);
    ftp::FtpSession* running =
        ftp::InternetConnect(session, "127.0.0.1", server->port(), "tessary", "secret", ftp::INTERNET_FLAG_PASSIVE);
    ASSERT_NE(running, nullptr);
    testsupport::AddProfile(21, "stale", "/nowhere");
    frmServerSettings& editor = Editor("", "");
    editor.FetchInfo(1);
    editor.txtPort->setText(QString::number(server->port()));
    editor.txtPassword->setText("secret");
    editor.txtFolder->setText("incoming");
    editor.cmdTestFTP->click();
    EXPECT_EQ(Boxes(), kAllThree);
    EXPECT_TRUE(log.Lines().empty());
    EXPECT_EQ(server->logins(), 2);
    EXPECT_FALSE(editor.HoldsTestConnection());
    EXPECT_EQ(Column("mySettings", "FTPPassword", "SettingsID = 1"), "stale") << "a test saves nothing";
    editor.close();
    wintest::FlushDeletes();
    EXPECT_TRUE(ftp::FtpSetCurrentDirectory(running, "incoming")) << "the other connection still works";
    ftp::InternetCloseHandle(running);
    ftp::InternetCloseHandle(session);
}

TEST_F(ConnectionTest, AWrongPasswordShowsNoBoxAndLogsTheConnectFailure) {
    frmServerSettings& editor = Editor("wrong", "incoming");
    editor.cmdTestFTP->click();
    EXPECT_TRUE(Boxes().isEmpty());
    EXPECT_EQ(log.Lines(), (std::vector<std::string>{
                               "FTP Info: InternetConnect error code: 12003 Message: The server refused the request.\n",
                               "Extended Info: 530 Authentication failed."}));
    EXPECT_FALSE(editor.HoldsTestConnection());
    EXPECT_TRUE(editor.isEnabled()) << "the editor takes input again after the test";
}

TEST_F(ConnectionTest, AMissingDirectoryKeepsTheConnectionUntilTheNextTest) {
    frmServerSettings& editor = Editor("secret", "missing");
    editor.cmdTestFTP->click();
    EXPECT_EQ(Boxes(), QStringList{"FTP|0|Connected!"});
    ASSERT_FALSE(log.Lines().empty());
    EXPECT_EQ(log.Lines()[0].rfind("FTP Info: FtpSetCurrentDirectory error code: 12003 ", 0), 0u);
    EXPECT_TRUE(editor.HoldsTestConnection());
    log.Clear();
    editor.txtFolder->setText("incoming");
    editor.cmdTestFTP->click();
    EXPECT_EQ(Boxes(), kAllThree);
    EXPECT_TRUE(log.Lines().empty());
    EXPECT_FALSE(editor.HoldsTestConnection());
    EXPECT_EQ(server->logins(), 2);
}

}  // namespace

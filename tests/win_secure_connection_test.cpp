// The server editor's connection test over FTPS and SFTP: the same three boxes as over plain FTP, and an
// untrusted server shows only its status line.

#include "ftp/modFTP.h"
#include "servers/frmServerSettings.h"
#include "tests/support/SecureServers.h"
#include "tests/win_fixture.h"

#include <QLineEdit>
#include <QPushButton>

namespace {

class SecureConnectionTest : public wintest::WindowTest {
protected:
    void SetUp() override {
        if (const std::string why = testsupport::SecureServersUnavailable(); !why.empty()) GTEST_SKIP() << why;
        WindowTest::SetUp();
        servers = std::make_unique<testsupport::SecureServers>(dir.path());
        servers->StartFtps();
        servers->StartSftp();
    }
    void TearDown() override {
        if (!IsSkipped()) WindowTest::TearDown();
    }
    // Runs the editor's test against the server named `host`; the boxes it showed.
    QStringList Test(const char* host, const testsupport::ServerProcess& server) {
        log.Clear();
        frmServerSettings& e = frmServerSettings::ShowWindow();
        e.txtServer->setText(host);
        e.txtPort->setText(QString::number(server.port));
        e.txtUsername->setText(QString::fromStdString(testsupport::SystemTestAccount().user));
        e.txtPassword->setText(QString::fromStdString(testsupport::SystemTestAccount().password));
        e.txtFolder->setText(QString::fromStdString(servers->root));
        e.cmdTestFTP->click();
        return wintest::Boxes();
    }
    std::unique_ptr<testsupport::SecureServers> servers;
};

TEST_F(SecureConnectionTest, EverySchemeShowsTheThreeBoxes) {
    const QStringList allThree{"FTP|0|Connected!", QString::fromStdString("FTP Service|0|Directory is changed to " +
                                                                          servers->root),
                               "FTP Service|0|I have disconnected from the server."};
    for (const auto& [host, server] : {std::pair{"ftps://127.0.0.1", servers->ftps.get()},
                                       std::pair{"SFTP://127.0.0.1", servers->sftp.get()}}) {
        EXPECT_EQ(Test(host, *server), allThree);
        EXPECT_TRUE(log.Lines().empty()) << log.Lines()[0];
    }
}

TEST_F(SecureConnectionTest, AnUntrustedServerShowsOnlyItsLine) {
    ftp::SetCaFileForTesting({});
    testsupport::WriteFile(servers->knownHosts, "");
    const std::string keyscan = "ssh-keyscan -p " + std::to_string(servers->sftp->port) + " 127.0.0.1 >> ";
    for (const auto& [host, server, says] :
         {std::tuple{"ftps://127.0.0.1", servers->ftps.get(), "FTP Info: InternetConnect error code: 12045 Message: "},
          std::tuple{"sftp://127.0.0.1", servers->sftp.get(), keyscan.c_str()}}) {
        EXPECT_TRUE(Test(host, *server).empty()) << host;
        ASSERT_EQ(log.Lines().size(), 1u) << host;
        EXPECT_NE(log.Lines()[0].find(says), std::string::npos) << log.Lines()[0];
    }
}

}  // namespace

// The server editor's connection test over FTPS (vsftpd) and SFTP (sshd)
// on loopback: the same three boxes as plain FTP, and an untrusted server
// shows only its status line.

#include "ftp/modFTP.h"
#include "servers/frmServerSettings.h"
#include "shell/MsgBox.h"
#include "tests/support/SecureServers.h"
#include "tests/win_fixture.h"

#include <QLineEdit>
#include <QPushButton>

#include <filesystem>

namespace {

using BoxList = std::vector<std::pair<QString, QString>>;

class SecureConnectionTest : public wintest::WindowTest {
protected:
    void SetUp() override {
        if (const std::string why = testsupport::SecureServersUnavailable(); !why.empty()) GTEST_SKIP() << why;
        WindowTest::SetUp();
        root = dir / "srv";
        testsupport::GiveToTestAccount(root, dir.path());
        certs = std::make_unique<testsupport::TestCertificates>(dir / "certs");
        const auto [cert, key] = certs->Issue("server", "IP:127.0.0.1");
        vsftpd = std::make_unique<testsupport::VsftpdServer>(dir / "vsftpd", root, cert, key);
        sshd = std::make_unique<testsupport::SshServer>(dir / "sshd", root);
        ftp::SetCaFileForTesting(certs->caFile());
        testsupport::WriteFile(dir / "known_hosts", sshd->KeyscanLine());
        ftp::SetKnownHostsFileForTesting(dir / "known_hosts");
    }
    void TearDown() override {
        ftp::SetCaFileForTesting({});
        ftp::SetKnownHostsFileForTesting({});
        if (!IsSkipped()) WindowTest::TearDown();
    }
    // Runs the editor's test with these values; the boxes it showed.
    BoxList Test(const std::string& host, int port) {
        msgbox::ClearShown();
        log.Clear();
        frmServerSettings& e = frmServerSettings::ShowWindow();
        e.txtServer->setText(QString::fromStdString(host));
        e.txtPort->setText(QString::number(port));
        e.txtUsername->setText(QString::fromStdString(testsupport::SystemTestAccount().user));
        e.txtPassword->setText(QString::fromStdString(testsupport::SystemTestAccount().password));
        e.txtFolder->setText(QString::fromStdString(root));
        e.cmdTestFTP->click();
        BoxList shown;
        for (const auto& b : msgbox::ShownBoxes()) shown.emplace_back(b.text, b.title);
        return shown;
    }

    std::string root;
    std::unique_ptr<testsupport::TestCertificates> certs;
    std::unique_ptr<testsupport::VsftpdServer> vsftpd;
    std::unique_ptr<testsupport::SshServer> sshd;
};

TEST_F(SecureConnectionTest, EverySchemeShowsTheThreeBoxes) {
    const BoxList allThree{{"Connected!", "FTP"},
                           {QString::fromStdString("Directory is changed to " + root), "FTP Service"},
                           {"I have disconnected from the server.", "FTP Service"}};
    EXPECT_EQ(Test("ftps://127.0.0.1", vsftpd->port()), allThree);
    EXPECT_TRUE(log.Lines().empty()) << log.Lines()[0];
    EXPECT_EQ(Test("SFTP://127.0.0.1", sshd->port()), allThree);
    EXPECT_TRUE(log.Lines().empty()) << log.Lines()[0];
}

TEST_F(SecureConnectionTest, AnUntrustedServerShowsOnlyItsLine) {
    ftp::SetCaFileForTesting({});
    EXPECT_TRUE(Test("ftps://127.0.0.1", vsftpd->port()).empty());
    ASSERT_EQ(log.Lines().size(), 1u);
    EXPECT_EQ(log.Lines()[0].rfind("FTP Info: InternetConnect error code: 12045 Message: ", 0), 0u) << log.Lines()[0];

    testsupport::WriteFile(dir / "known_hosts", "");
    EXPECT_TRUE(Test("sftp://127.0.0.1", sshd->port()).empty());
    ASSERT_EQ(log.Lines().size(), 1u);
    EXPECT_NE(log.Lines()[0].find("ssh-keyscan -p " + std::to_string(sshd->port()) + " 127.0.0.1 >> "), std::string::npos)
        << log.Lines()[0];
}

}  // namespace

// The transfer window offscreen: its layout, its labels, and keeping itself
// on top while connected without ever moving, resizing or hiding.

#include "ftp/frmFTP.h"
#include "ftp/modAlwaysOnTop.h"
#include "ftp/modFTP.h"
#include "shell/Twips.h"
#include "store/Store.h"
#include "tests/ftp_support.h"
#include "tests/support/FtpServer.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QPushButton>

#include <memory>

namespace {

using testsupport::FtpServer;
using testsupport::TempDir;

class QtEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        static int argc = 1;
        static char name[] = "test_ftp_window";
        static char* argv[] = {name, nullptr};
        app_ = std::make_unique<QApplication>(argc, argv);
    }
    void TearDown() override { app_.reset(); }

private:
    std::unique_ptr<QApplication> app_;
};
const auto* const qtEnvironment = ::testing::AddGlobalTestEnvironment(new QtEnvironment);

class FtpWindow : public ::testing::Test {
protected:
    void SetUp() override {
        owner_.setGeometry(200, 150, 640, 480);
        owner_.show();
        QApplication::processEvents();
    }
    template <typename T>
    T* Child(frmFTP& window, const char* name) {
        return window.findChild<T*>(QString::fromLatin1(name));
    }

    QWidget owner_;
};

TEST_F(FtpWindow, LaidOutAsDesigned) {
    frmFTP window(&owner_);
    EXPECT_TRUE(window.isWindow());
    EXPECT_EQ(window.parentWidget(), &owner_);
    EXPECT_TRUE(window.windowTitle().isEmpty());
    EXPECT_FALSE(window.windowIcon().isNull());
    EXPECT_EQ(window.size(), QSize(Px(4080), Px(1200)));
    EXPECT_EQ(window.minimumSize(), window.maximumSize());
    EXPECT_FALSE(window.windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint));
    EXPECT_LE((window.geometry().center() - owner_.frameGeometry().center()).manhattanLength(), 2);

    struct Control { const char* name; QString text; QRect twips; };
    const Control controls[] = {
        {"lblStatus", QStringLiteral("Connecting....."), {30, 30, 4005, 645}},
        {"cmdHide", QStringLiteral("Hide"), {120, 690, 3765, 225}},
        {"lblCurrentFile", QString(), {30, 960, 4035, 255}},
    };
    for (const auto& c : controls) {
        SCOPED_TRACE(c.name);
        QWidget* w = Child<QWidget>(window, c.name);
        ASSERT_NE(w, nullptr);
        EXPECT_EQ(w->geometry(), QRect(Px(c.twips.x()), Px(c.twips.y()), Px(c.twips.width()), Px(c.twips.height())));
        const auto* label = qobject_cast<QLabel*>(w);
        const auto* button = qobject_cast<QPushButton*>(w);
        EXPECT_EQ(label ? label->text() : button->text(), c.text);
    }
}

TEST_F(FtpWindow, LabelsShowWhatTheRunSets) {
    frmFTP window(&owner_);
    window.SetStatus("Scanning Files..");
    window.SetCurrentFile("report.txt");
    EXPECT_EQ(Child<QLabel>(window, "lblStatus")->text(), QStringLiteral("Scanning Files.."));
    EXPECT_EQ(Child<QLabel>(window, "lblCurrentFile")->text(), QStringLiteral("report.txt"));
    window.Unload();
}

TEST_F(FtpWindow, StayOnTopSwitchKeepsPlaceSizeAndVisibility) {
    QWidget shown;
    shown.setGeometry(300, 200, 272, 80);
    shown.show();
    QApplication::processEvents();
    QWidget hidden;
    hidden.setGeometry(50, 60, 100, 40);
    for (QWidget* w : {&shown, &hidden}) {
        const QRect before = w->geometry();
        const bool visible = w->isVisible();
        for (bool on : {true, true, false, false, true}) {
            SetAlwaysOnTop(w, on);
            QApplication::processEvents();
            EXPECT_EQ(w->windowFlags().testFlag(Qt::WindowStaysOnTopHint), on);
            EXPECT_EQ(w->isVisible(), visible);
            EXPECT_EQ(w->geometry(), before);
        }
    }
}

TEST_F(FtpWindow, TopMostWhileConnectedUntilHideOrUnload) {
    TempDir tmp;
    testsupport::MakeStore(tmp.path());
    testsupport::OpenStoreIn(tmp.path());
    FtpServer server(tmp / "root");
    auto& db = store::StoreConnection();
    db.Execute("insert into mySettings (FTPServer, FTPPort, FTPUser, FTPPassword, FTPDirectory) values "
               "('127.0.0.1', '" + std::to_string(server.port()) + "', 'tessary', 'secret', '/')");
    db.Execute("insert into Tessary (Folder, SettingsID, SubDirs) values ('/x', " +
               std::to_string(db.LastInsertId()) + ", 'NO')");
    const auto job = db.LastInsertId();
    const std::string file = tmp / "local/big.bin";
    testsupport::WriteFile(file, std::string(16 * 1024 * 1024, 'z'));

    ftptest::LogLines log;
    auto window = std::make_unique<frmFTP>(&owner_);
    window->show();
    QApplication::processEvents();
    const QRect place = window->geometry();
    auto topMost = [&] { return window->windowFlags().testFlag(Qt::WindowStaysOnTopHint); };
    EXPECT_FALSE(topMost());

    ASSERT_TRUE(window->ConnectToFTP(job));
    QApplication::processEvents();
    EXPECT_TRUE(topMost());
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->geometry(), place);

    auto* hide = Child<QPushButton>(*window, "cmdHide");
    hide->click();
    QApplication::processEvents();
    EXPECT_FALSE(topMost());
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->geometry(), place);
    EXPECT_EQ(hide->text(), QStringLiteral("Hide"));

    // While the upload runs the label already names the file.
    QStringList seen;
    ftp::SetTransferYield([&] { seen << Child<QLabel>(*window, "lblStatus")->text(); });
    EXPECT_TRUE(window->UploadFile(file, "big.bin", ""));
    ftp::SetTransferYield(nullptr);
    ASSERT_FALSE(seen.isEmpty());
    EXPECT_EQ(seen.front(), QString::fromStdString("Uploading " + file));
    EXPECT_EQ(Child<QLabel>(*window, "lblStatus")->text(), QStringLiteral("Scanning Files.."));

    window->Unload();
    QApplication::processEvents();
    EXPECT_FALSE(window->isVisible());
    EXPECT_FALSE(topMost());
    EXPECT_EQ(ftp::FtpConnection, nullptr);
    EXPECT_EQ(log.lines.back(), "FTP Info: I have disconnected from the server.");
    window.reset();
    store::StoreConnection().Close();
}

}  // namespace

// The transfer window offscreen: on top while connected without ever
// moving, resizing or hiding, "Hide" taking it off the top, its labels
// after a file went out, and the unload's disconnect line.

#include "ftp/frmFTP.h"
#include "ftp/modAlwaysOnTop.h"
#include "store/Store.h"
#include "tests/support/Fixtures.h"
#include "tests/support/FtpServer.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QPushButton>

namespace {

TEST(TransferWindow, StayOnTopKeepsPlaceSizeAndVisibility) {
    QWidget shown, hidden;
    shown.setGeometry(300, 200, 272, 80);
    shown.show();
    hidden.setGeometry(50, 60, 100, 40);
    QApplication::processEvents();
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

TEST(TransferWindow, OnTopWhileConnectedUntilHideOrUnload) {
    testsupport::TempDir tmp;
    testsupport::MakeStore(tmp.path());
    testsupport::OpenStoreIn(tmp.path());
    testsupport::FtpServer server(tmp / "root");
    const auto job = testsupport::AddJob("/x", testsupport::AddProfile(server.port(), "secret", "/"), "NO");
    const std::string file = tmp / "local/a.txt";
    testsupport::WriteFile(file, "z");
    testsupport::LineRecorder log;
    QWidget owner;
    owner.show();
    frmFTP window(&owner);
    window.show();
    QApplication::processEvents();
    const QRect place = window.geometry();
    const auto onTop = [&] { return window.windowFlags().testFlag(Qt::WindowStaysOnTopHint); };
    EXPECT_FALSE(onTop());

    ASSERT_TRUE(window.ConnectToFTP(job));
    QApplication::processEvents();
    EXPECT_TRUE(onTop());
    EXPECT_TRUE(window.isVisible());
    EXPECT_EQ(window.geometry(), place);
    window.findChild<QPushButton*>("cmdHide")->click();
    QApplication::processEvents();
    EXPECT_FALSE(onTop());
    EXPECT_TRUE(window.isVisible());
    EXPECT_EQ(window.geometry(), place);

    window.SetCurrentFile("a.txt");
    EXPECT_TRUE(window.UploadFile(file, "a.txt", ""));
    EXPECT_EQ(window.StatusText(), "Scanning Files..");
    EXPECT_EQ(window.CurrentFileText(), "a.txt");

    window.Unload();
    QApplication::processEvents();
    EXPECT_FALSE(window.isVisible());
    EXPECT_FALSE(onTop());
    EXPECT_EQ(log.Lines().back(), "FTP Info: I have disconnected from the server.");
    EXPECT_EQ(server.logins(), 1);
    store::StoreConnection().Close();
}

}  // namespace

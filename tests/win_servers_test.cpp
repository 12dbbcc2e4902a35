// Both list windows, then the server list and editor over a real store: one instance each, add, edit
// and delete round trips with quotes, refused saves, and the connection test.

#include "ftp/modFTP.h"
#include "tests/support/FtpServer.h"
#include "tests/win_fixture.h"

#include <QApplication>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

#include <array>
#include <filesystem>

namespace {

using wintest::Boxes;
using wintest::Click;
using wintest::Entries;

const std::string kListing = "Listing Settings in Servers Screen";
const QString kNewProfile = "|21||||4|Notes for this server";

class ServerWindows : public wintest::WindowTest {
protected:
    // A profile as "server|port|user|password|directory|connections|notes".
    static frmServerSettings& Fill(frmServerSettings& e, const QString& profile) {
        const QStringList f = profile.split('|');
        for (int i = 0; i < 6; ++i) Fields(e)[i]->setText(f[i]);
        e.txtNotes->setPlainText(f[6]);
        return e;
    }
    static QString Shown(frmServerSettings& e) {
        QStringList f;
        for (QLineEdit* field : Fields(e)) f << field->text();
        return (f << e.txtNotes->toPlainText()).join('|');
    }
    static QString Stored(std::int64_t id) {
        return QString::fromStdString(Column("mySettings", "FTPServer || '|' || FTPPort || '|' || FTPUser || '|' || "
                                             "FTPPassword || '|' || FTPDirectory || '|' || "
                                             "ifnull(FTPConnections, '') || '|' || FTPNotes",
                                             "SettingsID = " + std::to_string(id)));
    }
    static std::array<QLineEdit*, 6> Fields(frmServerSettings& e) {
        return {e.txtServer, e.txtPort, e.txtUsername, e.txtPassword, e.txtFolder, e.txtConnections};
    }
};

TEST_F(ServerWindows, BothListsLoadOnceAndPassOverAnEmptySelection) {
    const struct {
        std::function<ListWindow*()> show;
        std::function<QWidget*()> editor;
        std::function<void()> add;
        std::string listing, table;
    } lists[] = {
        {[]() -> ListWindow* { return &frmServers::Show(); }, [] { return frmServerSettings::Loaded(); },
         [] { AddProfile("a"); }, kListing, "mySettings"},
        {[]() -> ListWindow* { return &frmFolders::Show(); }, [] { return frmFolderSettings::Loaded(); },
         [] { testsupport::AddJob("/a", 1); }, "Listing Settings in Folders Screen", "Tessary"},
    };
    for (const auto& l : lists) {
        SCOPED_TRACE(l.listing);
        l.add();
        ListWindow* first = l.show();
        l.add();
        EXPECT_EQ(l.show(), first);
        EXPECT_EQ(first->lstServers->count(), 1) << "an open list is only brought forward";
        wintest::UnloadAll();
        ListWindow* list = l.show();
        EXPECT_EQ(list->lstServers->count(), 2) << "a list opened again is filled again";
        list->lstServers_DblClick();
        QTest::mouseDClick(list->lstServers->viewport(), Qt::LeftButton, Qt::NoModifier,
                           QPoint(5, list->lstServers->viewport()->height() - 3));  // below the last entry
        EXPECT_EQ(l.editor(), nullptr);
        list->cmdDelete->click();
        EXPECT_EQ(Count(l.table), 2);
        EXPECT_EQ(std::ranges::count(log.Lines(), l.listing), 3) << "Delete reloads the list in every case";
        EXPECT_TRUE(Boxes().isEmpty());
    }
}

// Which texts are numbers is runtime::IsNumeric's test; here, what the editor does with the answer.
TEST_F(ServerWindows, RoundTripsThroughTheStoreQuotesAndAllAndRefusedSavesKeepTheEditor) {
    AddProfile("a");
    auto& db = store::StoreConnection();
    db.Execute("insert into mySettings values(40000, 'b', '2121', 'ub', 'pb', '/b', 'nb', '2')");
    const auto job = testsupport::AddJob("/data", 40001);
    frmServers& list = frmServers::Show();
    list.cmdAdd->click();
    frmServerSettings* editor = frmServerSettings::Loaded();
    ASSERT_TRUE(editor && editor->isVisible());
    EXPECT_EQ(Shown(*editor), kNewProfile);
    editor->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(editor));
    editor->txtNotes->setFocus();
    QTest::keyClick(editor->txtNotes, Qt::Key_Tab);
    EXPECT_EQ(Shown(*editor), kNewProfile) << "Tab types nothing into the notes";
    EXPECT_EQ(QApplication::focusWidget(), editor->cmdClose) << "it moves on, as from every other box";
    // Every field holds SQL's own characters, each stored as typed (the port too).
    const QString quoted =
        "o'host;--| 21.5 |o'user\"; drop table mySettings; --|pa'ss''%_\\|/it's /*|8'|don't' or '1'='1";
    // A save the store refuses is the main window's test (a store another program holds).
    for (const QString port : {"", "21x"}) {
        Fill(*editor, QString(quoted).replace(" 21.5 ", port)).cmdClose->click();
        EXPECT_EQ(Boxes(), QStringList{"Tessary|0|Please enter a port as a number"}) << port.toStdString();
        EXPECT_EQ(frmServerSettings::Loaded(), editor) << "a refused save keeps the editor";
        EXPECT_EQ(Shown(*editor), QString(quoted).replace(" 21.5 ", port)) << "unchanged";
    }
    EXPECT_EQ(std::ranges::count(log.Lines(), kListing), 1) << "nothing was saved, so the list was not filled again";
    Fill(*editor, quoted).cmdClose->click();
    EXPECT_EQ(Stored(40001), quoted);
    EXPECT_EQ(frmServerSettings::Loaded(), nullptr) << "a successful Save unloads the editor";
    EXPECT_EQ(Entries(list.lstServers).last(), "40001 --> Server: o'host;-- User: o'user\"; drop table mySettings; --") << "the list is filled again";
    Click(list.lstServers, 2, true);
    ASSERT_NE(editor = frmServerSettings::Loaded(), nullptr);
    EXPECT_EQ(Shown(*editor), quoted);
    Click(list.lstServers, 1, true);
    EXPECT_EQ(frmServerSettings::Loaded(), editor) << "the open editor takes the other entry";
    EXPECT_EQ(Shown(*editor), "b|2121|ub|pb|/b|2|nb");
    const QString changed = "'|22|''|'x'|'/'||'";
    Fill(*editor, changed);
    list.cmdAdd->click();
    EXPECT_EQ(Shown(*editor), changed) << "Add only brings the open editor forward";
    editor->cmdClose->click();
    EXPECT_EQ(Stored(40000), changed);
    EXPECT_EQ(Stored(1).section('|', 0, 0) + Stored(40001).section('|', 0, 0), "ao'host;--") << "the others as they were";
    Click(list.lstServers, 2);
    list.cmdDelete->click();
    EXPECT_EQ(Entries(list.lstServers), (QStringList{"1 --> Server: a User: tessary", "40000 --> Server: ' User: ''"}));
    EXPECT_EQ(Column("Tessary", "SettingsID", "SyncID = " + std::to_string(job)), "40001") << "jobs are not changed";

    db.Execute("delete from mySettings");  // gone while listed
    Click(list.lstServers, 0, true);
    EXPECT_EQ(Boxes(), QStringList{"Tessary|0|This server profile no longer exists; it may have been deleted."});
    ASSERT_NE(editor = frmServerSettings::Loaded(), nullptr);
    EXPECT_EQ(editor->EditID, 0) << "a new profile instead";
    EXPECT_EQ(Shown(*editor), kNewProfile);
}

TEST_F(ServerWindows, ConnectionTestTriesTheTypedValuesOnItsOwnConnection) {
    std::filesystem::create_directories(dir / "ftproot/incoming");
    testsupport::FtpServer server(dir / "ftproot");
    ftp::InternetSession* session = ftp::InternetOpen(ftp::kAgentName);
    ftp::FtpSession* other = ftp::InternetConnect(session, "127.0.0.1", server.port(), "tessary", "secret", 0);
    testsupport::AddProfile(21, "stale", "/nowhere");
    frmServerSettings& editor = frmServerSettings::ShowWindow();
    editor.FetchInfo(1);
    editor.txtPort->setText(QString::number(server.port()));
    const std::string refused = " error code: 12003 Message: The server refused the request.";
    const auto test = [&] {  // the steps wait on the server off the GUI thread
        editor.cmdTestFTP->click();
        ASSERT_TRUE(QTest::qWaitFor([&] { return !editor.Testing(); }, 20000));
    };
    test();  // with the stored password
    EXPECT_TRUE(Boxes().isEmpty());
    EXPECT_EQ(log.Lines().at(0), "FTP Info: InternetConnect" + refused);
    log.Clear();
    editor.txtPassword->setText("secret");
    editor.txtFolder->setText("missing");
    test();
    EXPECT_EQ(Boxes(), QStringList{"FTP|0|Connected!"});
    EXPECT_EQ(log.Lines(), (std::vector<std::string>{"FTP Info: FtpSetCurrentDirectory" + refused,
                                                     "Extended Info: 550 No such file or directory."}));
    EXPECT_TRUE(editor.HoldsTestConnection()) << "kept until the next test";
    log.Clear();
    editor.txtFolder->setText("incoming");
    test();
    EXPECT_EQ(Boxes(), (QStringList{"FTP|0|Connected!", "FTP Service|0|Directory is changed to incoming",
                                    "FTP Service|0|I have disconnected from the server."}));
    EXPECT_TRUE(log.Lines().empty());
    EXPECT_FALSE(editor.HoldsTestConnection());
    EXPECT_TRUE(editor.isEnabled()) << "the editor takes input again";
    EXPECT_EQ(server.logins(), 3);
    EXPECT_EQ(Stored(1).section('|', 3, 3), "stale") << "a test saves nothing";
    editor.close();
    EXPECT_TRUE(ftp::FtpSetCurrentDirectory(other, "incoming")) << "the other connection still works";
    ftp::InternetCloseHandle(other);
    ftp::InternetCloseHandle(session);
}

}  // namespace

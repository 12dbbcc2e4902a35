// Both list windows, then the server list and editor, over a real store:
// one instance each, add, edit and delete round trips, the port check,
// quotes, and statements the store refuses.

#include "folders/frmFolderSettings.h"
#include "folders/frmFolders.h"
#include "servers/frmServerSettings.h"
#include "servers/frmServers.h"
#include "shell/MsgBox.h"
#include "store/Store.h"
#include "tests/win_fixture.h"

#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>

#include <functional>
#include <ostream>

namespace store {
void PrintTo(const ServerProfile& p, std::ostream* os) {
    *os << '{' << p.server << '|' << p.port << '|' << p.user << '|' << p.password << '|' << p.directory << '|'
        << p.notes << '}';
}
}  // namespace store

namespace {

using store::ServerProfile;
using wintest::Boxes;
using wintest::Entries;

const std::string kListing = "Listing Settings in Servers Screen";

class ServerWindows : public wintest::WindowTest {
protected:
    static frmServers& List() {
        frmServers::ShowWindow();
        return *frmServers::Loaded();
    }
    static void Fill(frmServerSettings& e, const ServerProfile& p) {
        e.txtServer->setText(QString::fromStdString(p.server));
        e.txtPort->setText(QString::fromStdString(p.port));
        e.txtUsername->setText(QString::fromStdString(p.user));
        e.txtPassword->setText(QString::fromStdString(p.password));
        e.txtFolder->setText(QString::fromStdString(p.directory));
        e.txtNotes->setPlainText(QString::fromStdString(p.notes));
    }
    static ServerProfile Shown(const frmServerSettings& e) {
        return {e.txtServer->text().toStdString(),   e.txtPort->text().toStdString(),
                e.txtUsername->text().toStdString(), e.txtPassword->text().toStdString(),
                e.txtFolder->text().toStdString(),   e.txtNotes->toPlainText().toStdString()};
    }
    static ServerProfile Stored(std::int64_t id) {
        auto rs = store::StoreConnection().Execute(store::SelectServerStatement(id));
        return rs.Eof() ? ServerProfile{"<no row>", "", "", "", "", ""} : store::ReadServerProfile(rs);
    }
};

TEST_F(ServerWindows, BothListsLoadOnceAndPassOverAnEmptySelection) {
    const struct {
        std::function<ListWindow*()> show, loaded;
        std::function<QWidget*()> editor;
        std::function<void()> add;
        std::string listing, table;
    } lists[] = {
        {[] { frmServers::ShowWindow(); return frmServers::Loaded(); }, [] { return frmServers::Loaded(); },
         [] { return frmServerSettings::Loaded(); }, [] { AddProfile("a"); }, kListing, "mySettings"},
        {[] { frmFolders::ShowWindow(); return frmFolders::Loaded(); }, [] { return frmFolders::Loaded(); },
         [] { return frmFolderSettings::Loaded(); }, [] { testsupport::AddJob("/a", 1); },
         "Listing Settings in Folders Screen", "Tessary"},
    };
    for (const auto& l : lists) {
        SCOPED_TRACE(l.listing);
        l.add();
        ListWindow* first = l.show();
        l.add();
        EXPECT_EQ(l.show(), first);
        EXPECT_EQ(first->lstServers->count(), 1) << "an open list is only brought forward";
        first->close();
        EXPECT_EQ(l.loaded(), nullptr);
        wintest::FlushDeletes();
        ListWindow* list = l.show();
        EXPECT_EQ(list->lstServers->count(), 2) << "a list opened again is filled again";
        EXPECT_EQ(Said(l.listing), 2);

        list->lstServers_DblClick();
        QTest::mouseDClick(list->lstServers->viewport(), Qt::LeftButton, Qt::NoModifier,
                           QPoint(5, list->lstServers->viewport()->height() - 3));  // below the last entry
        EXPECT_EQ(l.editor(), nullptr);
        list->cmdDelete->click();
        EXPECT_EQ(Count(l.table), 2);
        EXPECT_EQ(Said(l.listing), 3) << "Delete reloads the list in every case";
        EXPECT_TRUE(Boxes().isEmpty());
    }
}

TEST_F(ServerWindows, AddThenSaveInsertsAndReloadsTheList) {
    frmServers& list = List();
    log.Clear();
    list.cmdAdd->click();
    frmServerSettings* editor = frmServerSettings::Loaded();
    ASSERT_NE(editor, nullptr);
    EXPECT_TRUE(editor->isVisible());
    EXPECT_EQ(editor->EditID, 0);
    EXPECT_EQ(Shown(*editor), (ServerProfile{"", "21", "", "", "", "Notes for this server"}));
    const ServerProfile typed{"ftp.example.org", "2121", "anna", "secret", "/backup", "first"};
    Fill(*editor, typed);
    editor->cmdClose->click();
    EXPECT_EQ(Stored(1), typed);
    EXPECT_EQ(Count("mySettings"), 1);
    EXPECT_EQ(frmServerSettings::Loaded(), nullptr) << "a successful Save unloads the editor";
    EXPECT_EQ(log.Lines(), (std::vector<std::string>{"Showing Add Server Form", "Updating Servers Database", kListing}));
    EXPECT_EQ(Entries(list.lstServers), QStringList{"1 --> Server: ftp.example.org User: anna"});
}

TEST_F(ServerWindows, DoubleClickEditsThatRowOnlyAndAddKeepsTheOpenEditor) {
    AddProfile("a");
    store::StoreConnection().Execute("insert into mySettings values(40000, 'b', '2121', 'ub', 'pb', '/b', 'nb')");
    AddProfile("c");
    frmServers& list = List();
    wintest::DoubleClickRow(list.lstServers, 0);
    frmServerSettings* editor = frmServerSettings::Loaded();
    ASSERT_NE(editor, nullptr);
    wintest::DoubleClickRow(list.lstServers, 1);
    EXPECT_EQ(frmServerSettings::Loaded(), editor) << "the open editor takes the other entry";
    EXPECT_EQ(editor->EditID, 40000);
    EXPECT_EQ(Shown(*editor), (ServerProfile{"b", "2121", "ub", "pb", "/b", "nb"}));
    editor->txtUsername->setText("typed");
    list.cmdAdd->click();
    EXPECT_EQ(frmServerSettings::Loaded(), editor);
    EXPECT_EQ(editor->txtUsername->text(), "typed") << "Add only brings the editor forward";
    editor->cmdClose->click();
    EXPECT_EQ(Stored(40000), (ServerProfile{"b", "2121", "typed", "pb", "/b", "nb"}));
    EXPECT_EQ(Stored(1).server + Stored(40001).server, "ac");
    EXPECT_EQ(Count("mySettings"), 3);
    EXPECT_EQ(Entries(list.lstServers)[1], "40000 --> Server: b User: typed");
}

TEST_F(ServerWindows, DeleteRemovesTheSelectedProfileOnly) {
    AddProfile("a");
    AddProfile("b host with blanks");
    AddProfile("c");
    const auto job = testsupport::AddJob("/data", 2);
    frmServers& list = List();
    wintest::SelectRow(list.lstServers, 1);
    list.cmdDelete->click();
    EXPECT_EQ(Count("mySettings", "SettingsID = 2"), 0);
    EXPECT_EQ(Count("mySettings"), 2);
    EXPECT_EQ(Column("Tessary", "SettingsID", "SyncID = " + std::to_string(job)), "2") << "jobs are not changed";
    EXPECT_EQ(Entries(list.lstServers), (QStringList{"1 --> Server: a User: tessary", "3 --> Server: c User: tessary"}));
    EXPECT_TRUE(list.lstServers->selectedItems().isEmpty());
}

TEST_F(ServerWindows, AQuoteInEveryFieldRoundTrips) {
    const ServerProfile quoted{"o'host", "21", "o'user", "pa'ss''", "/it's", "don't'"};
    Fill(frmServerSettings::ShowWindow(), quoted);
    frmServerSettings::Loaded()->cmdClose->click();
    EXPECT_EQ(Stored(1), quoted);
    EXPECT_EQ(Entries(frmServers::Loaded()->lstServers), QStringList{"1 --> Server: o'host User: o'user"});
    frmServerSettings& editor = frmServerSettings::ShowWindow();
    editor.FetchInfo(1);
    EXPECT_EQ(Shown(editor), quoted);
    const ServerProfile changed{"'", "22", "''", "'x'", "'/'", "'"};
    Fill(editor, changed);
    editor.cmdClose->click();
    EXPECT_EQ(Stored(1), changed);
}

TEST_F(ServerWindows, PortMustBeNumericAndIsStoredAsTyped) {
    const std::pair<const char*, bool> cases[] = {{"", false},  {"abc", false},  {"21x", false},   {"2 1", false},
                                                  {"21", true}, {"21.5", true}, {" 2121 ", true}};
    for (const auto& [port, accepted] : cases) {
        frmServerSettings& editor = frmServerSettings::ShowWindow();
        Fill(editor, {"host", port, "user", "pw", "/", "n"});
        editor.cmdClose->click();
        if (accepted) {
            EXPECT_EQ(frmServerSettings::Loaded(), nullptr) << port;
            EXPECT_EQ(Column("mySettings", "FTPPort", "SettingsID = (select max(SettingsID) from mySettings)"), port);
        } else {
            EXPECT_EQ(Boxes(), QStringList{"Tessary|0|Please enter a port as a number"}) << port;
            EXPECT_EQ(frmServerSettings::Loaded(), &editor) << "the editor stays open";
            EXPECT_EQ(editor.txtPort->text(), port);
            editor.close();
        }
    }
    EXPECT_TRUE(Boxes().isEmpty());
    EXPECT_EQ(Count("mySettings"), 3);
}

TEST_F(ServerWindows, RefusedStatementsShowTheStoresMessageAndKeepTheWindows) {
    AddProfile("a");
    auto& db = store::StoreConnection();
    db.Execute("create trigger no_more before insert on mySettings begin select raise(abort, 'locked'); end");
    db.Execute("create trigger keep before delete on mySettings begin select raise(abort, 'kept'); end");
    frmServerSettings& editor = frmServerSettings::ShowWindow();
    Fill(editor, {"new host", "21", "u", "p", "/", "n"});
    editor.cmdClose->click();
    EXPECT_EQ(Boxes(), QStringList{"Tessary|16|locked"});
    EXPECT_EQ(frmServerSettings::Loaded(), &editor);
    EXPECT_EQ(editor.txtServer->text(), "new host");
    EXPECT_EQ(frmServers::Loaded(), nullptr) << "nothing was saved, so no list was reloaded";

    frmServers& list = List();
    wintest::SelectRow(list.lstServers, 0);
    list.cmdDelete->click();
    EXPECT_EQ(Boxes(), QStringList{"Tessary|16|kept"});
    EXPECT_EQ(list.ListText(), "1 --> Server: a User: tessary") << "the list and its selection stay";
    EXPECT_EQ(Count("mySettings"), 1);
}

TEST_F(ServerWindows, SaveAfterTheListWasClosedLoadsItHidden) {
    AddProfile("a");
    frmServers& list = List();
    wintest::DoubleClickRow(list.lstServers, 0);
    list.close();
    wintest::FlushDeletes();
    frmServerSettings::Loaded()->cmdClose->click();
    ASSERT_NE(frmServers::Loaded(), nullptr);
    EXPECT_FALSE(frmServers::Loaded()->isVisible());
    frmServers::ShowWindow();
    EXPECT_EQ(Said(kListing), 3) << "loaded and then reloaded by the save, not filled again when shown";
    EXPECT_EQ(Entries(frmServers::Loaded()->lstServers), QStringList{"1 --> Server: a User: tessary"});
}

TEST_F(ServerWindows, FetchingADeletedProfileLeavesANewOne) {
    AddProfile("a");
    frmServers& list = List();
    store::StoreConnection().Execute("delete from mySettings");
    wintest::DoubleClickRow(list.lstServers, 0);
    frmServerSettings* editor = frmServerSettings::Loaded();
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(Boxes(), QStringList{"Tessary|0|This server profile no longer exists; it may have been deleted."});
    EXPECT_EQ(editor->EditID, 0);
    EXPECT_EQ(editor->txtPort->text(), "21");
    Fill(*editor, {"fresh", "21", "u", "p", "/", "n"});
    editor->cmdClose->click();
    EXPECT_EQ(Count("mySettings", "FTPServer = 'fresh'"), 1) << "saved as a new profile";
}

}  // namespace

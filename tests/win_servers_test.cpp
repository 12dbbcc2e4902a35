// The server list and the server editor over a real store: one instance
// each, the listing line, add, edit, delete, the port check, quotes, and a
// statement the store refuses.

#include "servers/frmServerSettings.h"
#include "servers/frmServers.h"
#include "shell/MsgBox.h"
#include "shell/frmMain.h"
#include "store/Store.h"
#include "tests/win_fixture.h"

#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>

#include <ostream>

namespace servers {
void PrintTo(const ServerProfile& p, std::ostream* os) {
    *os << '{' << p.server << '|' << p.port << '|' << p.user << '|' << p.password << '|' << p.directory << '|'
        << p.notes << '}';
}
}  // namespace servers

namespace {

using wintest::Entries;
using wintest::WindowTest;

const std::string kListing = "Listing Settings in Servers Screen";

class ServerWindows : public WindowTest {
protected:
    static frmServers& List() {
        frmServers::ShowWindow();
        return *frmServers::Loaded();
    }
    static void Fill(frmServerSettings& e, const servers::ServerProfile& p) {
        e.txtServer->setText(QString::fromStdString(p.server));
        e.txtPort->setText(QString::fromStdString(p.port));
        e.txtUsername->setText(QString::fromStdString(p.user));
        e.txtPassword->setText(QString::fromStdString(p.password));
        e.txtFolder->setText(QString::fromStdString(p.directory));
        e.txtNotes->setPlainText(QString::fromStdString(p.notes));
    }
    servers::ServerProfile Stored(std::int64_t id) {
        auto rs = store::StoreConnection().Execute("select * from mySettings where SettingsID = " + std::to_string(id));
        EXPECT_FALSE(rs.Eof()) << "no profile " << id;
        return rs.Eof() ? servers::ServerProfile{} : servers::ReadServerProfile(rs);
    }
    static servers::ServerProfile Shown(const frmServerSettings& e) {
        return {e.txtServer->text().toStdString(),   e.txtPort->text().toStdString(),
                e.txtUsername->text().toStdString(), e.txtPassword->text().toStdString(),
                e.txtFolder->text().toStdString(),   e.txtNotes->toPlainText().toStdString()};
    }
};

TEST_F(ServerWindows, ListOpenedTwiceLoadsOnceAndReopeningLoadsAgain) {
    AddProfile("fileserver", "anna");
    frmServers& first = List();
    EXPECT_EQ(Entries(first.lstServers), QStringList{"1 --> Server: fileserver User: anna"});
    EXPECT_EQ(LinesEqual(kListing), 1);

    AddProfile("second", "bob");
    frmServers& again = List();
    EXPECT_EQ(&again, &first);
    EXPECT_EQ(Entries(again.lstServers).size(), 1) << "an open list is only brought forward";
    EXPECT_EQ(LinesEqual(kListing), 1);

    first.close();
    EXPECT_EQ(frmServers::Loaded(), nullptr);
    wintest::FlushDeletes();
    frmServers& reopened = List();
    EXPECT_EQ(Entries(reopened.lstServers),
              (QStringList{"1 --> Server: fileserver User: anna", "2 --> Server: second User: bob"}));
    EXPECT_EQ(LinesEqual(kListing), 2);
    EXPECT_EQ(Lines().size(), 2u);
}

TEST_F(ServerWindows, MainMenuShowsTheOneList) {
    frmMain main;  // takes over the status log for its list
    main.cmdSites->trigger();
    main.cmdSites->trigger();
    ASSERT_NE(frmServers::Loaded(), nullptr);
    EXPECT_TRUE(frmServers::Loaded()->isVisible());
    EXPECT_EQ(main.lstStatus->findItems(QString::fromStdString(kListing), Qt::MatchExactly).size(), 1);
    frmServers::Loaded()->close();
}

TEST_F(ServerWindows, EmptyStoreStillLogsTheListingLine) {
    EXPECT_EQ(List().lstServers->count(), 0);
    EXPECT_EQ(Lines(), std::vector<std::string>{kListing});
}

TEST_F(ServerWindows, ReloadOnAClosedListLoadsItHiddenAndLogsTwice) {
    AddProfile("fileserver", "anna");
    frmServers::Load().ReloadList();
    frmServers* hidden = frmServers::Loaded();
    ASSERT_NE(hidden, nullptr);
    EXPECT_FALSE(hidden->isVisible());
    EXPECT_EQ(LinesEqual(kListing), 2);
    EXPECT_EQ(hidden->lstServers->count(), 1);

    frmServers::ShowWindow();
    EXPECT_EQ(frmServers::Loaded(), hidden);
    EXPECT_TRUE(hidden->isVisible());
    EXPECT_EQ(LinesEqual(kListing), 2) << "showing a loaded list does not refill it";
}

TEST_F(ServerWindows, DeleteWithNothingSelectedDeletesNothing) {
    AddProfile("a", "u");
    AddProfile("b", "u");
    frmServers& list = List();
    ClearLines();
    list.cmdDelete->click();
    EXPECT_EQ(Count("mySettings"), 2);
    EXPECT_EQ(Lines(), std::vector<std::string>{kListing});
    EXPECT_TRUE(list.lstServers->selectedItems().isEmpty());
    EXPECT_TRUE(msgbox::ShownBoxes().empty());
}

TEST_F(ServerWindows, DeleteRemovesTheSelectedProfileOnly) {
    AddProfile("a", "u");
    AddProfile("b host with blanks", "u v");
    AddProfile("c", "u");
    const auto job = AddJob("/data", "2");
    frmServers& list = List();
    wintest::SelectRow(list.lstServers, 1);
    ClearLines();
    list.cmdDelete->click();
    EXPECT_EQ(Count("mySettings", "SettingsID = 2"), 0);
    EXPECT_EQ(Count("mySettings"), 2);
    EXPECT_EQ(Column("Tessary", "SettingsID", "SyncID = " + std::to_string(job)), "2") << "jobs are not changed";
    EXPECT_EQ(Entries(list.lstServers),
              (QStringList{"1 --> Server: a User: u", "3 --> Server: c User: u"}));
    EXPECT_TRUE(list.lstServers->selectedItems().isEmpty());
    EXPECT_EQ(Lines(), std::vector<std::string>{kListing});
}

TEST_F(ServerWindows, AddThenSaveInsertsAndReloadsTheList) {
    frmServers& list = List();
    ClearLines();
    list.cmdAdd->click();
    EXPECT_EQ(Lines(), std::vector<std::string>{"Showing Add Server Form"});
    frmServerSettings* editor = frmServerSettings::Loaded();
    ASSERT_NE(editor, nullptr);
    EXPECT_TRUE(editor->isVisible());
    EXPECT_EQ(editor->EditID, 0);
    EXPECT_EQ(editor->txtPort->text(), "21");
    EXPECT_EQ(editor->txtNotes->toPlainText(), "Notes for this server");

    const servers::ServerProfile typed{"ftp.example.org", "2121", "anna", "secret", "/backup", "first"};
    Fill(*editor, typed);
    editor->cmdClose->click();
    EXPECT_EQ(Count("mySettings"), 1);
    EXPECT_EQ(Stored(1), typed);
    EXPECT_EQ(frmServerSettings::Loaded(), nullptr) << "a successful Save unloads the editor";
    EXPECT_EQ(Lines(), (std::vector<std::string>{"Showing Add Server Form", "Updating Servers Database", kListing}));
    EXPECT_EQ(Entries(list.lstServers), QStringList{"1 --> Server: ftp.example.org User: anna"});
}

TEST_F(ServerWindows, DoubleClickThenSaveUpdatesThatRow) {
    AddProfile("a", "ua", "21", "pa", "/a", "na");
    AddProfile("b", "ub", "2121", "pb", "/b", "nb");
    AddProfile("c", "uc", "21", "pc", "/c", "nc");
    frmServers& list = List();
    wintest::DoubleClickRow(list.lstServers, 1);
    frmServerSettings* editor = frmServerSettings::Loaded();
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(editor->EditID, 2);
    EXPECT_EQ(Shown(*editor), (servers::ServerProfile{"b", "2121", "ub", "pb", "/b", "nb"}));

    editor->txtServer->setText("b2");
    editor->cmdClose->click();
    EXPECT_EQ(Count("mySettings"), 3);
    EXPECT_EQ(Stored(2), (servers::ServerProfile{"b2", "2121", "ub", "pb", "/b", "nb"}));
    EXPECT_EQ(Stored(1).server, "a");
    EXPECT_EQ(Stored(3).server, "c");
    EXPECT_EQ(Entries(list.lstServers)[1], "2 --> Server: b2 User: ub");
}

TEST_F(ServerWindows, DoubleClickOnAnotherEntryLoadsItIntoTheOpenEditor) {
    AddProfile("a", "ua");
    AddProfile("b", "ub");
    frmServers& list = List();
    wintest::DoubleClickRow(list.lstServers, 0);
    frmServerSettings* editor = frmServerSettings::Loaded();
    wintest::DoubleClickRow(list.lstServers, 1);
    EXPECT_EQ(frmServerSettings::Loaded(), editor);
    EXPECT_EQ(editor->EditID, 2);
    EXPECT_EQ(editor->txtServer->text(), "b");
}

TEST_F(ServerWindows, DoubleClickWithNothingSelectedDoesNothing) {
    AddProfile("a", "ua");
    frmServers& list = List();
    list.lstServers_DblClick();
    // A double-click below the last entry hits no entry either.
    QTest::mouseDClick(list.lstServers->viewport(), Qt::LeftButton, Qt::NoModifier,
                       QPoint(5, list.lstServers->viewport()->height() - 3));
    EXPECT_EQ(frmServerSettings::Loaded(), nullptr);
    EXPECT_TRUE(msgbox::ShownBoxes().empty());
}

TEST_F(ServerWindows, AddWhileEditingBringsTheEditorForwardUnchanged) {
    AddProfile("a", "ua");
    frmServers& list = List();
    wintest::DoubleClickRow(list.lstServers, 0);
    frmServerSettings* editor = frmServerSettings::Loaded();
    editor->txtUsername->setText("typed");
    list.cmdAdd->click();
    EXPECT_EQ(frmServerSettings::Loaded(), editor);
    EXPECT_EQ(editor->EditID, 1);
    EXPECT_EQ(editor->txtUsername->text(), "typed");
    editor->cmdClose->click();
    EXPECT_EQ(Count("mySettings"), 1);
    EXPECT_EQ(Stored(1).user, "typed");
}

TEST_F(ServerWindows, AQuoteInEveryFieldRoundTrips) {
    const servers::ServerProfile quoted{"o'host", "21", "o'user", "pa'ss''", "/it's", "don't'"};
    Fill(frmServerSettings::ShowWindow(), quoted);
    frmServerSettings::Loaded()->cmdClose->click();
    ASSERT_EQ(frmServerSettings::Loaded(), nullptr);
    EXPECT_EQ(Stored(1), quoted);
    EXPECT_EQ(Entries(frmServers::Loaded()->lstServers), QStringList{"1 --> Server: o'host User: o'user"});

    frmServerSettings& editor = frmServerSettings::ShowWindow();
    editor.FetchInfo(1);
    EXPECT_EQ(Shown(editor), quoted);
    const servers::ServerProfile changed{"'", "22", "''", "'x'", "'/'", "'"};
    Fill(editor, changed);
    editor.cmdClose->click();
    EXPECT_EQ(Stored(1), changed);
}

TEST_F(ServerWindows, PortMustBeNumeric) {
    struct Case {
        const char* port;
        bool accepted;
    };
    const Case cases[] = {{"", false},    {"abc", false},  {"21x", false}, {"2 1", false},
                          {"21", true},   {"21.5", true},  {" 2121 ", true}};
    for (const auto& c : cases) {
        msgbox::ClearShown();
        frmServerSettings& editor = frmServerSettings::ShowWindow();
        Fill(editor, {"host", c.port, "user", "pw", "/", "n"});
        editor.cmdClose->click();
        if (c.accepted) {
            EXPECT_TRUE(msgbox::ShownBoxes().empty()) << c.port;
            EXPECT_EQ(frmServerSettings::Loaded(), nullptr) << c.port;
            EXPECT_EQ(Column("mySettings", "FTPPort", "SettingsID = (select max(SettingsID) from mySettings)"),
                      c.port)
                << "stored as typed";
        } else {
            ASSERT_EQ(msgbox::ShownBoxes().size(), 1u) << c.port;
            EXPECT_EQ(msgbox::ShownBoxes()[0].text, "Please enter a port as a number");
            EXPECT_EQ(msgbox::ShownBoxes()[0].style, vbOKOnly);
            EXPECT_EQ(msgbox::ShownBoxes()[0].title, "Tessary");
            EXPECT_EQ(frmServerSettings::Loaded(), &editor) << "the editor stays open";
            EXPECT_EQ(editor.txtPort->text(), c.port);
            editor.close();
        }
    }
    EXPECT_EQ(Count("mySettings"), 3);
}

TEST_F(ServerWindows, ARefusedStatementShowsTheStoresMessageAndKeepsTheEditor) {
    AddProfile("a", "ua");
    store::StoreConnection().Execute(
        "create trigger no_more before insert on mySettings begin select raise(abort, 'profiles are locked'); end");
    frmServerSettings& editor = frmServerSettings::ShowWindow();
    Fill(editor, {"new host", "21", "u", "p", "/", "n"});
    editor.cmdClose->click();
    ASSERT_EQ(msgbox::ShownBoxes().size(), 1u);
    EXPECT_EQ(msgbox::ShownBoxes()[0].text, "profiles are locked");
    EXPECT_EQ(msgbox::ShownBoxes()[0].style, vbCritical);
    EXPECT_EQ(frmServerSettings::Loaded(), &editor);
    EXPECT_TRUE(editor.isVisible());
    EXPECT_EQ(editor.txtServer->text(), "new host");
    EXPECT_EQ(Count("mySettings"), 1);
    EXPECT_EQ(frmServers::Loaded(), nullptr) << "nothing was saved, so no list was reloaded";
}

TEST_F(ServerWindows, ARefusedDeleteKeepsTheListAndItsSelection) {
    AddProfile("a", "ua");
    store::StoreConnection().Execute(
        "create trigger keep before delete on mySettings begin select raise(abort, 'profiles are kept'); end");
    frmServers& list = List();
    wintest::SelectRow(list.lstServers, 0);
    ClearLines();
    list.cmdDelete->click();
    ASSERT_EQ(msgbox::ShownBoxes().size(), 1u);
    EXPECT_EQ(msgbox::ShownBoxes()[0].text, "profiles are kept");
    EXPECT_EQ(msgbox::ShownBoxes()[0].style, vbCritical);
    EXPECT_EQ(list.ListText(), "1 --> Server: a User: ua");
    EXPECT_EQ(Count("mySettings"), 1);
}

TEST_F(ServerWindows, SaveAfterTheListWasClosedLoadsItHidden) {
    AddProfile("a", "ua");
    frmServers& list = List();
    wintest::DoubleClickRow(list.lstServers, 0);
    list.close();
    wintest::FlushDeletes();
    ClearLines();
    frmServerSettings::Loaded()->cmdClose->click();
    EXPECT_EQ(LinesEqual(kListing), 2);
    ASSERT_NE(frmServers::Loaded(), nullptr);
    EXPECT_FALSE(frmServers::Loaded()->isVisible());
    frmServers::ShowWindow();
    EXPECT_EQ(LinesEqual(kListing), 2);
    EXPECT_EQ(Entries(frmServers::Loaded()->lstServers), QStringList{"1 --> Server: a User: ua"});
}

TEST_F(ServerWindows, FetchingADeletedProfileLeavesANewOne) {
    AddProfile("a", "ua");
    frmServers& list = List();
    store::StoreConnection().Execute("delete from mySettings");
    wintest::DoubleClickRow(list.lstServers, 0);
    frmServerSettings* editor = frmServerSettings::Loaded();
    ASSERT_NE(editor, nullptr);
    ASSERT_EQ(msgbox::ShownBoxes().size(), 1u);
    EXPECT_EQ(msgbox::ShownBoxes()[0].text, "This server profile no longer exists; it may have been deleted.");
    EXPECT_EQ(editor->EditID, 0);
    EXPECT_EQ(editor->txtPort->text(), "21");
    Fill(*editor, {"fresh", "21", "u", "p", "/", "n"});
    editor->cmdClose->click();
    EXPECT_EQ(Count("mySettings", "FTPServer = 'fresh'"), 1) << "saved as a new profile";
}

TEST_F(ServerWindows, ProfilesAboveSixteenBitsOpen) {
    store::StoreConnection().Execute(
        "insert into mySettings (SettingsID, FTPServer, FTPUser, FTPPort) values(40000, 'big', 'u', '21')");
    frmServers& list = List();
    wintest::DoubleClickRow(list.lstServers, 0);
    EXPECT_EQ(frmServerSettings::Loaded()->EditID, 40000);
    frmServerSettings::Loaded()->txtServer->setText("bigger");
    frmServerSettings::Loaded()->cmdClose->click();
    EXPECT_EQ(Column("mySettings", "FTPServer", "SettingsID = 40000"), "bigger");
}

}  // namespace

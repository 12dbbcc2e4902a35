#include "tests/win_fixture.h"

#include "folders/frmFolderSettings.h"
#include "folders/frmFolders.h"
#include "servers/frmServerSettings.h"
#include "servers/frmServers.h"
#include "shell/MsgBox.h"
#include "shell/StatusLog.h"
#include "store/Store.h"

#include <QCoreApplication>
#include <QListWidget>
#include <QTest>

#include <algorithm>

namespace wintest {

void WindowTest::SetUp() {
    testsupport::MakeStore(dir.path());
    testsupport::OpenStoreIn(dir.path());
    msgbox::EnableTestMode(true);
    statuslog::SetSink([this](const std::string& line) { lines_.push_back(line); });
}

void WindowTest::TearDown() {
    UnloadAll();
    statuslog::SetSink({});
    msgbox::EnableTestMode(true);  // clears queued answers; boxes stay unshown
    store::StoreConnection().Close();
}

std::int64_t WindowTest::AddProfile(const std::string& host, const std::string& user, const std::string& port,
                                    const std::string& password, const std::string& directory,
                                    const std::string& notes) {
    auto& conn = store::StoreConnection();
    conn.Execute("insert into mySettings (FTPServer, FTPPort, FTPUser, FTPPassword, FTPDirectory, FTPNotes) values(" +
                 store::Quoted(host) + ", " + store::Quoted(port) + ", " + store::Quoted(user) + ", " +
                 store::Quoted(password) + ", " + store::Quoted(directory) + ", " + store::Quoted(notes) + ")");
    return conn.LastInsertId();
}

std::int64_t WindowTest::AddJob(const std::string& folder, const std::string& settingsId, const std::string& subDirs) {
    auto& conn = store::StoreConnection();
    conn.Execute("insert into Tessary (Folder, SettingsID, SubDirs) values(" + store::Quoted(folder) + ", " +
                 store::Quoted(settingsId) + ", " + store::Quoted(subDirs) + ")");
    return conn.LastInsertId();
}

void WindowTest::AddFile(const std::string& fullPath, std::int64_t syncId) {
    store::StoreConnection().Execute("insert into myFiles (FullPath, FileHash, SyncID) values(" +
                                     store::Quoted(fullPath) + ", 'h', '" + std::to_string(syncId) + "')");
}

std::int64_t WindowTest::Count(const std::string& table, const std::string& where) {
    return store::StoreConnection()
        .Execute("select count(*) as n from " + table + (where.empty() ? "" : " where " + where))
        .FieldInt("n");
}

std::string WindowTest::Column(const std::string& table, const std::string& column, const std::string& where) {
    auto rs = store::StoreConnection().Execute("select " + column + " from " + table + " where " + where);
    return rs.Eof() ? "<no row>" : rs.Fields(column);
}

int WindowTest::LinesEqual(const std::string& line) const {
    return static_cast<int>(std::count(lines_.begin(), lines_.end(), line));
}

void FlushDeletes() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

void UnloadAll() {
    if (auto* w = frmServerSettings::Loaded()) w->close();
    if (auto* w = frmFolderSettings::Loaded()) w->close();
    if (auto* w = frmServers::Loaded()) w->close();
    if (auto* w = frmFolders::Loaded()) w->close();
    FlushDeletes();
}

QStringList Entries(const QListWidget* list) {
    QStringList out;
    for (int i = 0; i < list->count(); ++i) out << list->item(i)->text();
    return out;
}

void DoubleClickRow(QListWidget* list, int row) {
    // The window system sends press, release, double-click, release.
    const QPoint at = list->visualItemRect(list->item(row)).center();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, at);
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, at);
    QTest::mouseRelease(list->viewport(), Qt::LeftButton, Qt::NoModifier, at);
}

void SelectRow(QListWidget* list, int row) {
    const QRect rect = list->visualItemRect(list->item(row));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, rect.center());
}

}  // namespace wintest

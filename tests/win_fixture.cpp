#include "tests/win_fixture.h"

#include "folders/frmFolderSettings.h"
#include "folders/frmFolders.h"
#include "servers/frmServerSettings.h"
#include "servers/frmServers.h"
#include "shell/MsgBox.h"
#include "store/Store.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QListWidget>
#include <QTest>
#include <QTimer>

#include <algorithm>

namespace wintest {

void WindowTest::SetUp() {
    testsupport::MakeStore(dir.path());
    testsupport::OpenStoreIn(dir.path());
    msgbox::EnableTestMode(true);
}

void WindowTest::TearDown() {
    UnloadAll();
    msgbox::EnableTestMode(true);  // forgets queued answers and shown boxes
    store::StoreConnection().Close();
}

void WindowTest::AddFile(const std::string& fullPath, std::int64_t syncId) {
    store::StoreConnection().Execute("insert into myFiles (FullPath, FileHash, SyncID) values(" +
                                     store::Quoted(fullPath) + ", 'h', '" + std::to_string(syncId) + "')");
}

std::int64_t WindowTest::Count(const std::string& table, const std::string& where) {
    return store::StoreConnection().Execute("select count(*) as n from " + table + " where " + where).FieldInt("n");
}

std::string WindowTest::Column(const std::string& table, const std::string& column, const std::string& where) {
    auto rs = store::StoreConnection().Execute("select " + column + " as c from " + table + " where " + where);
    return rs.Eof() ? "<no row>" : rs.Fields("c");
}

int WindowTest::Said(const std::string& line) const {
    const auto lines = log.Lines();
    return static_cast<int>(std::count(lines.begin(), lines.end(), line));
}

QStringList Boxes() {
    QStringList out;
    for (const auto& b : msgbox::ShownBoxes()) out << b.title + "|" + QString::number(b.style) + "|" + b.text;
    msgbox::ClearShown();
    return out;
}

bool WaitUntil(const std::function<bool()>& done) {
    const QDeadlineTimer deadline(30000);
    QTimer tick;  // wakes the wait below at least every 20 ms
    tick.start(20);
    while (!done() && !deadline.hasExpired()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    return done();
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

void SelectRow(QListWidget* list, int row) {
    QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, list->visualItemRect(list->item(row)).center());
}

void DoubleClickRow(QListWidget* list, int row) {
    const QPoint at = list->visualItemRect(list->item(row)).center();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, at);
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, at);
    QTest::mouseRelease(list->viewport(), Qt::LeftButton, Qt::NoModifier, at);
}

}  // namespace wintest

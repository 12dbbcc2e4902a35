#pragma once
// What the window tests share: a real store in a temporary folder, the status lines and message boxes
// of the test, and no window left loaded.

#include "folders/frmFolderSettings.h"
#include "folders/frmFolders.h"
#include "servers/frmServerSettings.h"
#include "servers/frmServers.h"
#include "shell/MsgBox.h"
#include "store/Store.h"
#include "tests/support/Fixtures.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QListWidget>
#include <QTest>

namespace wintest {

// The boxes shown since the last call, as "<title>|<style>|<text>".
inline QStringList Boxes() {
    QStringList out;
    for (const auto& b : msgbox::ShownBoxes()) out << b.title + "|" + QString::number(b.style) + "|" + b.text;
    msgbox::ClearShown();
    return out;
}

// Closes every list and editor and runs the deferred deletes.
inline void UnloadAll() {
    for (QWidget* w : std::initializer_list<QWidget*>{frmServerSettings::Loaded(), frmFolderSettings::Loaded(),
                                                       frmServers::Loaded(), frmFolders::Loaded()})
        if (w) w->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

inline QStringList Entries(const QListWidget* list) {
    QStringList out;
    for (int i = 0; i < list->count(); ++i) out << list->item(i)->text();
    return out;
}

// A click on the row's entry, or the double click as the window system sends it.
inline void Click(QListWidget* list, int row, bool twice = false) {
    const QPoint at = list->visualItemRect(list->item(row)).center();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, at);
    if (!twice) return;
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, at);
    QTest::mouseRelease(list->viewport(), Qt::LeftButton, Qt::NoModifier, at);
}

class WindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        testsupport::MakeStore(dir.path());
        testsupport::OpenStoreIn(dir.path());
        msgbox::EnableTestMode(true);
    }
    void TearDown() override {
        UnloadAll();
        msgbox::EnableTestMode(true);  // forgets queued answers and shown boxes
        store::StoreConnection().Close();
    }
    // A profile for `host` (user "tessary"), a file record, a column of the first row that matches, a count.
    static std::int64_t AddProfile(const std::string& host) { return testsupport::AddProfile(21, "pw", "/", host); }
    static void AddFile(const std::string& path, std::int64_t syncId) {
        store::StoreConnection().Execute("insert into myFiles (FullPath, SyncID) values(" + store::Quoted(path) +
                                         ", '" + std::to_string(syncId) + "')");
    }
    static std::string Column(const std::string& table, const std::string& column, const std::string& where = "1") {
        auto rs = store::StoreConnection().Execute("select " + column + " as c from " + table + " where " + where);
        return rs.Eof() ? "<no row>" : rs.Fields("c");
    }
    static std::int64_t Count(const std::string& table, const std::string& where = "1") {
        return testsupport::Count(table, where);
    }

    testsupport::TempDir dir;
    testsupport::LineRecorder log;
};

}  // namespace wintest

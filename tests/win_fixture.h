#pragma once
// What the window tests share: a real store in a temporary folder, the
// status lines and message boxes of the test, and unloading every window
// between tests.

#include "tests/support/Fixtures.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <QStringList>

#include <cstdint>
#include <functional>
#include <string>

class QListWidget;

namespace wintest {

class WindowTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // A profile for `host` on port 21 (user "tessary"), a file record.
    static std::int64_t AddProfile(const std::string& host) { return testsupport::AddProfile(21, "pw", "/", host); }
    static void AddFile(const std::string& fullPath, std::int64_t syncId);
    static std::int64_t Count(const std::string& table, const std::string& where = "1");
    // One column (or expression) of the row that `where` picks.
    static std::string Column(const std::string& table, const std::string& column, const std::string& where);
    // How often the line was written.
    int Said(const std::string& line) const;

    testsupport::TempDir dir;
    testsupport::LineRecorder log;
};

// The boxes shown since the last call, as "<title>|<style>|<text>".
QStringList Boxes();
// Lets the GUI thread work until `done` holds, for at most 30 s.
bool WaitUntil(const std::function<bool()>& done);

// Closes every list and editor window and runs the deferred deletes, so
// the next test starts with nothing loaded.
void UnloadAll();
void FlushDeletes();

QStringList Entries(const QListWidget* list);
// A click on the row's entry, and the double click as the window system
// sends it (press, release, double-click, release).
void SelectRow(QListWidget* list, int row);
void DoubleClickRow(QListWidget* list, int row);

}  // namespace wintest

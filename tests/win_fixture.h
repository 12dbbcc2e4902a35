#pragma once
// What the window tests share: a real store in a temporary folder, a recorder for status lines and boxes,
// and unloading every window between tests.

#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <QStringList>

#include <cstdint>
#include <string>
#include <vector>

class QListWidget;

namespace wintest {

class WindowTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Rows straight into the store, as another window or a run left them.
    std::int64_t AddProfile(const std::string& host, const std::string& user, const std::string& port = "21",
                            const std::string& password = "pw", const std::string& directory = "/",
                            const std::string& notes = "");
    std::int64_t AddJob(const std::string& folder, const std::string& settingsId, const std::string& subDirs = "NO");
    void AddFile(const std::string& fullPath, std::int64_t syncId);
    std::int64_t Count(const std::string& table, const std::string& where = "");
    // One column of one row, read back from the store.
    std::string Column(const std::string& table, const std::string& column, const std::string& where);

    // Status lines written since the test began, and how often one was.
    const std::vector<std::string>& Lines() const { return lines_; }
    int LinesEqual(const std::string& line) const;
    void ClearLines() { lines_.clear(); }

    testsupport::TempDir dir;

private:
    std::vector<std::string> lines_;
};

// Closes every list and editor window and lets deferred deletes run, so the
// next test starts with nothing loaded.
void UnloadAll();
// Runs posted deletes now (a closed window goes on its next loop turn).
void FlushDeletes();

QStringList Entries(const QListWidget* list);
// Double-clicks the entry with the given row, as the user does.
void DoubleClickRow(QListWidget* list, int row);
// Selects the entry with the given row, as a click does.
void SelectRow(QListWidget* list, int row);

}  // namespace wintest

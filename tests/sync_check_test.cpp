// The file check and the folder walk against a real store and real files:
// what is sent, in which order, what is recorded, and what is passed over.
// The transfer window only records; the end-to-end tests use a server.

#include "hash/FileHasher.h"
#include "store/Store.h"
#include "sync/FileCheck.h"
#include "sync/FileRecords.h"
#include "sync/RemotePath.h"
#include "sync/SyncRun.h"
#include "tests/support/TempDir.h"
#include "tests/sync_support.h"

#include <gtest/gtest.h>

#include <QDateTime>
#include <QLocale>

#include <filesystem>
#include <sys/stat.h>

using synctest::LineRecorder;
using synctest::RecordingWindow;
using synctest::Upload;
using testsupport::TempDir;
using testsupport::WriteFile;

namespace fs = std::filesystem;

namespace {

struct Row {
    std::int64_t fileId;
    std::string fullPath, folder, fileName, fileDate, fileHash;
    std::int64_t syncId;
};

class FileCheckTest : public ::testing::Test {
protected:
    void SetUp() override {
        testsupport::MakeStore(dir.path());
        testsupport::OpenStoreIn(dir.path());
        CurrentSyncID = 1;
    }
    void TearDown() override { CurrentSyncID = 0; }

    std::vector<Row> Rows() {
        std::vector<Row> rows;
        auto rs = store::StoreConnection().Execute("select * from myFiles order by FileID");
        for (; !rs.Eof(); rs.MoveNext())
            rows.push_back({rs.FieldInt("FileID"), rs.Fields("FullPath"), rs.Fields("Folder"), rs.Fields("FileName"),
                            rs.Fields("FileDate"), rs.Fields("FileHash"), rs.FieldInt("SyncID")});
        return rows;
    }
    // Runs the check of one folder with a fresh window.
    std::vector<Upload> Check(const std::string& folder, const std::string& refuse = {}) {
        RecordingWindow window;
        window.refuse = refuse;
        syncrun::FileCheck check(window);
        EXPECT_TRUE(check.CheckFolder(folder));
        return window.uploads;
    }
    static Upload Sent(const std::string& fullPath, const std::string& name) {
        return {fullPath, name, syncrun::UploadFolder(syncrun::GetRemoteFolder(fullPath, name))};
    }
    std::string Data(const std::string& name) const { return dir / ("data/" + name); }

    TempDir dir;
    LineRecorder log;
};

TEST_F(FileCheckTest, FirstCheckSendsEveryFileInByteOrderAndRecordsIt) {
    for (const char* f : {"b.txt", "a.txt", "B.txt", ".hidden"}) WriteFile(Data(f), f);
    fs::create_directories(Data("sub"));
    WriteFile(Data("sub/inner.txt"), "not in this folder");

    RecordingWindow window;
    syncrun::FileCheck check(window);
    ASSERT_TRUE(check.CheckFolder(dir / "data"));

    EXPECT_EQ(window.labels, (std::vector<std::string>{"B.txt", "a.txt", "b.txt", "sub"}));
    EXPECT_EQ(window.uploads, (std::vector<Upload>{Sent(Data("B.txt"), "B.txt"), Sent(Data("a.txt"), "a.txt"),
                                                   Sent(Data("b.txt"), "b.txt")}));
    EXPECT_EQ(log.lines, (std::vector<std::string>{Data("B.txt") + " has changed", Data("a.txt") + " has changed",
                                                   Data("b.txt") + " has changed"}));
    EXPECT_EQ(check.Tally().filesSent, 3);
    EXPECT_TRUE(check.Tally().Clean());

    const auto rows = Rows();
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[1].fullPath, Data("a.txt"));
    EXPECT_EQ(rows[1].folder, dir.path() + "/data/");
    EXPECT_EQ(rows[1].fileName, "a.txt");
    EXPECT_EQ(rows[1].fileDate, syncrun::GetFileDate(Data("a.txt")));
    EXPECT_FALSE(rows[1].fileDate.empty());
    EXPECT_EQ(rows[1].fileHash, hash::HashFile(Data("a.txt")));
    EXPECT_EQ(rows[1].syncId, 1);
}

TEST_F(FileCheckTest, ChangedContentSendsOnlyThatFileAndUpdatesOnlyItsHash) {
    WriteFile(Data("a.txt"), "a");
    WriteFile(Data("b.txt"), "b");
    Check(dir / "data");
    const auto before = Rows();
    WriteFile(Data("b.txt"), "b, longer now");
    log.lines.clear();

    EXPECT_EQ(Check(dir / "data"), (std::vector<Upload>{Sent(Data("b.txt"), "b.txt")}));
    EXPECT_EQ(log.lines, (std::vector<std::string>{Data("b.txt") + " has changed"}));
    const auto after = Rows();
    ASSERT_EQ(after.size(), 2u);
    EXPECT_EQ(after[1].fileId, before[1].fileId);
    EXPECT_EQ(after[1].fileHash, hash::HashFile(Data("b.txt")));
    EXPECT_NE(after[1].fileHash, before[1].fileHash);
    EXPECT_EQ(after[1].fileDate, before[1].fileDate);
    EXPECT_EQ(after[0].fileHash, before[0].fileHash);
}

TEST_F(FileCheckTest, AFailedUploadLeavesTheRecordAsItWas) {
    WriteFile(Data("new.txt"), "new");
    WriteFile(Data("old.txt"), "old");
    Check(dir / "data");
    fs::remove(Data("new.txt"));
    store::StoreConnection().Execute("delete from myFiles where FileName = 'new.txt'");
    WriteFile(Data("new.txt"), "new");
    WriteFile(Data("old.txt"), "old, changed");
    const auto before = Rows();

    RecordingWindow window;
    window.refuse = ".txt";
    syncrun::FileCheck check(window);
    ASSERT_TRUE(check.CheckFolder(dir / "data"));
    EXPECT_EQ(check.Tally().uploadsFailed, 2);
    EXPECT_FALSE(check.Tally().Clean());
    const auto after = Rows();
    ASSERT_EQ(after.size(), 1u);  // the new file got no record
    EXPECT_EQ(after[0].fileHash, before[0].fileHash);

    // The next check sends both again.
    EXPECT_EQ(Check(dir / "data"),
              (std::vector<Upload>{Sent(Data("new.txt"), "new.txt"), Sent(Data("old.txt"), "old.txt")}));
    EXPECT_EQ(Rows().size(), 2u);
    EXPECT_TRUE(Check(dir / "data").empty());
}

TEST_F(FileCheckTest, RealNamesAreStoredAndFoundAgain) {
    const std::vector<std::string> names{"it's.txt", "it_s.txt", "100%.txt", "#1 o'clock.txt", "Ärger.txt", "a b"};
    for (const auto& n : names) WriteFile(Data(n), n);
    const auto sent = Check(dir / "data");
    ASSERT_EQ(sent.size(), names.size());
    for (const auto& u : sent) EXPECT_EQ(testsupport::ReadFile(u.fileName), u.remote);
    auto rows = Rows();
    ASSERT_EQ(rows.size(), names.size());
    std::vector<std::string> stored;
    for (const auto& r : rows) {
        EXPECT_EQ(r.fullPath, Data(r.fileName));
        stored.push_back(r.fileName);
    }
    std::sort(stored.begin(), stored.end());
    auto sorted = names;
    std::sort(sorted.begin(), sorted.end());
    EXPECT_EQ(stored, sorted);
    EXPECT_TRUE(Check(dir / "data").empty());
}

TEST_F(FileCheckTest, AFolderTextEndingInASeparatorGetsNoSecondOne) {
    WriteFile(Data("a.txt"), "a");
    EXPECT_EQ(Check(dir / "data/"), (std::vector<Upload>{Sent(Data("a.txt"), "a.txt")}));
    EXPECT_EQ(Rows().at(0).fullPath, Data("a.txt"));
}

TEST_F(FileCheckTest, EntriesThatAreNotFilesArePassedOverSilently) {
    fs::create_directories(Data("sub"));
    fs::create_directories(dir / "elsewhere");
    WriteFile(dir / "elsewhere/x.txt", "x");
    fs::create_directory_symlink(dir / "elsewhere", Data("link"));
    fs::create_symlink(Data("nowhere"), Data("broken"));
    ASSERT_EQ(::mkfifo(Data("fifo").c_str(), 0600), 0);

    RecordingWindow window;
    syncrun::FileCheck check(window);
    ASSERT_TRUE(check.CheckFolder(dir / "data"));
    EXPECT_EQ(window.labels, (std::vector<std::string>{"broken", "fifo", "link", "sub"}));
    EXPECT_TRUE(window.uploads.empty());
    EXPECT_TRUE(log.lines.empty());
    EXPECT_TRUE(check.Tally().Clean());
    EXPECT_TRUE(Rows().empty());
}

TEST_F(FileCheckTest, UnreadableAndVanishedFilesAreNamedAndTheRestGoesOn) {
    WriteFile(Data("a.txt"), "a");
    WriteFile(Data("gone.txt"), "gone");
    WriteFile(Data("locked.txt"), "locked");
    WriteFile(Data("z.txt"), "z");
    fs::permissions(Data("locked.txt"), fs::perms::none);

    synctest::PermissionsBite bite;
    RecordingWindow window;
    // The file vanishes between the listing and its turn.
    window.onCurrentFile = [&](const std::string& name) {
        if (name == "gone.txt") fs::remove(Data("gone.txt"));
    };
    syncrun::FileCheck check(window);
    ASSERT_TRUE(check.CheckFolder(dir / "data"));
    EXPECT_EQ(log.lines, (std::vector<std::string>{
                             Data("a.txt") + " has changed",
                             Data("gone.txt") + " could not be read: No such file or directory",
                             Data("locked.txt") + " could not be read: Permission denied",
                             Data("z.txt") + " has changed",
                         }));
    EXPECT_EQ(window.uploads.size(), 2u);
    EXPECT_EQ(check.Tally().filesPassedOver, 2);
    EXPECT_FALSE(check.Tally().Clean());
}

TEST_F(FileCheckTest, AFolderThatCannotBeListedIsNamed) {
    fs::create_directories(Data("closed"));
    fs::permissions(Data("closed"), fs::perms::none);
    synctest::PermissionsBite bite;
    RecordingWindow window;
    syncrun::FileCheck check(window);
    EXPECT_FALSE(check.CheckFolder(Data("closed")));
    EXPECT_EQ(log.lines, (std::vector<std::string>{Data("closed") + " could not be read: Permission denied"}));
    EXPECT_EQ(check.Tally().foldersPassedOver, 1);
}

TEST(GetFileDate, TheLocalesShortDateAndTime) {
    TempDir dir;
    WriteFile(dir / "a.txt", "a");
    const QDateTime when(QDate(2021, 3, 4), QTime(5, 6, 7));
    fs::last_write_time(dir / "a.txt", std::chrono::file_clock::from_sys(std::chrono::sys_seconds(
                                           std::chrono::seconds(when.toSecsSinceEpoch()))));
    EXPECT_EQ(syncrun::GetFileDate(dir / "a.txt"), QLocale().toString(when, QLocale::ShortFormat).toStdString());
    EXPECT_EQ(syncrun::GetFileDate(dir.path()), "");
    EXPECT_EQ(syncrun::GetFileDate(dir / "missing"), "");
}

// The walk: each folder holds one file named after it, so the uploads show
// the order in which the folders were checked.
class FolderWalkTest : public FileCheckTest {
protected:
    void MakeTree(const std::vector<std::string>& folders, const std::string& root = "R") {
        for (const auto& f : folders)
            WriteFile(dir / (root + "/" + f + "/" + fs::path(f).filename().string() + ".txt"), f);
        WriteFile(dir / (root + "/R.txt"), "R");
    }
    // Folders checked, as the names of their files without ".txt".
    std::vector<std::string> Walk(std::int64_t* count = nullptr, const std::string& root = "R") {
        RecordingWindow window;
        syncrun::FileCheck check(window);
        const std::int64_t n = check.CheckFolderTree(dir / root, true);
        if (count) *count = n;
        std::vector<std::string> order;
        for (const auto& u : window.uploads) order.push_back(u.remote.substr(0, u.remote.size() - 4));
        return order;
    }
};

TEST_F(FolderWalkTest, DepthFirstEachFolderBeforeTheOnesBelow) {
    MakeTree({"B", "A", "A/A2", "A/A1", "A/A1/A1x"});
    std::int64_t n = 0;
    EXPECT_EQ(Walk(&n), (std::vector<std::string>{"R", "A", "A1", "A1x", "A2", "B"}));
    EXPECT_EQ(n, 6);
}

TEST_F(FolderWalkTest, AFolderWithoutSubFoldersCountsOne) {
    MakeTree({});
    std::int64_t n = 0;
    EXPECT_EQ(Walk(&n), (std::vector<std::string>{"R"}));
    EXPECT_EQ(n, 1);
}

TEST_F(FolderWalkTest, SkipsSystemVolumeInformationAtOddDepths) {
    struct Case { const char* what; std::vector<std::string> folders; std::vector<std::string> checked; };
    const std::vector<Case> cases{
        {"depth 1", {"System Volume Information", "x"}, {"R", "x"}},
        {"depth 1, any case, inside a longer name", {"old system volume information", "SYSTEM VOLUME INFORMATION Old", "y"},
         {"R", "y"}},
        {"depth 2 is checked, its sub-folders are not",
         {"x", "x/System Volume Information", "x/System Volume Information/inner", "x/System Volume Information/inner/deep"},
         {"R", "x", "System Volume Information"}},
        {"depth 3", {"a", "a/b", "a/b/System Volume Information", "a/b/c"}, {"R", "a", "b", "c"}},
        {"the name must hold the whole text", {"System Volume", "Volume Information"},
         {"R", "System Volume", "Volume Information"}},
    };
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const std::string root = "R" + std::to_string(i);
        MakeTree(cases[i].folders, root);
        std::int64_t n = 0;
        EXPECT_EQ(Walk(&n, root), cases[i].checked) << cases[i].what;
        EXPECT_EQ(n, static_cast<std::int64_t>(cases[i].checked.size())) << cases[i].what;
    }
}

TEST_F(FolderWalkTest, LinksToFoldersAreNotFollowed) {
    MakeTree({"A"});
    WriteFile(dir / "outside/outside.txt", "outside");
    fs::create_directory_symlink(dir / "outside", dir / "R/link");
    fs::create_directory_symlink(dir / "R", dir / "R/A/loop");
    std::int64_t n = 0;
    EXPECT_EQ(Walk(&n), (std::vector<std::string>{"R", "A"}));
    EXPECT_EQ(n, 2);
}

TEST_F(FolderWalkTest, HiddenFoldersAreWalkedButHiddenFilesAreNotSent) {
    MakeTree({".cache/x"});
    WriteFile(dir / "R/.cache/c.txt", "c");
    WriteFile(dir / "R/.cache/.secret.txt", "s");
    EXPECT_EQ(Walk(), (std::vector<std::string>{"R", "c", "x"}));
}

TEST_F(FolderWalkTest, AFolderThatCannotBeListedIsPassedOverWithItsTree) {
    MakeTree({"A", "B", "B/B1", "C"});
    fs::permissions(dir / "R/B", fs::perms::none);
    synctest::PermissionsBite bite;
    std::int64_t n = 0;
    EXPECT_EQ(Walk(&n), (std::vector<std::string>{"R", "A", "C"}));
    EXPECT_EQ(n, 3);
    EXPECT_NE(std::find(log.lines.begin(), log.lines.end(), dir / "R/B" + " could not be read: Permission denied"),
              log.lines.end());
}

TEST_F(FolderWalkTest, ResetStartsTheCountAgain) {
    MakeTree({"A", "B"});
    RecordingWindow window;
    syncrun::FileCheck check(window);
    EXPECT_EQ(check.CheckFolderTree(dir / "R", true), 3);
    EXPECT_EQ(check.CheckFolderTree(dir / "R/A", false), 4);
    EXPECT_EQ(check.CheckFolderTree(dir / "R/", true), 3);
}

}  // namespace

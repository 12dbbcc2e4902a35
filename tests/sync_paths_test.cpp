// Remote path mapping and the folder listing: where a file goes on the
// server, and which entries of a folder the file check and the walk see.

#include "shell/StatusLog.h"
#include "sync/FolderListing.h"
#include "sync/RemotePath.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sys/stat.h>

using testsupport::TempDir;
using testsupport::WriteFile;

namespace fs = std::filesystem;

namespace {

TEST(GetRemoteFolder, MapsTheLocalFolderBelowTheRemoteDirectory) {
    struct Case { const char* fullPath; const char* name; const char* remote; const char* upload; };
    const Case cases[] = {
        {"/home/anna/docs/report.txt", "report.txt", "/home/anna/docs/", "home/anna/docs/"},
        {"/data/a.txt", "a.txt", "/data/", "data/"},
        {"/a.txt", "a.txt", "/", ""},  // a root job's files land in the remote directory itself
        {"/x/y z/b c.doc", "b c.doc", "/x/y z/", "x/y z/"},
        {"/mnt/c:/data/d:e.txt", "d:e.txt", "/mnt/c:/data/", "mnt/c:/data/"},  // ":" is ordinary
        {"/srv/back\\slash/f.txt", "f.txt", "/srv/back\\slash/", "srv/back\\slash/"},
        {"/tmp/it's/O'Brien.txt", "O'Brien.txt", "/tmp/it's/", "tmp/it's/"},
        {"/Tmp/MiXeD/Ärger ß.txt", "Ärger ß.txt", "/Tmp/MiXeD/", "Tmp/MiXeD/"},
        {"/p/100%_#1/x", "x", "/p/100%_#1/", "p/100%_#1/"},
        {"a.txt", "a.txt", "", ""},  // a name as long as the path leaves nothing
    };
    for (const auto& c : cases) {
        const std::string remote = syncrun::GetRemoteFolder(c.fullPath, c.name);
        EXPECT_EQ(remote, c.remote) << c.fullPath;
        EXPECT_EQ(syncrun::UploadFolder(remote), c.upload) << c.fullPath;
    }
}

TEST(FolderPaths, TrailingSeparatorsAndJoining) {
    struct Case { const char* in; const char* path; const char* joined; };
    const Case cases[] = {
        {"/data", "/data", "/data/n"},
        {"/data/", "/data", "/data/n"},
        {"/data//", "/data", "/data/n"},
        {"/", "/", "/n"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(syncrun::FolderPath(c.in), c.path) << c.in;
        EXPECT_EQ(syncrun::JoinPath(syncrun::FolderPath(c.in), "n"), c.joined) << c.in;
    }
}

class Listings : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* f : {"b.txt", "a.txt", "B.txt", "ü.txt", ".hidden", "z y.txt"}) WriteFile(dir / f, f);
        fs::create_directories(dir / "sub/inner");
        fs::create_directories(dir / ".git");
        fs::create_directories(dir / "Zed");
        fs::create_directory_symlink(dir / "sub", dir / "sublink");
        fs::create_symlink(dir / "a.txt", dir / "filelink");
        ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0);
    }
    TempDir dir;
};

TEST_F(Listings, FolderListingLeavesOutHiddenNamesInByteOrder) {
    const syncrun::Listing l = syncrun::ListFolder(dir.path());
    ASSERT_TRUE(l.ok) << l.reason;
    const std::vector<std::string> expected{"B.txt", "Zed", "a.txt", "b.txt", "fifo", "filelink",
                                            "sub", "sublink", "z y.txt", "ü.txt"};
    EXPECT_EQ(l.names, expected);
}

TEST_F(Listings, SubFoldersIncludeHiddenOnesButNoLinks) {
    const syncrun::Listing l = syncrun::ListSubFolders(dir.path());
    ASSERT_TRUE(l.ok) << l.reason;
    EXPECT_EQ(l.names, (std::vector<std::string>{".git", "Zed", "sub"}));
}

TEST_F(Listings, AFolderThatCannotBeListedSaysWhy) {
    for (auto* list : {&syncrun::ListFolder, &syncrun::ListSubFolders}) {
        const syncrun::Listing missing = list(dir / "missing");
        EXPECT_FALSE(missing.ok);
        EXPECT_EQ(missing.reason, "No such file or directory");
        const syncrun::Listing file = list(dir / "a.txt");
        EXPECT_FALSE(file.ok);
        EXPECT_EQ(file.reason, "Not a directory");
    }
}

}  // namespace

namespace {

TEST(OneLine, OutsideTextCannotSplitALineOrReachTheTerminal) {
    struct Case { std::string text, shown; };
    const Case cases[] = {
        {"plain /a b/c.txt", "plain /a b/c.txt"},
        {"Ärger ß €  𝄞", "Ärger ß €  𝄞"},
        {"a\r\nAll Sync's Complete", "a\\r\\nAll Sync's Complete"},
        {std::string("t\tab\0z", 6), "t\\tab\\0z"},
        {"\x1b[2J\x7f", "\\x1b[2J\\x7f"},
        {"latin1 \xe9t\xe9", "latin1 \\xe9t\\xe9"},
        {"c1 \xc2\x9b" "31m", "c1 \\xc2\\x9b31m"},
        {"overlong \xc0\xaf \xe0\x80\xaf", "overlong \\xc0\\xaf \\xe0\\x80\\xaf"},
        {"cut \xe2\x82", "cut \\xe2\\x82"},
        {"back\\slash", "back\\slash"},
    };
    for (const auto& c : cases) EXPECT_EQ(OneLine(c.text), c.shown) << c.shown;
}

}  // namespace

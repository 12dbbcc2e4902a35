// What the list and editor windows build without a display: entry IDs,
// entry texts, the statements with their quoting, the folder job checks,
// clearing the file state under a folder and deleting a job, over real
// stores.

#include "folders/DeleteJob.h"
#include "folders/FolderStatements.h"
#include "shell/EntryID.h"
#include "servers/ServerStatements.h"
#include "store/Store.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <set>

using testsupport::TempDir;

namespace {

TEST(EntryID, TextBeforeTheFirstBlank) {
    struct Case {
        const char* entry;
        std::optional<std::string> id;
        std::optional<std::int64_t> key;
    };
    const Case cases[] = {
        {"3 --> Server: fileserver User: anna", "3", 3},
        {"12 --> Server: my file server User: anna maria", "12", 12},
        {"7 --> Folder: /home/anna/My Documents", "7", 7},
        {"40000 --> Folder: /big", "40000", 40000},  // above 16 bits
        {"9223372036854775807 --> x", "9223372036854775807", INT64_C(9223372036854775807)},
        {"9223372036854775808 --> x", "9223372036854775808", std::nullopt},  // beyond 64 bits
        {" 3 --> leading blank", "", std::nullopt},
        {"3", std::nullopt, std::nullopt},  // no blank: no ID
        {"", std::nullopt, std::nullopt},   // nothing selected
        {"Server", std::nullopt, std::nullopt},
        {"abc def", "abc", std::nullopt},
        {"-3 --> x", "-3", std::nullopt},
        {"+3 --> x", "+3", std::nullopt},
        {"3\t--> x", "3\t-->", std::nullopt},  // only U+0020 counts
    };
    for (const auto& c : cases) {
        EXPECT_EQ(GetEntryID(c.entry), c.id) << '"' << c.entry << '"';
        EXPECT_EQ(EntryKey(c.entry), c.key) << '"' << c.entry << '"';
    }
}

TEST(EntryTexts, ListAndComboEntries) {
    EXPECT_EQ(servers::ServerListEntry("3", "fileserver", "anna"), "3 --> Server: fileserver User: anna");
    EXPECT_EQ(servers::ServerListEntry("4", "", ""), "4 --> Server:  User: ");
    EXPECT_EQ(folders::FolderListEntry("7", "/home/anna/data"), "7 --> Folder: /home/anna/data");
    EXPECT_EQ(folders::ProfileEntry("3", "fileserver", "anna"), "3 --> fileserver User: anna");
}

TEST(ServerStatements, TextsAsBuiltWithQuotesDoubled) {
    const servers::ServerProfile plain{"(server)", "(port)", "(user)", "(password)", "(directory)", "(notes)"};
    EXPECT_EQ(servers::UpdateServerStatement(plain, 7),
              "Update mySettings set FTPServer = '(server)', FTPPort = '(port)', FTPUser = '(user)', "
              "FTPPassword = '(password)', FTPDirectory = '(directory)', FTPNotes = '(notes)' where SettingsID = 7");
    EXPECT_EQ(servers::InsertServerStatement(plain),
              "insert into mySettings (FTPServer, FTPPort, FTPUser, FTPPassword, FTPDirectory, FTPNotes) "
              "values('(server)', '(port)', '(user)', '(password)', '(directory)', '(notes)')");
    const servers::ServerProfile quoted{"o'host", "21", "o'user", "p'w''", "/it's", "'"};
    EXPECT_EQ(servers::InsertServerStatement(quoted),
              "insert into mySettings (FTPServer, FTPPort, FTPUser, FTPPassword, FTPDirectory, FTPNotes) "
              "values('o''host', '21', 'o''user', 'p''w''''', '/it''s', '''')");
    EXPECT_EQ(servers::SelectServerStatement(40000), "select * from mySettings where SettingsID = 40000");
    EXPECT_EQ(servers::DeleteServerStatement(3), "delete from mySettings where SettingsID = 3");
}

TEST(FolderStatements, TextsAsBuiltWithQuotesDoubled) {
    EXPECT_EQ(folders::InsertFolderStatement("/data", "3", true),
              "insert into Tessary (Folder, SettingsID, SubDirs) values('/data', '3', 'YES')");
    EXPECT_EQ(folders::UpdateFolderStatement("/data", "3", false, 7),
              "Update Tessary set Folder = '/data', SettingsID = '3', SubDirs = 'NO' where SyncID = 7");
    EXPECT_EQ(folders::InsertFolderStatement("/it's", "3", false),
              "insert into Tessary (Folder, SettingsID, SubDirs) values('/it''s', '3', 'NO')");
    EXPECT_EQ(folders::SelectFolderStatement(7), "select * from Tessary where SyncID = 7");
    EXPECT_EQ(folders::DeleteFolderStatement(7), "delete from Tessary where SyncID = 7");
    EXPECT_EQ(folders::DeleteFolderFilesStatement(7), "delete from myFiles where SyncID = 7");
    EXPECT_EQ(folders::ClearFolderFilesStatement("/my_dir's"),
              "delete from myFiles where fullpath like '/my\\_dir''s/%' ESCAPE '\\'");
}

TEST(FolderStatements, OnlyExactYesTicksTheBox) {
    EXPECT_TRUE(folders::SubDirsTicked("YES"));
    for (const char* other : {"yes", "Yes", "NO", "", " YES", "YES "})
        EXPECT_FALSE(folders::SubDirsTicked(other)) << other;
}

TEST(FolderSaveProblem, ChecksInOrder) {
    const std::set<std::int64_t> profiles{1, 3};
    const auto exists = [&](std::int64_t id) { return profiles.count(id) > 0; };
    const std::string entry = "3 --> fileserver User: anna";
    struct Case {
        const char* folder;
        std::string combo;
        std::optional<std::string> problem;
    };
    const Case cases[] = {
        {"", entry, folders::kEnterFolder},
        {"", "Server", folders::kEnterFolder},  // the folder is checked first
        {"/data/", entry, folders::kTrailingSeparator},
        {"/data/", "Server", folders::kTrailingSeparator},
        {"//", entry, folders::kTrailingSeparator},
        {"/", entry, std::nullopt},  // the root keeps its separator
        {"/data", entry, std::nullopt},
        {"relative dir", "1 --> x User: y", std::nullopt},
        {"/data", "Server", folders::kSelectServer},
        {"/data", "server", folders::kSelectServer},       // typed: no blank
        {"/data", "Server ", folders::kSelectServer},      // typed: no numeric ID
        {"/data", "", folders::kSelectServer},
        {"/data", "x3 --> fileserver", folders::kSelectServer},
        {"/data", "2 --> gone User: anna", folders::kSelectServer},  // no such profile
        {"/data", " 3 --> fileserver", folders::kSelectServer},
    };
    for (const auto& c : cases)
        EXPECT_EQ(folders::FolderSaveProblem(c.folder, c.combo, exists), c.problem)
            << '"' << c.folder << "\" / \"" << c.combo << '"';
}

class FolderStoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        testsupport::MakeStore(dir.path());
        conn.ConnectionString = store::BuildConnectionString(dir.path());
        conn.Open();
    }
    void AddFile(const std::string& path, int syncId) {
        conn.Execute("insert into myFiles (FullPath, SyncID) values(" + store::Quoted(path) + ", '" +
                     std::to_string(syncId) + "')");
    }
    std::vector<std::string> Paths() {
        std::vector<std::string> out;
        for (auto rs = conn.Execute("select FullPath from myFiles"); !rs.Eof(); rs.MoveNext())
            out.push_back(rs.Fields("FullPath"));
        std::sort(out.begin(), out.end());
        return out;
    }
    std::int64_t Count(const std::string& sql) { return conn.Execute(sql).FieldInt("n"); }
    TempDir dir;
    store::Connection conn;
};

TEST_F(FolderStoreTest, ClearingTakesTheFolderAndBelowAndNothingElse) {
    struct Case {
        std::string folder;
        std::vector<std::string> kept;
    };
    const std::vector<std::string> all{"/data/a.txt",   "/data/sub/b.txt", "/data2/c.txt",  "/database.txt",
                                       "/my_dir/d.txt", "/myXdir/e.txt",   "/100%/f.txt",   "/100x/g.txt",
                                       "/it's/h.txt",   "/its/i.txt",      "/back\\s/j.txt", "/backXs/k.txt"};
    auto without = [&](std::initializer_list<const char*> gone) {
        std::vector<std::string> out;
        for (const auto& p : all)
            if (std::find(gone.begin(), gone.end(), p) == gone.end()) out.push_back(p);
        std::sort(out.begin(), out.end());
        return out;
    };
    const Case cases[] = {
        {"/data", without({"/data/a.txt", "/data/sub/b.txt"})},
        {"/data/", without({"/data/a.txt", "/data/sub/b.txt"})},
        {"/data/sub", without({"/data/sub/b.txt"})},
        {"/my_dir", without({"/my_dir/d.txt"})},
        {"/100%", without({"/100%/f.txt"})},
        {"/it's", without({"/it's/h.txt"})},
        {"/back\\s", without({"/back\\s/j.txt"})},
        {"/DATA", without({})},  // paths are case-sensitive
        {"/", {}},
    };
    for (const auto& c : cases) {
        conn.Execute("delete from myFiles");
        for (const auto& p : all) AddFile(p, 1);
        conn.Execute(folders::ClearFolderFilesStatement(c.folder));
        EXPECT_EQ(Paths(), c.kept) << c.folder;
    }
}

TEST_F(FolderStoreTest, ARefusedRecordDeleteKeepsTheJob) {
    conn.Execute("insert into Tessary (Folder, SettingsID, SubDirs) values('/a', '1', 'NO')");
    AddFile("/a/x", 1);
    conn.Execute("create trigger keep_files before delete on myFiles begin select raise(abort, 'files are kept'); end");
    try {
        folders::DeleteJobWithRecords(conn, 1);
        FAIL() << "the refused delete went through";
    } catch (const store::StoreError& e) {
        EXPECT_STREQ(e.what(), "files are kept");
    }
    EXPECT_EQ(Count("select count(*) as n from Tessary"), 1);
    EXPECT_EQ(Count("select count(*) as n from myFiles"), 1);
    // The connection is left without an open savepoint: later statements commit.
    conn.Execute("drop trigger keep_files");
    folders::DeleteJobWithRecords(conn, 1);
    store::Connection other;
    other.ConnectionString = conn.ConnectionString;
    other.Open();
    EXPECT_EQ(other.Execute("select count(*) as n from Tessary").FieldInt("n"), 0);
    EXPECT_EQ(other.Execute("select count(*) as n from myFiles").FieldInt("n"), 0);
}

}  // namespace

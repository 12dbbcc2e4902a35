// The store against real SQLite files in temporary folders: opening, the
// statement forms the windows and the sync engine rely on, and quoting.

#include "store/CreateStore.h"
#include "store/Store.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sys/stat.h>

using store::StoreError;
using testsupport::TempDir;

namespace {

class StoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        testsupport::MakeStore(dir.path());
        conn.ConnectionString = store::BuildConnectionString(dir.path());
        conn.Open();
    }
    int Count(const std::string& table) {
        auto rs = conn.Execute("select count(*) as n from " + table);
        return static_cast<int>(rs.FieldInt("n"));
    }
    TempDir dir;
    store::Connection conn;
};

TEST(StoreOpen, ConnectionStringNamesTheFileThatIsOpened) {
    TempDir dir;
    const std::string cs = store::BuildConnectionString(dir.path());
    EXPECT_EQ(cs, "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + dir.path() + "/information.mdb;");
    store::Connection conn;
    conn.ConnectionString = cs;
    EXPECT_EQ(conn.DataSource(), dir / "information.mdb");
    conn.ConnectionString = store::BuildConnectionString("/opt/a;b");
    EXPECT_EQ(conn.DataSource(), "/opt/a;b/information.mdb");
}

TEST(StoreOpen, MissingStoreFailsAndIsNeverCreated) {
    TempDir dir;
    store::Connection conn;
    conn.ConnectionString = store::BuildConnectionString(dir.path());
    EXPECT_THROW(conn.Open(), StoreError);
    EXPECT_FALSE(std::filesystem::exists(dir / "information.mdb"));
    EXPECT_FALSE(conn.IsOpen());
    EXPECT_THROW(conn.Execute("select * from Tessary"), StoreError);
}

TEST(StoreOpen, AFileThatIsNoStoreFails) {
    TempDir dir;
    testsupport::WriteFile(dir / "information.mdb", "this is not a database, just some text\n");
    store::Connection conn;
    conn.ConnectionString = store::BuildConnectionString(dir.path());
    EXPECT_THROW(conn.Open(), StoreError);
}

TEST(StoreCreate, MadeWithOwnerOnlyModeAndNeverOverwritten) {
    TempDir dir;
    const std::string file = testsupport::MakeStore(dir.path());
    struct stat st {};
    ASSERT_EQ(::stat(file.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);

    store::Connection conn;
    conn.ConnectionString = store::BuildConnectionString(dir.path());
    conn.Open();
    conn.Execute("insert into Tessary (Folder, SettingsID, SubDirs) values('/data', '1', 'NO')");
    conn.Close();
    EXPECT_FALSE(store::CreateStore(file, testsupport::ReadFile(TESSARY_SCHEMA_FILE)));
    conn.Open();
    EXPECT_FALSE(conn.Execute("select * from Tessary").Eof());
}

TEST_F(StoreTest, KeysCountUpFromOneAndAreNeverReused) {
    conn.Execute("insert into mySettings (FTPServer) values('a')");
    conn.Execute("insert into mySettings (FTPServer) values('b')");
    conn.Execute("delete from mySettings where SettingsID = 2");
    conn.Execute("insert into mySettings (FTPServer) values('c')");
    auto rs = conn.Execute("select * from mySettings");
    std::vector<std::int64_t> ids;
    for (; !rs.Eof(); rs.MoveNext()) ids.push_back(rs.FieldInt("SettingsID"));
    EXPECT_EQ(ids, (std::vector<std::int64_t>{1, 3}));
}

TEST_F(StoreTest, KeysAbove16BitsWork) {
    conn.Execute("insert into Tessary (SyncID, Folder, SettingsID, SubDirs) values(70000, '/big', '1', 'YES')");
    conn.Execute("insert into Tessary (Folder, SettingsID, SubDirs) values('/next', '1', 'NO')");
    auto rs = conn.Execute("select * from Tessary where SyncID = 70001");
    ASSERT_FALSE(rs.Eof());
    EXPECT_EQ(rs.Fields("Folder"), "/next");
}

// Every statement form the program sends, once each.
TEST_F(StoreTest, AcceptsTheProgramsStatementForms) {
    // Names and keywords in any letter case; quoted digits into numeric columns.
    conn.Execute("insert into mySettings (FTPServer, FTPPort, FTPUser, FTPPassword, FTPDirectory, FTPNotes) "
                 "values('host', '21', 'anna',  'pw', '/up', '')");
    conn.Execute("insert into Tessary (Folder, SettingsID, SubDirs) values('/data', '1', 'YES')");
    conn.Execute("insert into myFiles (FullPath, Folder, FileName, FileDate, FileHash, SyncID) "
                 "values('/data/a.txt', '/data/', 'a.txt', 'd', 'h', '1')");
    conn.Execute("Update mySettings set FTPServer = 'h2', FTPPort = '2121', FTPUser = 'u', FTPPassword = 'p', "
                 "FTPDirectory = '', FTPNotes = '' where SettingsID = 1");
    conn.Execute("Update Tessary set Folder = '/data', SettingsID = '1', SubDirs = 'NO' where SyncID = 1");
    conn.Execute("update myFiles set FileHash = 'h2' where FileID = 1");

    auto s = conn.Execute("Select * from MYSETTINGS where SettingsID = 1");
    ASSERT_FALSE(s.Eof());
    EXPECT_EQ(s.Fields("FTPPAssword"), "p");  // column names match in any case
    EXPECT_EQ(s.Fields("ftpport"), "2121");
    EXPECT_EQ(s.Fields("FTPDirectory"), "");   // '' reads back as empty text
    EXPECT_EQ(s.Fields("FTPNotes"), "");

    // A quoted key in a numeric column compares with a bare number.
    auto j = conn.Execute("select * from tessary where SettingsID = 1");
    ASSERT_FALSE(j.Eof());
    EXPECT_EQ(j.Fields("SubDirs"), "NO");

    // ";" at the end of a select, "Filename" for FileName, fullpath in a condition.
    auto f = conn.Execute("select * from myFiles where FullPath = '/data/a.txt';");
    ASSERT_FALSE(f.Eof());
    EXPECT_EQ(f.Fields("Filename"), "a.txt");
    EXPECT_EQ(f.Fields("FileHash"), "h2");
    EXPECT_EQ(f.FieldInt("SyncID"), 1);
    f.MoveNext();
    EXPECT_TRUE(f.Eof());

    // "%" as LIKE's wildcard; LIKE is case-sensitive, as paths are.
    conn.Execute("insert into myFiles (FullPath) values('/Data/b.txt')");
    EXPECT_FALSE(conn.Execute("select * from myfiles where fullpath like '/data/%'").Eof());
    conn.Execute("delete from myFiles where fullpath like '/data/%'");
    EXPECT_EQ(Count("myFiles"), 1);
    conn.Execute("delete from myfiles");
    EXPECT_EQ(Count("myFiles"), 0);
    EXPECT_EQ(Count("Tessary"), 1);
}

TEST_F(StoreTest, RefusedStatementsCarryTheStoresMessage) {
    try {
        conn.Execute("select * from NoSuchTable");
        FAIL() << "a missing table must fail";
    } catch (const StoreError& e) {
        EXPECT_NE(std::string(e.what()).find("NoSuchTable"), std::string::npos) << e.what();
    }
    EXPECT_THROW(conn.Execute("insert into Tessary (Folder) values('it's')"), StoreError);
    EXPECT_THROW(conn.Execute("delete from Tessary; delete from myFiles"), StoreError);
    auto rs = conn.Execute("select * from Tessary");
    EXPECT_TRUE(rs.Eof());
    EXPECT_THROW(rs.Fields("Folder"), StoreError);
}

TEST_F(StoreTest, QuotedTextRoundTripsExactly) {
    const std::vector<std::string> texts{"", "it's", "''", "a'b'c'", "100%_done\\", "ümlaut \"x\"", "line\nbreak"};
    for (const auto& t : texts) {
        conn.Execute("insert into mySettings (FTPNotes) values(" + store::Quoted(t) + ")");
        auto rs = conn.Execute("select * from mySettings where FTPNotes = " + store::Quoted(t));
        ASSERT_FALSE(rs.Eof()) << t;
        EXPECT_EQ(rs.Fields("FTPNotes"), t);
    }
}

TEST_F(StoreTest, LikeLiteralMatchesOnlyItself) {
    for (const char* p : {"/d_t/a", "/dxt/a", "/d%t/a", "/dyyt/a", "/d\\t/a"})
        conn.Execute("insert into myFiles (FullPath) values(" + store::Quoted(p) + ")");
    auto match = [&](const std::string& prefix) {
        auto rs = conn.Execute("select count(*) as n from myFiles where FullPath like " +
                               store::Quoted(store::LikeLiteral(prefix) + "%") + " escape '\\'");
        return rs.FieldInt("n");
    };
    EXPECT_EQ(match("/d_t/"), 1);
    EXPECT_EQ(match("/d%t/"), 1);
    EXPECT_EQ(match("/d\\t/"), 1);
    EXPECT_EQ(match("/d"), 5);
}

TEST_F(StoreTest, WaitsForAnotherWriterBeforeFailing) {
    store::Connection other;
    other.ConnectionString = conn.ConnectionString;
    other.Open();
    other.Execute("BEGIN IMMEDIATE");
    other.Execute("insert into Tessary (Folder) values('/held')");
    // The lock is released only by COMMIT, so the write waits out the busy
    // timeout and then fails with the store's message.
    EXPECT_THROW(conn.Execute("insert into Tessary (Folder) values('/mine')"), StoreError);
    other.Execute("COMMIT");
    conn.Execute("insert into Tessary (Folder) values('/mine')");
    EXPECT_EQ(Count("Tessary"), 2);
}

}  // namespace

// The store over real SQLite files (opening, creating, reading columns, keys, refusals), entry IDs, and
// the runtime's /SYNC switch, command line and numeric test.

#include "base/EntryID.h"
#include "base/Runtime.h"
#include "store/CreateStore.h"
#include "store/Store.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <tuple>

namespace {

namespace fs = std::filesystem;
using store::StoreError;
using testsupport::TempDir;

// The statements, quoting, case-sensitive LIKE and the store's messages are proven by the windows' round
// trips through a real store; here, what the store itself adds.
TEST(Store, OpensOnlyWhatExistsReadsColumnsInAnyCaseKeepsKeysAndRefusesASecondStatement) {
    store::Connection conn;
    conn.ConnectionString = store::BuildConnectionString("/opt/a;b");
    EXPECT_EQ(conn.DataSource(), "/opt/a;b/information.mdb");
    TempDir dir;
    conn.ConnectionString = store::BuildConnectionString(dir.path());
    EXPECT_THROW(conn.Open(), StoreError);
    EXPECT_FALSE(fs::exists(dir / "information.mdb"));
    EXPECT_THROW(conn.Execute("select * from Tessary"), StoreError);
    testsupport::WriteFile(dir / "information.mdb", "this is not a database, just some text\n");
    EXPECT_THROW(conn.Open(), StoreError);
    fs::remove(dir / "information.mdb");
    const std::string file = testsupport::MakeStore(dir.path());
    EXPECT_EQ(fs::status(file).permissions(), fs::perms(0600));
    conn.Open();
    const auto count = [&](const std::string& table) {
        return conn.Execute("select count(*) as n from " + table).FieldInt("n");
    };
    conn.Execute("insert into Tessary (Folder, SubDirs) values('/data', 'YES')");
    auto rs = conn.Execute("Select * from TESSARY");
    EXPECT_EQ(rs.Fields("folder") + rs.Fields("SUBDIRS"), "/dataYES");
    rs.MoveNext();
    EXPECT_TRUE(rs.Eof());
    EXPECT_THROW(rs.Fields("Folder"), StoreError) << "no current row";
    conn.Execute("insert into Tessary (SyncID, Folder) values(70000, '/big')");
    conn.Execute("delete from Tessary where SyncID = 70000");
    conn.Execute("insert into Tessary (Folder) values('/next')");
    EXPECT_EQ(conn.Execute("select * from Tessary where Folder = '/next'").FieldInt("SyncID"), 70001)
        << "keys go past 16 bits and are never used again";
    EXPECT_THROW(conn.Execute("delete from Tessary; delete from myFiles"), StoreError);
    EXPECT_EQ(count("Tessary"), 2) << "nothing of a refused statement ran";
    conn.Close();
    EXPECT_FALSE(store::CreateStore(file, testsupport::ReadFile(TESSARY_SCHEMA_FILE)));
    conn.Open();
    EXPECT_EQ(count("Tessary"), 2) << "an existing store is never made again";
}

TEST(EntryID, TheRecordKeyBeforeTheFirstBlank) {
    using Id = std::optional<std::string>;
    using Key = std::optional<std::int64_t>;
    const std::tuple<const char*, Id, Key> cases[] = {  // only U+0020 ends the ID; a key fits 64 bits
        {"40000 --> Folder: /big", "40000", 40000}, {"9223372036854775808 --> x", "9223372036854775808", Key()},
        {" 3 --> x", "", Key()}, {"3", Id(), Key()}, {"abc def", "abc", Key()}, {"-3 --> x", "-3", Key()},
        {"3\t--> x", "3\t-->", Key()}};
    for (const auto& [entry, id, key] : cases) {
        EXPECT_EQ(GetEntryID(entry), id) << '"' << entry << '"';
        EXPECT_EQ(EntryKey(entry), key) << '"' << entry << '"';
    }
}

TEST(Runtime, SyncSwitchCommandLineAndNumbers) {
    for (const char* yes : {"/sync", "/SyNc", "-x /SYNCHRONISE"}) EXPECT_TRUE(runtime::HasSyncSwitch(yes)) << yes;
    for (const char* no : {"", "SYNC", "/SYN C", "\\SYNC"}) EXPECT_FALSE(runtime::HasSyncSwitch(no)) << no;
    char prog[] = "tessary", a[] = "one", b[] = "/sy", c[] = "nc";
    char* argv[] = {prog, a, b, c, nullptr};
    runtime::SetCommandLine(4, argv);
    EXPECT_EQ(runtime::Command(), "one /sy nc");
    for (const char* yes : {"21", "-5", " 21 ", "21.5", ".5", "1E+3"}) EXPECT_TRUE(runtime::IsNumeric(yes)) << yes;
    for (const char* no : {"", " ", "21a", "1e", ".", "2 1", "0x15"}) EXPECT_FALSE(runtime::IsNumeric(no)) << no;
}

}  // namespace

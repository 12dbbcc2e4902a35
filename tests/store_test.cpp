// The store over real SQLite files (opening, creating, reading columns, keys, refusals), the per-user
// store's folder and first making, entry IDs, and the runtime's /SYNC switch, command line and numeric
// test.

#include "base/EntryID.h"
#include "base/Runtime.h"
#include "store/Store.h"
#include "store/StoreLocation.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <pwd.h>
#include <tuple>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using store::StoreError;
using testsupport::TempDir;

// The statements, quoting, case-sensitive LIKE and the store's messages are proven by the windows' round
// trips through a real store, a store missing or not a store at all by the unattended runs; here, what the
// store itself adds.
TEST(Store, ReadsColumnsInAnyCaseKeepsKeysAndRefusesASecondStatement) {
    store::Connection conn;
    conn.ConnectionString = store::BuildConnectionString("/opt/a;b");
    EXPECT_EQ(conn.DataSource(), "/opt/a;b/information.mdb");
    TempDir dir;
    conn.ConnectionString = store::BuildConnectionString(dir.path());
    testsupport::MakeStore(dir.path());
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
}

TEST(UserStore, FolderFromAnAbsoluteXdgDataHomeElseHomeElseTheUserDatabase) {
    const passwd* pw = ::getpwuid(::getuid());
    ASSERT_NE(pw, nullptr);
    const std::string fromDatabase = std::string(pw->pw_dir) + "/.local/share/tessary";
    const std::tuple<const char*, const char*, std::string> cases[] = {  // XDG_DATA_HOME, HOME (nullptr: unset)
        {"/data/x", "/home/h", "/data/x/tessary"}, {"", "/home/h", "/home/h/.local/share/tessary"},
        {"data", "/home/h", "/home/h/.local/share/tessary"}, {nullptr, "/", "/.local/share/tessary"},
        {nullptr, nullptr, fromDatabase}, {nullptr, "h", fromDatabase}};
    const auto set = [](const char* name, const char* value) { value ? ::setenv(name, value, 1) : ::unsetenv(name); };
    const std::string ownHome = std::getenv("HOME") ? std::getenv("HOME") : "";
    for (const auto& [xdg, home, folder] : cases) {
        set("XDG_DATA_HOME", xdg);
        set("HOME", home);
        EXPECT_EQ(store::UserStoreFolder(), folder) << (xdg ? xdg : "unset") << ", " << (home ? home : "unset");
    }
    set("HOME", ownHome.c_str());
}

// The made store must be the one the program's schema makes (its columns read by name everywhere).
TEST(UserStore, MadeOnceWithTheCurrentSchemaOwnerOnlyNeverHalfMadeAndItsFailureNamed) {
    TempDir dir;
    const std::string folder = dir / "share/tessary";
    const auto made = store::MakeUserStore(folder);
    ASSERT_TRUE(made);
    EXPECT_EQ(*made, folder + "/information.mdb");
    EXPECT_EQ(fs::status(dir / "share").permissions(), fs::perms(0700));
    EXPECT_EQ(fs::status(folder).permissions(), fs::perms(0700));
    EXPECT_EQ(fs::status(*made).permissions(), fs::perms(0600));
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename());
    EXPECT_EQ(names, std::vector<std::string>{"information.mdb"}) << "no temporary copy is left";

    TempDir other;
    const std::string expected = testsupport::MakeStore(other.path());
    const auto schema = [](const std::string& file) {
        const auto conn = testsupport::ConnectTo(fs::path(file).parent_path());
        std::string all;
        for (auto rs = conn->Execute("select name, sql from sqlite_master order by name"); !rs.Eof(); rs.MoveNext())
            all += rs.Fields("name") + ": " + rs.Fields("sql") + "\n";
        return all + "journal " + conn->Execute("pragma journal_mode").Fields("journal_mode");
    };
    EXPECT_EQ(schema(*made), schema(expected));
    EXPECT_NE(schema(*made).find("FTPConnections"), std::string::npos);

    testsupport::ConnectTo(folder)->Execute("insert into Tessary (Folder) values('/kept')");
    EXPECT_FALSE(store::MakeUserStore(folder)) << "an existing store is never made again";
    EXPECT_EQ(testsupport::ConnectTo(folder)->Execute("select Folder from Tessary").Fields("Folder"), "/kept");

    // A folder that cannot be made: the message names the store, not a temporary name.
    testsupport::WriteFile(dir / "file", "not a folder\n");
    try {
        store::MakeUserStore(dir / "file/tessary");
        ADD_FAILURE() << "no error";
    } catch (const StoreError& e) {
        EXPECT_NE(std::string(e.what()).find(dir / "file/tessary/information.mdb"), std::string::npos) << e.what();
    }
}

TEST(Runtime, SyncSwitchCommandLineAndNumbers) {
    for (const char* yes : {"/sync", "/SyNc", "-x /SYNCHRONISE"}) EXPECT_TRUE(runtime::HasSyncSwitch(yes)) << yes;
    for (const char* no : {"", "SYNC", "/SYN C", "\\SYNC"}) EXPECT_FALSE(runtime::HasSyncSwitch(no)) << no;
    EXPECT_TRUE(runtime::HasVerifySwitch("x /Verify")) << "in any letter case";
    char prog[] = "tessary", a[] = "one", b[] = "/sy", c[] = "nc";
    char* argv[] = {prog, a, b, c, nullptr};
    runtime::SetCommandLine(4, argv);
    EXPECT_EQ(runtime::Command(), "one /sy nc");
    for (const char* yes : {"21", "-5", " 21 ", "21.5", ".5", "1E+3"}) EXPECT_TRUE(runtime::IsNumeric(yes)) << yes;
    for (const char* no : {"", " ", "21a", "1e", ".", "2 1", "0x15"}) EXPECT_FALSE(runtime::IsNumeric(no)) << no;
}

}  // namespace

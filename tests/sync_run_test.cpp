// Whole sync runs against real FTP servers on 127.0.0.1: later runs, sub-folders, jobs that share a file,
// jobs that cannot run, a job deleted during its run and a verifying run.

#include "store/Jobs.h"
#include "tests/support/RunFixture.h"

#include <algorithm>
#include <atomic>

using namespace testsupport;

namespace {

TEST_F(SyncRunTest, LaterRunsSendWhatChangedInContentInListingOrder) {
    // Enough files with records that the workers hash well ahead of the check.
    for (int i = 0; i < 300; ++i) WriteFile(Data("f" + std::to_string(1000 + i)), "v1 " + std::to_string(i));
    auto server = ServeData();
    ASSERT_TRUE(Run().clean);
    fs::remove_all(server->root() + kRemoteDir);  // an ordinary run trusts its records
    fs::create_directories(server->root() + kRemoteDir);

    auto outcome = Run();
    EXPECT_EQ(outcome.filesSent, 0);
    EXPECT_EQ(log.Lines(), (std::vector<std::string>{"User initiated Sync", "FTP Info: Directory is changed to /backup",
                                                     "Updated: 1 Folders", kDisconnected, "All Sync's Complete"}));

    // A newer date alone is nothing new; new content in every third file is.
    fs::last_write_time(Data("f1000"), fs::last_write_time(Data("f1000")) + std::chrono::hours(30));
    std::vector<std::string> expected;
    Tree sent;
    for (int i = 1; i < 300; i += 3) {
        const std::string name = "f" + std::to_string(1000 + i);
        WriteFile(Data(name), "v2 " + std::to_string(i));
        expected.push_back(Data(name) + " has changed");
        sent[name] = "v2 " + std::to_string(i);
    }
    outcome = Run();
    EXPECT_EQ(outcome.filesSent, 100);
    EXPECT_EQ(Changed(), expected);
    EXPECT_EQ(Landed(*server, Data()), sent);
    EXPECT_EQ(Records(), 300);
}

// Four jobs of one folder, each to its own server: each sends the shared file (a record is the job's own),
// and only "YES" in capitals takes the sub-folder along.
TEST_F(SyncRunTest, OnlyYesInCapitalsIncludesTheSubFoldersAndEachJobOfAFileSendsIt) {
    WriteFile(Data("own.txt"), "own");
    WriteFile(Data("sub/below.txt"), "below");
    std::vector<std::unique_ptr<FtpServer>> servers;
    for (const std::string subDirs : {"YES", "yes", "NO", ""}) {
        servers.push_back(Server("srv-" + subDirs, {.logCommands = true}));
        AddJob(Data(), AddProfile(servers.back()->port()), subDirs);
    }
    EXPECT_EQ(Run().filesSent, 5);
    EXPECT_EQ(Landed(*servers[0], Data()), (Tree{{"own.txt", "own"}, {"sub/below.txt", "below"}}));
    for (int i : {1, 2, 3}) EXPECT_EQ(Landed(*servers[i], Data()), (Tree{{"own.txt", "own"}})) << i;
    // The sub-folder, in a folder the run made, goes by its MKD alone.
    std::vector<std::string> sub;
    std::ranges::copy_if(servers[0]->commands(), std::back_inserter(sub), [](auto& c) { return c.ends_with("/sub"); });
    EXPECT_EQ(sub, std::vector<std::string>{std::string("MKD ") + kRemoteDir + Data() + "/sub"});
    const std::string single = "Updated: 1 Single Folder";
    EXPECT_EQ(log.Matching("Updated: "), (std::vector<std::string>{"Updated: 2 Folders", single, single, single}));
    EXPECT_EQ(Run().filesSent, 0);
}

// Each job that cannot connect or read its folder says why, in turn, and is closed like any other.
TEST_F(SyncRunTest, ARefusedLoginAMissingFolderOrProfilePassesTheJobOver) {
    WriteFile(Data("a.txt"), "a");
    auto server = Server("srv");
    const auto good = AddProfile(server->port());
    AddJob(Data(), AddProfile(server->port(), "Wr0ng-Pa55"));
    AddJob(Data(), AddProfile(server->port(), "secret", "/nowhere"));
    AddJob(dir / "missing", good);
    const auto orphan = AddJob(Data(), 99);
    store::StoreConnection().Execute("insert into Tessary (Folder, SettingsID) values ('/y', NULL)");
    const auto unset = store::StoreConnection().LastInsertId();
    AddJob(Data(), good);
    const auto outcome = Run();
    EXPECT_TRUE(outcome.completed);
    EXPECT_FALSE(outcome.clean);
    EXPECT_EQ(Landed(*server, Data()), (Tree{{"a.txt", "a"}}));
    const std::string refused = " error code: 12003 Message: The server refused the request.";
    const std::string failed = "FTP Info: Server Login Failed.";
    EXPECT_EQ(log.Lines(), (std::vector<std::string>{
                               "User initiated Sync", "FTP Info: InternetConnect" + refused,
                               "Extended Info: 530 Authentication failed.", failed, kDisconnected,
                               "FTP Info: FtpSetCurrentDirectory" + refused,
                               "Extended Info: 550 No such file or directory.", failed, kDisconnected,
                               "FTP Info: Directory is changed to /backup",
                               dir / "missing" + " could not be read: No such file or directory", kDisconnected,
                               "FTP Info: Server profile 99 of folder job " + std::to_string(orphan) +
                                   " is not in the store.",
                               failed, kDisconnected,
                               "FTP Info: Folder job " + std::to_string(unset) + " names no server profile.", failed,
                               kDisconnected, "FTP Info: Directory is changed to /backup",
                               Data("a.txt") + " has changed", "FTP Info: DoneDir", "FTP Info: File transfered!",
                               "Updated: 1 Folders", kDisconnected, "All Sync's Complete"}));
}

// The folder list deletes the job (and its records) while the check is at
// its third file: no file it comes to after that is sent, whatever the first
// two are doing, and the next job goes in full.
TEST_F(SyncRunTest, AJobDeletedDuringItsRunStopsAtItsNextFile) {
    for (const char* name : {"a.txt", "b.txt", "c.txt", "d.txt", "e.txt", "f.txt"}) WriteFile(Data(name), name);
    auto server = Server("srv");
    const auto profile = AddProfile(server->port());
    const auto doomed = AddJob(Data(), profile);
    const auto kept = AddJob(Data(), profile);
    std::atomic<int> startedAfter = 0;
    observer.currentFile = [&](const std::string& name) {
        if (CurrentSyncID == doomed && name == "c.txt") store::DeleteJobWithRecords(store::StoreConnection(), doomed);
    };
    hooks.beforeUpload = [&](const std::string& path) {
        if (CurrentSyncID == doomed && path < Data("c.txt")) return;
        if (CurrentSyncID == doomed) ++startedAfter;
    };
    EXPECT_TRUE(Run().completed);
    EXPECT_EQ(startedAfter, 0);
    EXPECT_EQ(log.Matching("was deleted"), std::vector<std::string>{"FTP Info: Folder job " + std::to_string(doomed) +
                                                                    " was deleted; the rest of it is passed over."})
        << testing::PrintToString(log.Lines());
    EXPECT_EQ(Records("SyncID = " + std::to_string(doomed)), 0);
    EXPECT_EQ(Records("SyncID = " + std::to_string(kept)), 6);
    EXPECT_EQ(std::ranges::count(log.Lines(), kDisconnected), 2) << "each job's connections closed at its end";
}

// A copy deleted and one cut short on the server are named and sent again by a verifying run (an ordinary
// one trusts its records: the later runs' test); the next finds nothing; the manifest checks out with md5sum.
TEST_F(SyncRunTest, AVerifyingRunSendsAgainWhatTheServerLost) {
    for (const char* name : {"a.txt", "b.txt", "c.txt"}) WriteFile(Data(name), std::string(name) + " content");
    auto server = ServeData();
    ASSERT_TRUE(Run().clean);
    const std::string remote = server->root() + kRemoteDir + Data();
    fs::remove(remote + "/a.txt");
    WriteFile(remote + "/b.txt", "b.");
    EXPECT_TRUE(Run(true).clean);
    EXPECT_EQ(log.Matching("on the server"), (std::vector<std::string>{Data("a.txt") + " is missing on the server",
                                                                         Data("b.txt") + " differs on the server"}));
    EXPECT_EQ(Changed().size(), 2u);
    EXPECT_EQ(Landed(*server, Data()), ReadTree(Data()));
    EXPECT_TRUE(Run(true).clean);
    EXPECT_TRUE(log.Matching("on the server").empty());
    EXPECT_EQ(std::system(("cd '" + remote + "' && md5sum --quiet -c " + syncrun::kManifestName).c_str()), 0);
}

}  // namespace

// Whole sync runs against real FTP servers on 127.0.0.1: what reaches the
// server, the status lines in order, and how the run copes with refused
// logins and uploads, missing folders, a second run, a deleted job, a
// failing store and a killed process.

#include "ftp/modFTP.h"
#include "hash/FileHasher.h"
#include "store/Store.h"
#include "sync/FtpUploader.h"
#include "sync/SyncRun.h"
#include "tests/support/Fixtures.h"
#include "tests/support/FtpServer.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <thread>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

using namespace testsupport;
namespace fs = std::filesystem;

namespace {

constexpr const char* kRemoteDir = "/backup";
const std::string kDisconnected = "FTP Info: I have disconnected from the server.";

// The run's uploader, with a hook that runs before each upload.
class HookedUploader : public syncrun::FtpUploader {
public:
    using FtpUploader::FtpUploader;
    bool Upload(std::FILE* file, const std::string& path, const std::string& name, const std::string& folder,
                ftp::ReadTap* tap, bool replacing) override {
        if (beforeUpload) beforeUpload(path);
        return FtpUploader::Upload(file, path, name, folder, tap, replacing);
    }
    void Close() override {
        FtpUploader::Close();
        if (afterClose) afterClose();
    }
    std::function<void(const std::string&)> beforeUpload;
    std::function<void()> afterClose;
};

class SyncRunTest : public ::testing::Test {
protected:
    void SetUp() override {
        MakeStore(dir.path());
        OpenStoreIn(dir.path());
        fs::create_directories(Data());
    }
    void TearDown() override { ASSERT_FALSE(syncrun::IsRunning()); }

    std::string Data(const std::string& rel = {}) const { return rel.empty() ? dir / "data" : dir / ("data/" + rel); }
    std::unique_ptr<FtpServer> Server(const std::string& name, FtpServer::Options options = {}) {
        fs::create_directories(dir / (name + kRemoteDir));
        return std::make_unique<FtpServer>(dir / name, std::move(options));
    }
    static Tree Landed(const FtpServer& server, const std::string& local) {
        return ReadTree(server.root() + kRemoteDir + local);
    }
    syncrun::RunOutcome Run() {
        log.Clear();
        const auto outcome = syncrun::RunSync(observer, uploader);
        EXPECT_EQ(CurrentSyncID, 0);
        EXPECT_FALSE(uploader.IsConnected());
        return outcome;
    }
    std::vector<std::string> Changed() const { return log.Matching(" has changed"); }
    static std::int64_t Records(const std::string& where = "1 = 1") {
        return store::StoreConnection().Execute("select count(*) as n from myFiles where " + where).FieldInt("n");
    }

    TempDir dir;
    LineRecorder log;
    syncrun::RunObserver observer;
    HookedUploader uploader{observer};
};

TEST_F(SyncRunTest, FirstRunMirrorsTheTreeByteForByteInListingOrder) {
    std::string allBytes;
    for (int i = 0; i < 256; ++i) allBytes += static_cast<char>(i);
    // In listing order: each folder's files, then the folders below it.
    const std::vector<std::pair<std::string, std::string>> files{
        {"#hash.txt", "hash"}, {"100%.txt", "percent"}, {"a.txt", "hello\n"},
        {"bin.dat", std::string("\r\n\0\r\0\n", 6) + allBytes}, {"empty.bin", ""}, {"it's.txt", "apostrophe"},
        {"name with blanks.txt", "blanks"}, {"under_score.txt", "underscore"}, {"Ärger ß.txt", "umlaut"},
        {"sp ace's dir/x%_#.txt", "mixed"}, {"sub/one.txt", "one"}, {"sub/deeper dir/two.txt", "two"}};
    for (const auto& [name, content] : files) WriteFile(Data(name), content);
    WriteFile(Data(".hidden"), "never sent");
    auto server = Server("srv");
    AddJob(Data(), AddProfile(server->port()));
    const auto outcome = Run();
    EXPECT_TRUE(outcome.clean);
    EXPECT_EQ(outcome.filesSent, 12);
    EXPECT_EQ(Landed(*server, Data()), ReadTree(Data(), true));

    std::vector<std::string> expected{"User initiated Sync", "FTP Info: Directory is changed to /backup"};
    std::string folder = "none";
    for (const auto& [name, content] : files) {
        expected.push_back(Data(name) + " has changed");
        if (fs::path(name).parent_path() != folder) expected.push_back("FTP Info: DoneDir");
        folder = fs::path(name).parent_path();
        expected.push_back("FTP Info: File transfered!");
    }
    expected.insert(expected.end(), {"Updated: 4 Folders", kDisconnected, "All Sync's Complete"});
    EXPECT_EQ(log.Lines(), expected);
    // Each record holds the digest of the bytes that went out.
    EXPECT_EQ(store::StoreConnection()
                  .Execute("select FileHash from myFiles where FullPath = " + store::Quoted(Data("bin.dat")))
                  .Fields("FileHash"),
              hash::HashFile(Data("bin.dat")));
}

TEST_F(SyncRunTest, LaterRunsSendWhatChangedInContentInListingOrder) {
    // Enough files with records that the workers hash well ahead of the check.
    for (int i = 0; i < 300; ++i) WriteFile(Data("f" + std::to_string(1000 + i)), "v1 " + std::to_string(i));
    auto server = Server("srv");
    AddJob(Data(), AddProfile(server->port()));
    ASSERT_TRUE(Run().clean);
    fs::remove_all(server->root() + kRemoteDir);
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

TEST_F(SyncRunTest, OnlyYesInCapitalsIncludesTheSubFolders) {
    WriteFile(Data("own.txt"), "own");
    WriteFile(Data("sub/below.txt"), "below");
    for (const std::string subDirs : {"YES", "yes", "NO", ""}) {
        store::StoreConnection().Execute("delete from Tessary");
        store::StoreConnection().Execute("delete from myFiles");
        auto server = Server("srv-" + subDirs);
        AddJob(Data(), AddProfile(server->port()), subDirs);
        EXPECT_TRUE(Run().clean) << subDirs;
        Tree expected{{"own.txt", "own"}};
        if (subDirs == "YES") expected["sub/below.txt"] = "below";
        EXPECT_EQ(Landed(*server, Data()), expected) << subDirs;
        EXPECT_EQ(log.Matching("Updated: "),
                  std::vector<std::string>{subDirs == "YES" ? "Updated: 2 Folders" : "Updated: 1 Single Folder"});
    }
}

TEST_F(SyncRunTest, ARefusedUploadIsSentByTheNextRunAndTheOthersKeepTheirRecords) {
    for (const char* name : {"a.txt", "b-bad.txt", "c.txt"}) WriteFile(Data(name), name);
    FtpServer::Options refusing;
    refusing.refuseStor = "bad";
    auto server = Server("srv", refusing);
    const auto profile = AddProfile(server->port());
    AddJob(Data(), profile);

    auto outcome = Run();
    EXPECT_TRUE(outcome.completed);
    EXPECT_FALSE(outcome.clean);
    EXPECT_EQ(log.Matching("FTP Info: FtpPutFile error code: 12003").size(), 1u);
    EXPECT_EQ(Records(), 2);

    server.reset();
    auto again = Server("srv2");
    store::StoreConnection().Execute("update mySettings set FTPPort = '" + std::to_string(again->port()) + "'");
    outcome = Run();
    EXPECT_TRUE(outcome.clean);
    EXPECT_EQ(Changed(), (std::vector<std::string>{Data("b-bad.txt") + " has changed"}));
    EXPECT_EQ(Landed(*again, Data()), (Tree{{"b-bad.txt", "b-bad.txt"}}));
}

TEST_F(SyncRunTest, AServerThatStopsAnsweringCostsOneRetryAJobNotAWaitAFile) {
    for (const char* name : {"a.txt", "b.txt", "c.txt"}) WriteFile(Data(name), name);
    ftp::SetTimeoutsForTesting({std::chrono::milliseconds(2000), std::chrono::milliseconds(1000),
                                std::chrono::milliseconds(1000)});
    FtpServer::Options silent;
    silent.silentOn = "STOR";
    auto dead = Server("dead", silent);
    auto alive = Server("alive");
    AddJob(Data(), AddProfile(dead->port()));
    AddJob(Data(), AddProfile(alive->port()));
    const auto outcome = Run();
    ftp::SetTimeoutsForTesting({});
    EXPECT_TRUE(outcome.completed);
    EXPECT_FALSE(outcome.clean);
    EXPECT_EQ(log.Matching("FTP Info: FtpPutFile error code: 12002").size(), 2u);
    EXPECT_TRUE(log.Has("FTP Info: The server does not answer; the rest of this job is passed over."));
    EXPECT_EQ(Changed().size(), 1u + 3u);  // the dead job's first file, then the next job's three
    EXPECT_EQ(Landed(*alive, Data()).size(), 3u);
    EXPECT_EQ(Records(), 3);
}

TEST_F(SyncRunTest, AServerThatDropsTheIdleConnectionGetsALoginAgainAndEveryFile) {
    for (const char* name : {"a.txt", "b.txt", "c.txt"}) WriteFile(Data(name), name);
    auto server = Server("srv", {.dropAfterStor = true});
    AddJob(Data(), AddProfile(server->port()));
    ftp::SetTimeoutsForTesting({std::chrono::milliseconds(2000), std::chrono::milliseconds(2000),
                                std::chrono::milliseconds(2000)});
    const auto outcome = Run();
    ftp::SetTimeoutsForTesting({});
    EXPECT_TRUE(outcome.clean);
    EXPECT_TRUE(log.Matching("error code: 12002").empty());  // no file waited out a timeout
    EXPECT_EQ(Landed(*server, Data()).size(), 3u);
    EXPECT_GE(server->logins(), 3);
}

TEST_F(SyncRunTest, AReplacementCutOffMidwayLeavesTheOldCopyWholeAndGoesAgainNextRun) {
    const std::string v1(3 << 20, '1'), v2(3 << 20, '2');
    WriteFile(Data("big.bin"), v1);
    auto server = Server("srv");
    const auto profile = AddProfile(server->port());
    AddJob(Data(), profile);
    ASSERT_TRUE(Run().clean);
    const auto usePort = [&](int port) {
        store::StoreConnection().Execute("update mySettings set FTPPort = '" + std::to_string(port) + "'");
    };
    WriteFile(Data("big.bin"), v2);
    server.reset();
    FtpServer::Options stalling;
    stalling.stallData = true;
    server = Server("srv", stalling);
    usePort(server->port());
    ftp::SetTimeoutsForTesting({std::chrono::milliseconds(2000), std::chrono::milliseconds(1000),
                                std::chrono::milliseconds(1000)});
    EXPECT_FALSE(Run().clean);
    ftp::SetTimeoutsForTesting({});
    EXPECT_EQ(Landed(*server, Data()).at("big.bin"), v1);

    server.reset();
    server = Server("srv");
    usePort(server->port());
    EXPECT_TRUE(Run().clean);
    EXPECT_EQ(Landed(*server, Data()), ReadTree(Data()));  // the new copy, and no temporary file left
}

TEST_F(SyncRunTest, NamesWithTabsAndOtherControlBytesAreSentUnderTheirOwnNames) {
    const Tree tree{{"tab\tdir/a\tb.txt", "tab"}, {"bell\a.txt", "bell"}, {"esc\x1b[1m.txt", "esc"}};
    for (const auto& [name, content] : tree) WriteFile(Data(name), content);
    auto server = Server("srv");
    AddJob(Data(), AddProfile(server->port()));
    EXPECT_TRUE(Run().clean);
    EXPECT_EQ(Landed(*server, Data()), tree);
    EXPECT_TRUE(log.Has(Data("tab\\tdir/a\\tb.txt") + " has changed")) << log.Matching("has changed")[0];
}

TEST_F(SyncRunTest, TwoJobsCoveringOneFileSendItToBothServers) {
    WriteFile(Data("shared.txt"), "shared");
    auto first = Server("srv1");
    auto second = Server("srv2");
    AddJob(Data(), AddProfile(first->port()));
    AddJob(Data(), AddProfile(second->port()), "NO");
    EXPECT_EQ(Run().filesSent, 2);
    EXPECT_EQ(Landed(*first, Data()), (Tree{{"shared.txt", "shared"}}));
    EXPECT_EQ(Landed(*second, Data()), (Tree{{"shared.txt", "shared"}}));
    EXPECT_EQ(Run().filesSent, 0);
}

TEST_F(SyncRunTest, ARefusedLoginAMissingFolderOrProfilePassesTheJobOver) {
    WriteFile(Data("a.txt"), "a");
    auto server = Server("srv");
    const auto good = AddProfile(server->port());
    AddJob(Data(), AddProfile(server->port(), "wrong"));
    AddJob(dir / "missing", good);
    const auto orphan = AddJob(Data(), 99);
    AddJob(Data(), good);
    const auto outcome = Run();
    EXPECT_TRUE(outcome.completed);
    EXPECT_FALSE(outcome.clean);
    EXPECT_EQ(Landed(*server, Data()), (Tree{{"a.txt", "a"}}));
    // Each job in turn, each closed like any other.
    std::vector<std::string> lines;
    for (const auto& l : log.Lines())
        if (!l.starts_with("FTP Info: InternetConnect") && !l.starts_with("Extended Info:")) lines.push_back(l);
    EXPECT_EQ(lines, (std::vector<std::string>{
                         "User initiated Sync", "FTP Info: Server Login Failed.", kDisconnected,
                         "FTP Info: Directory is changed to /backup",
                         dir / "missing" + " could not be read: No such file or directory", kDisconnected,
                         "FTP Info: Server profile 99 of folder job " + std::to_string(orphan) + " is not in the store.",
                         "FTP Info: Server Login Failed.", kDisconnected, "FTP Info: Directory is changed to /backup",
                         Data("a.txt") + " has changed", "FTP Info: DoneDir", "FTP Info: File transfered!",
                         "Updated: 1 Folders", kDisconnected, "All Sync's Complete"}));
}

TEST_F(SyncRunTest, ASecondRunDuringARunIsRefused) {
    WriteFile(Data("a.txt"), "a");
    WriteFile(Data("b.txt"), "b");
    auto server = Server("srv");
    AddJob(Data(), AddProfile(server->port()));
    std::optional<syncrun::RunOutcome> nested;
    uploader.beforeUpload = [&](const std::string&) {
        if (nested) return;
        EXPECT_TRUE(syncrun::IsRunning());
        syncrun::RunObserver other;
        syncrun::FtpUploader otherUploader(other);
        nested = syncrun::RunSync(other, otherUploader);
    };
    const auto outcome = Run();
    ASSERT_TRUE(nested);
    EXPECT_FALSE(nested->completed);
    EXPECT_TRUE(outcome.clean);
    EXPECT_EQ(outcome.filesSent, 2);
    EXPECT_TRUE(log.Has("A sync is already running."));
    EXPECT_EQ(log.Matching("User initiated Sync").size(), 1u);
}

TEST_F(SyncRunTest, AJobDeletedDuringItsRunLeavesNoRecords) {
    WriteFile(Data("a.txt"), "a");
    WriteFile(Data("b.txt"), "b");
    auto server = Server("srv");
    const auto profile = AddProfile(server->port());
    const auto doomed = AddJob(Data(), profile);
    const auto kept = AddJob(Data(), profile);
    // The folder list deletes the job (and its records) on the GUI thread;
    // it gets the store once the run's batch is committed.
    std::thread deleter;
    uploader.beforeUpload = [&](const std::string&) {
        if (CurrentSyncID != doomed || deleter.joinable()) return;
        deleter = std::thread([&] {
            store::StoreConnection().Execute("delete from Tessary where SyncID = " + std::to_string(doomed));
            store::StoreConnection().Execute("delete from myFiles where SyncID = " + std::to_string(doomed));
        });
    };
    uploader.afterClose = [&] {
        if (deleter.joinable()) deleter.join();
    };
    EXPECT_TRUE(Run().completed);
    EXPECT_EQ(Records("SyncID = " + std::to_string(doomed)), 0);
    EXPECT_EQ(Records("SyncID = " + std::to_string(kept)), 2);
}

TEST_F(SyncRunTest, AStoreFailureStopsTheRunWithTheStoresMessage) {
    WriteFile(Data("a.txt"), "a");
    auto server = Server("srv");
    const auto profile = AddProfile(server->port());
    AddJob(Data(), profile);
    AddJob(Data(), profile);
    std::thread dropper;
    uploader.beforeUpload = [&](const std::string&) {
        if (!dropper.joinable())
            dropper = std::thread([] { store::StoreConnection().Execute("drop table myFiles"); });
    };
    uploader.afterClose = [&] {
        if (dropper.joinable()) dropper.join();
    };
    const auto outcome = Run();
    EXPECT_FALSE(outcome.completed);
    EXPECT_EQ(log.Lines(), (std::vector<std::string>{
                               "User initiated Sync", "FTP Info: Directory is changed to /backup",
                               Data("a.txt") + " has changed", "FTP Info: DoneDir", "FTP Info: File transfered!",
                               "Updated: 1 Folders", kDisconnected, "FTP Info: Directory is changed to /backup",
                               "Sync stopped: no such table: myFiles", kDisconnected}));
}

// The built program, copied with its store into a folder of its own, run
// unattended: its log on standard output and its exit status.
class UnattendedRun : public SyncRunTest {
protected:
    ProgramResult RunTessary(const std::function<bool(const std::string&)>& killWhen = {}) {
        const std::string app = dir / "app";
        fs::create_directories(app);
        fs::copy_file(TESSARY_EXE, app + "/tessary", fs::copy_options::skip_existing);
        store::StoreConnection().Close();
        if (!fs::exists(app + "/information.mdb")) fs::copy_file(dir / "information.mdb", app + "/information.mdb");
        const auto r = RunProgram(app + "/tessary", {"/SYNC"}, {"QT_QPA_PLATFORM=offscreen", "LANG=C.UTF-8"},
                                  std::chrono::seconds(120), killWhen);
        OpenStoreIn(app);
        return r;
    }
};

TEST_F(UnattendedRun, ASecondRunOnTheSameStoreRefusesWithALine) {
    WriteFile(Data("a.txt"), "a");
    auto server = Server("srv");
    AddJob(Data(), AddProfile(server->port()));
    RunTessary();  // lays out the program's folder
    // The first run holds its store for as long as it works.
    const int held = ::open((dir / "app/information.mdb").c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_EQ(::flock(held, LOCK_EX), 0);
    WriteFile(Data("b.txt"), "b");
    const auto r = RunTessary();
    ::close(held);
    EXPECT_EQ(r.status, 1) << r.out;
    EXPECT_NE(r.out.find("User initiated Sync\nA sync is already running.\n"), std::string::npos) << r.out;
    EXPECT_EQ(Records(), 1);
}

TEST_F(UnattendedRun, AKilledRunLosesAtMostItsLastBatchAndTheNextRunCompletesTheServer) {
    for (int i = 0; i < 400; ++i) WriteFile(Data("d" + std::to_string(i % 4) + "/f" + std::to_string(i)), "x" + std::to_string(i));
    auto server = Server("srv");
    AddJob(Data(), AddProfile(server->port()));
    const auto killed = RunTessary([](const std::string& out) {
        std::size_t sent = 0;
        for (std::size_t at = 0; (at = out.find("File transfered!", at)) != std::string::npos; ++at) ++sent;
        return sent >= 150;
    });
    EXPECT_EQ(killed.status, -1);
    EXPECT_EQ(store::StoreConnection().Execute("pragma integrity_check").Fields("integrity_check"), "ok");
    // A record only ever follows its upload: whatever the store kept is on
    // the server as it is here.
    const Tree landed = Landed(*server, Data());
    for (store::Recordset rs = store::StoreConnection().Execute("select FullPath from myFiles"); !rs.Eof();
         rs.MoveNext()) {
        const std::string rel = rs.Fields("FullPath").substr(Data().size() + 1);
        ASSERT_TRUE(landed.count(rel)) << rel;
        EXPECT_EQ(landed.at(rel), ReadTree(Data()).at(rel));
    }

    const auto rerun = RunTessary();
    EXPECT_EQ(rerun.status, 0) << rerun.out;
    EXPECT_EQ(Landed(*server, Data()), ReadTree(Data()));
    EXPECT_EQ(Records(), 400);
}

}  // namespace

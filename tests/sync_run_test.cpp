// Whole sync runs against real FTP servers on 127.0.0.1: what reaches the
// server, the status lines in order, and how the run copes with refused
// logins and uploads, missing folders, a second run and a failing store.
// The last group runs the built program unattended with /SYNC.

#include "ftp/UploadSession.h"
#include "ftp/modFTP.h"
#include "store/Store.h"
#include "sync/SyncRun.h"
#include "tests/support/FtpServer.h"
#include "tests/support/TempDir.h"
#include "tests/sync_support.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <map>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

using synctest::LineRecorder;
using testsupport::FtpServer;
using testsupport::TempDir;
using testsupport::WriteFile;

namespace fs = std::filesystem;

namespace {

constexpr const char* kRemoteDir = "/backup";

using Tree = std::map<std::string, std::string>;  // relative path -> content

// Every regular file below base, links not followed.
Tree ReadTree(const std::string& base, bool skipHidden = false) {
    Tree tree;
    if (!fs::exists(base)) return tree;
    for (const auto& e : fs::recursive_directory_iterator(base)) {
        if (!e.is_regular_file() || e.is_symlink()) continue;
        if (skipHidden && e.path().filename().string().front() == '.') continue;
        tree[fs::relative(e.path(), base).string()] = testsupport::ReadFile(e.path().string());
    }
    return tree;
}

std::vector<std::string> Matching(const std::vector<std::string>& lines, const std::string& part) {
    std::vector<std::string> out;
    for (const auto& l : lines)
        if (l.find(part) != std::string::npos) out.push_back(l);
    return out;
}

// A store with profiles and jobs in a temporary folder, the folder the jobs
// back up, and servers that land their uploads in folders beside it.
class SyncRunTest : public ::testing::Test {
protected:
    void SetUp() override {
        testsupport::MakeStore(dir.path());
        testsupport::OpenStoreIn(dir.path());
        fs::create_directories(Data());
    }
    void TearDown() override { ASSERT_FALSE(syncrun::IsRunning()); }

    std::string Data(const std::string& rel = {}) const { return rel.empty() ? dir / "data" : dir / ("data/" + rel); }

    // A server whose root holds the profile's remote directory.
    std::unique_ptr<FtpServer> Server(const std::string& name, FtpServer::Options options = {}) {
        fs::create_directories(dir / (name + kRemoteDir));
        return std::make_unique<FtpServer>(dir / name, std::move(options));
    }
    // Where a local path lands on a server.
    static std::string Landed(const FtpServer& server, const std::string& localPath) {
        return server.root() + kRemoteDir + localPath;
    }
    std::int64_t AddProfile(int port, const std::string& password = "secret") {
        auto& c = store::StoreConnection();
        c.Execute("insert into mySettings (FTPServer, FTPPort, FTPUser, FTPPassword, FTPDirectory, FTPNotes) "
                  "values('127.0.0.1', '" + std::to_string(port) + "', 'tessary', " + store::Quoted(password) +
                  ", '" + kRemoteDir + "', '')");
        return c.LastInsertId();
    }
    std::int64_t AddJob(const std::string& folder, std::int64_t profile, const std::string& subDirs = "YES") {
        auto& c = store::StoreConnection();
        c.Execute("insert into Tessary (Folder, SettingsID, SubDirs) values(" + store::Quoted(folder) + ", '" +
                  std::to_string(profile) + "', " + store::Quoted(subDirs) + ")");
        return c.LastInsertId();
    }
    void SetPort(std::int64_t profile, int port) {
        store::StoreConnection().Execute("update mySettings set FTPPort = '" + std::to_string(port) +
                                         "' where SettingsID = " + std::to_string(profile));
    }
    syncrun::RunOutcome Run() {
        log.lines.clear();
        const auto outcome = syncrun::RunSync([] { return std::make_unique<UploadSession>(); });
        EXPECT_EQ(CurrentSyncID, 0);
        EXPECT_EQ(ftp::FtpConnection, nullptr);
        return outcome;
    }

    TempDir dir;
    LineRecorder log;
};

TEST_F(SyncRunTest, FirstRunMirrorsTheTreeByteForByte) {
    std::string allBytes;
    for (int i = 0; i < 256; ++i) allBytes += static_cast<char>(i);
    const std::vector<std::pair<std::string, std::vector<std::pair<std::string, std::string>>>> folders{
        {"",
         {{"#hash.txt", "hash"},
          {"100%.txt", "percent"},
          {"a.txt", "hello\n"},
          {"bin.dat", std::string("\r\n\0\r\0\n", 6) + allBytes},
          {"empty.bin", ""},
          {"it's.txt", "apostrophe"},
          {"name with blanks.txt", "blanks"},
          {"under_score.txt", "underscore"},
          {"Ärger ß.txt", "umlaut"}}},
        {"sp ace's dir", {{"x%_#.txt", "mixed"}}},
        {"sub", {{"one.txt", "one"}}},
        {"sub/deeper dir", {{"two.txt", "two"}}},
    };
    for (const auto& [folder, files] : folders)
        for (const auto& [name, content] : files) WriteFile(Data(folder.empty() ? name : folder + "/" + name), content);
    WriteFile(Data(".hidden"), "never sent");

    auto server = Server("srv");
    AddJob(Data(), AddProfile(server->port()));
    const auto outcome = Run();
    EXPECT_TRUE(outcome.completed);
    EXPECT_TRUE(outcome.clean);
    EXPECT_EQ(outcome.filesSent, 12);

    EXPECT_EQ(ReadTree(Landed(*server, Data())), ReadTree(Data(), true));
    EXPECT_FALSE(fs::exists(Landed(*server, Data(".hidden"))));

    std::vector<std::string> expected{"User initiated Sync", "FTP Info: Directory is changed to /backup"};
    for (const auto& [folder, files] : folders) {
        bool first = true;
        for (const auto& [name, content] : files) {
            expected.push_back(Data(folder.empty() ? name : folder + "/" + name) + " has changed");
            if (first) expected.push_back("FTP Info: DoneDir");
            expected.push_back("FTP Info: File transfered!");
            first = false;
        }
    }
    expected.insert(expected.end(), {"Updated: 4 Folders", "FTP Info: I have disconnected from the server.",
                                     "All Sync's Complete"});
    EXPECT_EQ(log.lines, expected);
}

TEST_F(SyncRunTest, LaterRunsSendOnlyWhatChangedInContent) {
    WriteFile(Data("a.txt"), "a");
    WriteFile(Data("b.txt"), "b");
    WriteFile(Data("sub/c.txt"), "c");
    auto server = Server("srv");
    AddJob(Data(), AddProfile(server->port()));
    ASSERT_TRUE(Run().clean);

    // Whatever is sent from now on shows on an emptied server.
    const auto emptyServer = [&] {
        fs::remove_all(server->root() + kRemoteDir);
        fs::create_directories(server->root() + kRemoteDir);
    };

    emptyServer();
    auto outcome = Run();
    EXPECT_TRUE(outcome.clean);
    EXPECT_EQ(outcome.filesSent, 0);
    EXPECT_TRUE(Matching(log.lines, " has changed").empty());
    EXPECT_EQ(log.lines, (std::vector<std::string>{"User initiated Sync", "FTP Info: Directory is changed to /backup",
                                                   "Updated: 2 Folders",
                                                   "FTP Info: I have disconnected from the server.",
                                                   "All Sync's Complete"}));
    EXPECT_TRUE(ReadTree(server->root()).empty());

    // A newer date with the same content is nothing new.
    fs::last_write_time(Data("a.txt"), fs::last_write_time(Data("a.txt")) + std::chrono::hours(30));
    outcome = Run();
    EXPECT_EQ(outcome.filesSent, 0);
    EXPECT_TRUE(ReadTree(server->root()).empty());

    // New content: exactly that file goes again.
    WriteFile(Data("sub/c.txt"), "c, changed");
    outcome = Run();
    EXPECT_EQ(outcome.filesSent, 1);
    EXPECT_EQ(Matching(log.lines, " has changed"), (std::vector<std::string>{Data("sub/c.txt") + " has changed"}));
    EXPECT_EQ(ReadTree(server->root() + kRemoteDir), (Tree{{Data("sub/c.txt").substr(1), "c, changed"}}));
}

TEST_F(SyncRunTest, OnlyYesInCapitalsIncludesTheSubFolders) {
    WriteFile(Data("own.txt"), "own");
    WriteFile(Data("sub/below.txt"), "below");
    struct Case { std::string subDirs; bool tree; };
    const Case cases[] = {{"YES", true}, {"yes", false}, {"Yes", false}, {"NO", false}, {"", false}};
    for (const auto& c : cases) {
        store::StoreConnection().Execute("delete from Tessary");
        store::StoreConnection().Execute("delete from myFiles");
        auto server = Server("srv-" + c.subDirs);
        AddJob(Data(), AddProfile(server->port()), c.subDirs);
        const auto outcome = Run();
        EXPECT_TRUE(outcome.clean) << c.subDirs;
        Tree expected{{"own.txt", "own"}};
        if (c.tree) expected["sub/below.txt"] = "below";
        EXPECT_EQ(ReadTree(Landed(*server, Data())), expected) << c.subDirs;
        const std::string updated = c.tree ? "Updated: 2 Folders" : "Updated: 1 Single Folder";
        EXPECT_EQ(Matching(log.lines, "Updated: "), std::vector<std::string>{updated}) << c.subDirs;
    }
}

TEST_F(SyncRunTest, ARefusedUploadIsReportedAndSentByTheNextRun) {
    WriteFile(Data("bad.txt"), "bad");
    WriteFile(Data("good.txt"), "good");
    FtpServer::Options refusing;
    refusing.refuseStor = "bad";
    auto server = Server("srv", refusing);
    const auto profile = AddProfile(server->port());
    AddJob(Data(), profile);

    auto outcome = Run();
    EXPECT_TRUE(outcome.completed);
    EXPECT_FALSE(outcome.clean);
    EXPECT_EQ(outcome.filesSent, 1);
    const auto refused = Matching(log.lines, "FTP Info: FtpPutFile error code: 12003");
    EXPECT_EQ(refused.size(), 1u);
    EXPECT_EQ(ReadTree(Landed(*server, Data())), (Tree{{"good.txt", "good"}}));

    // The same folder served without the refusal.
    server.reset();
    auto again = Server("srv");
    SetPort(profile, again->port());
    outcome = Run();
    EXPECT_TRUE(outcome.clean);
    EXPECT_EQ(Matching(log.lines, " has changed"), (std::vector<std::string>{Data("bad.txt") + " has changed"}));
    EXPECT_EQ(ReadTree(Landed(*again, Data())), (Tree{{"bad.txt", "bad"}, {"good.txt", "good"}}));
}

TEST_F(SyncRunTest, TwoJobsCoveringOneFileSendItToBothServers) {
    WriteFile(Data("shared.txt"), "shared");
    auto first = Server("srv1");
    auto second = Server("srv2");
    AddJob(Data(), AddProfile(first->port()));
    AddJob(Data(), AddProfile(second->port()), "NO");
    const auto outcome = Run();
    EXPECT_TRUE(outcome.clean);
    EXPECT_EQ(outcome.filesSent, 2);
    EXPECT_EQ(ReadTree(Landed(*first, Data())), (Tree{{"shared.txt", "shared"}}));
    EXPECT_EQ(ReadTree(Landed(*second, Data())), (Tree{{"shared.txt", "shared"}}));
    EXPECT_EQ(Run().filesSent, 0);
}

TEST_F(SyncRunTest, ARefusedLoginOrAMissingFolderPassesTheJobOver) {
    WriteFile(Data("a.txt"), "a");
    auto server = Server("srv");
    const auto good = AddProfile(server->port());
    AddJob(Data(), AddProfile(server->port(), "wrong"));
    AddJob(dir / "missing", good);
    AddJob(Data(), good);

    const auto outcome = Run();
    EXPECT_TRUE(outcome.completed);
    EXPECT_FALSE(outcome.clean);
    EXPECT_EQ(outcome.jobs, 3);
    EXPECT_EQ(ReadTree(Landed(*server, Data())), (Tree{{"a.txt", "a"}}));

    const std::string disconnected = "FTP Info: I have disconnected from the server.";
    const auto login = std::find(log.lines.begin(), log.lines.end(), "FTP Info: Server Login Failed.");
    const auto missing = std::find(log.lines.begin(), log.lines.end(),
                                   dir / "missing" + " could not be read: No such file or directory");
    const auto sent = std::find(log.lines.begin(), log.lines.end(), Data("a.txt") + " has changed");
    ASSERT_NE(login, log.lines.end());
    ASSERT_NE(missing, log.lines.end());
    ASSERT_NE(sent, log.lines.end());
    EXPECT_LT(login, missing);
    EXPECT_LT(missing, sent);
    EXPECT_EQ(*(login + 1), disconnected);
    EXPECT_EQ(*(missing + 1), disconnected);
    EXPECT_EQ(Matching(log.lines, disconnected).size(), 3u);
    EXPECT_EQ(log.lines.back(), "All Sync's Complete");
}

TEST_F(SyncRunTest, NoJobsTwoLines) {
    const auto outcome = Run();
    EXPECT_TRUE(outcome.completed);
    EXPECT_TRUE(outcome.clean);
    EXPECT_EQ(log.lines, (std::vector<std::string>{"User initiated Sync", "All Sync's Complete"}));
}

TEST_F(SyncRunTest, ASecondRunDuringARunIsRefused) {
    WriteFile(Data("a.txt"), "a");
    WriteFile(Data("b.txt"), "b");
    auto server = Server("srv");
    AddJob(Data(), AddProfile(server->port()));
    std::optional<syncrun::RunOutcome> nested;
    log.onLine = [&](const std::string& line) {
        if (!nested && line.ends_with(" has changed")) {
            EXPECT_TRUE(syncrun::IsRunning());
            nested = syncrun::RunSync([] { return std::make_unique<UploadSession>(); });
        }
    };
    const auto outcome = Run();
    ASSERT_TRUE(nested);
    EXPECT_FALSE(nested->completed);
    EXPECT_TRUE(outcome.completed);
    EXPECT_TRUE(outcome.clean);
    EXPECT_EQ(outcome.filesSent, 2);
    const auto refused = std::find(log.lines.begin(), log.lines.end(), "A sync is already running.");
    ASSERT_NE(refused, log.lines.end());
    EXPECT_EQ(*(refused - 1), Data("a.txt") + " has changed");
    EXPECT_EQ(Matching(log.lines, "User initiated Sync").size(), 1u);
    EXPECT_EQ(ReadTree(Landed(*server, Data())), (Tree{{"a.txt", "a"}, {"b.txt", "b"}}));
}

TEST_F(SyncRunTest, AJobDeletedDuringItsRunLeavesNoRecords) {
    WriteFile(Data("a.txt"), "a");
    WriteFile(Data("b.txt"), "b");
    auto server = Server("srv");
    const auto profile = AddProfile(server->port());
    const auto doomed = AddJob(Data(), profile);
    const auto kept = AddJob(Data(), profile);
    // Deleted from the folder list while the run yields inside the job.
    log.onLine = [&](const std::string& line) {
        if (line == Data("a.txt") + " has changed" && CurrentSyncID == doomed) {
            store::StoreConnection().Execute("delete from Tessary where SyncID = " + std::to_string(doomed));
            store::StoreConnection().Execute("delete from myFiles where SyncID = " + std::to_string(doomed));
        }
    };
    EXPECT_TRUE(Run().completed);
    auto count = [](std::int64_t job) {
        return store::StoreConnection()
            .Execute("select count(*) as n from myFiles where SyncID = " + std::to_string(job))
            .FieldInt("n");
    };
    EXPECT_EQ(count(doomed), 0);
    EXPECT_EQ(count(kept), 2);
}

TEST_F(SyncRunTest, AStoreFailureStopsTheRunWithTheStoresMessage) {
    WriteFile(Data("a.txt"), "a");
    WriteFile(Data("b.txt"), "b");
    auto server = Server("srv");
    const auto profile = AddProfile(server->port());
    AddJob(Data(), profile);
    AddJob(Data(), profile);
    log.onLine = [&](const std::string& line) {
        if (line == Data("a.txt") + " has changed") store::StoreConnection().Execute("drop table myFiles");
    };
    const auto outcome = Run();
    EXPECT_FALSE(outcome.completed);
    EXPECT_FALSE(outcome.clean);
    EXPECT_EQ(log.lines, (std::vector<std::string>{
                             "User initiated Sync",
                             "FTP Info: Directory is changed to /backup",
                             Data("a.txt") + " has changed",
                             "FTP Info: DoneDir",
                             "FTP Info: File transfered!",
                             "Sync stopped: no such table: myFiles",
                             "FTP Info: I have disconnected from the server.",
                         }));
    EXPECT_FALSE(syncrun::IsRunning());
}

// The built program, copied with a fresh store into a folder of its own,
// run unattended: its log on standard output and its exit status.
class UnattendedRun : public SyncRunTest {
protected:
    struct Result {
        int status = -1;
        std::string output;
    };
    Result RunProgram() {
        const std::string app = dir / "app";
        fs::create_directories(app);
        fs::copy_file(TESSARY_EXE, app + "/tessary");
        fs::copy_file(dir / "information.mdb", app + "/information.mdb");

        int out[2];
        if (::pipe2(out, O_CLOEXEC) != 0) return {};
        posix_spawn_file_actions_t fa;
        posix_spawn_file_actions_init(&fa);
        posix_spawn_file_actions_adddup2(&fa, out[1], 1);
        std::string exe = app + "/tessary", sw = "/SYNC";
        char* argv[] = {exe.data(), sw.data(), nullptr};
        std::vector<std::string> envText{"QT_QPA_PLATFORM=offscreen", "LANG=C.UTF-8"};
        std::vector<char*> env;
        for (auto& e : envText) env.push_back(e.data());
        env.push_back(nullptr);
        pid_t pid = -1;
        const int rc = posix_spawn(&pid, exe.c_str(), &fa, nullptr, argv, env.data());
        posix_spawn_file_actions_destroy(&fa);
        ::close(out[1]);
        Result r;
        if (rc != 0) {
            ::close(out[0]);
            return r;
        }
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        for (;;) {
            pollfd p{out[0], POLLIN, 0};
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0) {
                ::kill(pid, SIGKILL);
                break;
            }
            if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) continue;
            char buf[4096];
            const ssize_t n = ::read(out[0], buf, sizeof buf);
            if (n <= 0) break;
            r.output.append(buf, static_cast<std::size_t>(n));
        }
        ::close(out[0]);
        int status = 0;
        ::waitpid(pid, &status, 0);
        r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        return r;
    }
};

TEST_F(UnattendedRun, ExitsZeroWhenEverythingWasSent) {
    WriteFile(Data("a.txt"), "a");
    auto server = Server("srv");
    AddJob(Data(), AddProfile(server->port()));
    const Result r = RunProgram();
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_NE(r.output.find("User initiated Sync\n"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find(Data("a.txt") + " has changed\n"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("Updated: 1 Folders\n"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("All Sync's Complete\n"), std::string::npos) << r.output;
    EXPECT_EQ(ReadTree(Landed(*server, Data())), (Tree{{"a.txt", "a"}}));
}

TEST_F(UnattendedRun, ExitsOneWhenALoginFailed) {
    WriteFile(Data("a.txt"), "a");
    auto server = Server("srv");
    AddJob(Data(), AddProfile(server->port(), "wrong"));
    const Result r = RunProgram();
    EXPECT_EQ(r.status, 1) << r.output;
    EXPECT_NE(r.output.find("FTP Info: Server Login Failed.\n"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("All Sync's Complete\n"), std::string::npos) << r.output;
}

}  // namespace

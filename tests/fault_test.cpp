// What a backup must survive, with nothing lost: servers that refuse, stall,
// drop or restart; odd entries and names in the job's folder; a huge sparse
// file; a broken store; a second run; a process killed in the middle.

#include "base/UniqueFd.h"
#include "tests/support/RunFixture.h"

#include <sqlite3.h>

#include <algorithm>
#include <fstream>
#include <optional>
#include <thread>

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <unistd.h>

using namespace testsupport;

namespace {

class Faults : public SyncRunTest {};

bool HoldsTemporaryCopy(const std::string& folder) {
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(folder, ec))
        if (e.path().filename().string().starts_with(".tessary-")) return true;
    return false;
}

std::string IntegrityOfStore() {
    return store::StoreConnection().Execute("pragma integrity_check").Fields("integrity_check");
}

// A replacement the server stalls, cuts off or refuses (not allowed: 550; out of room: 452) leaves the old
// copy whole and its record as it was, the refusal said once; the next run sends it.
TEST_F(Faults, AReplacementThatFailsLeavesTheOldCopyWholeAndGoesAgainNextRun) {
    const std::string v1(3 << 20, '1'), v2(3 << 20, '2');
    WriteFile(Data("big/big.bin"), v1);  // its temporary copy goes up in "big" as well: refused there
    WriteFile(Data("small.txt"), "small");
    auto server = ServeData();
    ASSERT_TRUE(Run().clean);
    WriteFile(Data("big/big.bin"), v2);
    const std::pair<std::string, FtpServer::Options> cases[] = {
        {"stalled", {.stallData = true}}, {"cut off", {.dropMidStorOf = "/"}},
        {"550", {.refuseStor = "/big/", .refuseCode = "550"}}, {"452", {.refuseStor = "/big/", .refuseCode = "452"}}};
    for (const auto& [what, options] : cases) {
        SCOPED_TRACE(what);
        Replace(server, options);
        const ShortWaits waits;
        const auto outcome = Run();
        EXPECT_TRUE(outcome.completed);
        EXPECT_FALSE(outcome.clean);
        EXPECT_TRUE(Landed(*server, Data()).at("big/big.bin") == v1);
        const std::size_t refused = options.refuseStor.empty() ? 0 : 1;
        EXPECT_EQ(log.Matching("FTP Info: FtpPutFile error code: 12003").size(), refused);
        EXPECT_EQ(log.Matching(what + " Refused by the test server.").size(), refused);
    }
    Replace(server);
    EXPECT_TRUE(Run().clean);
    EXPECT_EQ(Changed(), (std::vector<std::string>{Data("big/big.bin") + " has changed"}));
    EXPECT_TRUE(Landed(*server, Data()) == ReadTree(Data()));  // the new copy, and no temporary one left
}

// The next job's server drops the connection after each upload: it gets a login again, without a wait.
TEST_F(Faults, AServerThatStopsAnsweringCostsOneRetryAJobNotAWaitAFile) {
    for (const char* name : {"a.txt", "b.txt", "c.txt"}) WriteFile(Data(name), name);
    const ShortWaits waits;
    auto dead = Server("dead", {.silentOn = "STOR"});
    auto alive = Server("alive", {.dropAfterStor = true});
    AddJob(Data(), AddProfile(dead->port()));
    AddJob(Data(), AddProfile(alive->port()));
    const auto started = std::chrono::steady_clock::now();
    const auto outcome = Run();
    // Two waits for the answer, however many connections wait at once; a third would show.
    EXPECT_LT(std::chrono::steady_clock::now() - started, 3 * ShortWaits::kAnswer);
    EXPECT_TRUE(outcome.completed);
    EXPECT_FALSE(outcome.clean);
    EXPECT_EQ(log.Matching("FTP Info: FtpPutFile error code: 12002").size(), 2u);
    const std::string passedOver = "FTP Info: The server does not answer; the rest of this job is passed over.";
    EXPECT_EQ(std::ranges::count(log.Lines(), passedOver), 1);
    EXPECT_EQ(Changed().size(), 1u + 3u);  // the dead job's first file, then the next job's three
    EXPECT_EQ(Landed(*alive, Data()).size(), 3u);
    EXPECT_EQ(Records(), 3);
    EXPECT_GE(alive->logins(), 3);
}

TEST_F(Faults, ASweepThatLosesTheServerWaitsOnceAndLeavesTheRestToTheNextRun) {
    for (const char* name : {"d1/a.txt", "d2/b.txt", "d3/c.txt"}) WriteFile(Data(name), name);
    auto server = Server("srv", {.silentOn = "NLST", .logCommands = true});
    const auto job = AddJob(Data(), AddProfile(server->port()));
    store::StoreConnection().Execute("insert into myUnfinished values(" + std::to_string(job) + ")");
    const ShortWaits waits;
    Run();
    const auto commands = server->commands();
    EXPECT_EQ(std::ranges::count_if(commands, [](const std::string& c) { return c.starts_with("NLST"); }), 1);
    EXPECT_EQ(Landed(*server, Data()), ReadTree(Data()));  // the uploads went on
    EXPECT_FALSE(store::StoreConnection().Execute("select SyncID from myUnfinished").Eof()) << "swept next run";
}

TEST_F(Faults, AServerRestartedBetweenTwoJobsServesTheSecond) {
    WriteFile(Data("one/a.txt"), "a");
    WriteFile(Data("two/b.txt"), "b");
    auto server = Server("srv");
    const int port = server->port();
    const auto profile = AddProfile(port);
    AddJob(Data("one"), profile);
    AddJob(Data("two"), profile);
    bool restarted = false;
    observer.jobEnded = [&] {
        if (restarted) return;
        restarted = true;
        server.reset();
        server = Server("srv", {.port = port});
    };
    EXPECT_TRUE(Run().clean);
    EXPECT_EQ(server->logins(), 1);  // the second job, on the new server
    EXPECT_EQ(Landed(*server, Data()), ReadTree(Data()));
}

TEST_F(Faults, EveryNameTheServerCanTakeArrivesUnderItselfFirstAndOnReplacement) {
    Tree tree{{"tab\tdir/a\tb.txt", "tab"}, {"bell\a.txt", "bell"},    {"esc\x1b[1m.txt", "esc"},
              {"latin1 \xe9t\xe9.txt", "latin1"}, {"\xff\xfe.bin", "bytes"}, {std::string(251, 'n') + ".txt", "long"}};
    for (const auto& [name, content] : tree) WriteFile(Data(name), content);
    auto server = ServeData();
    EXPECT_TRUE(Run().clean);
    EXPECT_EQ(Landed(*server, Data()), tree);
    EXPECT_EQ(std::ranges::count(Changed(), Data("tab\\tdir/a\\tb.txt") + " has changed"), 1);
    for (auto& [name, content] : tree) WriteFile(Data(name), content += " v2");
    EXPECT_TRUE(Run().clean);
    EXPECT_EQ(Landed(*server, Data()), tree);
    EXPECT_FALSE(HoldsTemporaryCopy(server->root() + kRemoteDir));
}

TEST_F(Faults, ASparseFileOfFiveGigabytesArrivesAtItsFullSize) {
    constexpr std::int64_t kSize = 5LL << 30;
    {
        std::ofstream out(Data("sparse.img"), std::ios::binary);
        out.seekp(kSize - 4);
        out << "tail";
    }
    auto server = ServeData({.sparse = true});
    EXPECT_TRUE(Run().clean);
    const std::string landed = server->root() + kRemoteDir + Data("sparse.img");
    EXPECT_EQ(fs::file_size(landed), static_cast<std::uintmax_t>(kSize));
    std::ifstream in(landed, std::ios::binary);
    in.seekg(kSize - 4);
    std::string tail(4, '\0');
    in.read(tail.data(), 4);
    EXPECT_EQ(tail, "tail");
    // The MD5 of 5 GiB - 4 zero bytes and "tail" (md5sum).
    EXPECT_EQ(store::StoreConnection().Execute("select FileHash from myFiles").Fields("FileHash"),
              "83182b994c8f8e9c1001fb48f25d7362");
}

// gone.txt is listed (and looked at) ahead, and gone when the check comes to it.
TEST_F(Faults, EntriesThatAreNotFilesArePassedOverAndUnreadableOnesAreNamed) {
    WriteFile(Data("a.txt"), "a");
    WriteFile(Data("gone.txt"), "gone");
    observer.currentFile = [&](const std::string& name) {
        if (name == "gone.txt") fs::remove(Data("gone.txt"));
    };
    WriteFile(Data("sub/b.txt"), "b");
    WriteFile(Data("locked.txt"), "locked");
    WriteFile(Data("closed/c.txt"), "c");
    WriteFile(dir / "elsewhere.txt", "linked");
    ASSERT_EQ(::mkfifo(Data("fifo").c_str(), 0600), 0);
    const base::UniqueFd sock(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    Data("socket").copy(address.sun_path, sizeof address.sun_path - 1);
    ASSERT_EQ(::bind(sock.get(), reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    // A device of its own where this user may make one, else a link to one.
    if (::mknod(Data("device").c_str(), S_IFCHR | 0600, ::makedev(1, 3)) != 0) fs::create_symlink("/dev/null", Data("device"));
    fs::create_symlink(Data("loop-b"), Data("loop-a"));
    fs::create_symlink(Data("loop-a"), Data("loop-b"));
    fs::create_symlink(Data("nowhere"), Data("dangling"));
    fs::create_directory_symlink(Data(), Data("sub/up"));  // a loop of folders
    fs::create_symlink(dir / "elsewhere.txt", Data("filelink"));
    fs::permissions(Data("locked.txt"), fs::perms::none);
    fs::permissions(Data("closed"), fs::perms::none);
    const PermissionsBite bite;
    auto server = ServeData();
    const auto outcome = Run();
    EXPECT_TRUE(outcome.completed);
    EXPECT_FALSE(outcome.clean);
    EXPECT_EQ(Landed(*server, Data()), (Tree{{"a.txt", "a"}, {"filelink", "linked"}, {"sub/b.txt", "b"}}));
    EXPECT_EQ(Changed().size(), 3u);
    EXPECT_EQ(log.Matching(" could not be read: "),
              (std::vector<std::string>{Data("gone.txt") + " could not be read: No such file or directory",
                                        Data("locked.txt") + " could not be read: Permission denied",
                                        Data("loop-a") + " could not be read: Too many levels of symbolic links",
                                        Data("loop-b") + " could not be read: Too many levels of symbolic links",
                                        Data("closed") + " could not be read: Permission denied"}));
}

TEST_F(Faults, ASecondRunDuringARunIsRefused) {
    WriteFile(Data("a.txt"), "a");
    WriteFile(Data("b.txt"), "b");
    auto server = ServeData();
    std::optional<syncrun::RunOutcome> nested;
    hooks.beforeUpload = [&](const std::string&) {
        if (nested) return;
        EXPECT_TRUE(syncrun::IsRunning());
        syncrun::RunObserver other;
        nested = syncrun::RunSync(other, Connections(), pool, syncrun::CurrentStore());
    };
    const auto outcome = Run();
    ASSERT_TRUE(nested);
    EXPECT_FALSE(nested->completed);
    EXPECT_TRUE(outcome.clean);
    EXPECT_EQ(outcome.filesSent, 2);
    EXPECT_EQ(std::ranges::count(log.Lines(), "A sync is already running."), 1);
    EXPECT_EQ(log.Matching("User initiated Sync").size(), 1u);
}

TEST_F(Faults, ARunLeavesTheStoreLocksOfTheProgramsOtherConnectionsAlone) {
    // The windows' connection is in the middle of a write when a run ends:
    // another process must still find the store locked.
    store::StoreConnection().Execute("begin immediate");
    EXPECT_TRUE(Run().completed);
    // A process of its own: a fork would share this one's view of the locks.
    const auto other = RunProgram("/usr/bin/python3",
                                  {"-c",
                                   "import sqlite3, sys\n"
                                   "c = sqlite3.connect(sys.argv[1], timeout=0, isolation_level=None)\n"
                                   "try:\n    c.execute('begin immediate'); print('written')\n"
                                   "except sqlite3.OperationalError as e: print(e)",
                                   dir / "information.mdb"},
                                  {});
    EXPECT_EQ(other.out, "database is locked\n") << other.err;
    store::StoreConnection().Execute("rollback");
}

TEST_F(Faults, AStoreFailureStopsTheRunWithTheStoresMessage) {
    WriteFile(Data("a.txt"), "a");
    auto server = Server("srv");
    const auto profile = AddProfile(server->port());
    AddJob(Data(), profile);
    AddJob(Data(), profile);
    // Another writer (the windows, on their thread) breaks the store while
    // the file goes up: its record cannot be written.
    hooks.beforeUpload = [&](const std::string&) {
        std::thread([] { store::StoreConnection().Execute("drop table myFiles"); }).join();
    };
    const auto outcome = Run();
    EXPECT_FALSE(outcome.completed);
    EXPECT_EQ(log.Lines(), (std::vector<std::string>{
                               "User initiated Sync", "FTP Info: Directory is changed to /backup",
                               Data("a.txt") + " has changed", "FTP Info: DoneDir", "FTP Info: File transfered!",
                               "Sync stopped: no such table: myFiles", kDisconnected}));
}

TEST_F(UnattendedRun, ABrokenStoreEndsTheRunWithItsMessageAndIsLeftAsItWas) {
    WriteFile(Data("a.txt"), "a");
    auto server = ServeData();
    LayOut();
    const std::string store = App("information.mdb");
    const std::string good = ReadFile(store);
    const bool root = ::geteuid() == 0;
    for (const auto& [name, line] : std::vector<std::pair<std::string, std::string>>{
             {"corrupt", "Could not open " + store + ": file is not a database"},
             // Readers of the write-ahead log get in; the run stops at its first write.
             {"locked", "Sync stopped: database is locked"},
             {"read-only", "Could not open " + store + ": attempt to write a readonly database"}}) {
        WriteFile(store, good);
        fs::permissions(store, fs::perms(0600));
        std::vector<std::string> as;
        sqlite3* holder = nullptr;
        if (name == "corrupt") WriteFile(store, "not a store at all, but a text someone saved here");
        // Read before the lock is taken: closing any descriptor of the file
        // would let this process's record locks go.
        const std::string before = ReadFile(store);
        if (name == "locked") {
            ASSERT_EQ(sqlite3_open(store.c_str(), &holder), SQLITE_OK);
            ASSERT_EQ(sqlite3_exec(holder, "begin exclusive", nullptr, nullptr, nullptr), SQLITE_OK);
        }
        if (name == "read-only") {
            // Root writes whatever the mode says: the run is another user's then.
            fs::permissions(store, fs::perms(root ? 0644 : 0400));
            for (const std::string& d : {dir.path(), App(), Data()}) fs::permissions(d, fs::perms(0755));
            if (root) as = {"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"};
        }
        const auto r = RunTessary({}, as);
        if (holder) sqlite3_close(holder);
        EXPECT_EQ(r.status, 1) << name << "\n" << r.out << r.err;
        EXPECT_NE(r.out.find("\n" + line + "\n"), std::string::npos) << name << "\n" << r.out;
        EXPECT_TRUE(ReadFile(store) == before) << name;  // not one byte written
        EXPECT_TRUE(Landed(*server, Data()).empty()) << name;
        store::StoreConnection().Close();
    }
}

TEST_F(UnattendedRun, WhileARunIsUnderWayASecondIsRefusedAndThePasswordIsNowhereInSight) {
    WriteFile(Data("a.txt"), "a");
    // The server takes the upload's bytes and never answers: the run waits.
    auto server = Server("srv", {.stallData = true});
    AddJob(Data(), AddProfile(server->port(), "secret"));
    ProgramResult second;
    std::vector<std::string> seen;  // the command lines and environments of the running program
    const auto first = RunTessary([&](const std::string& out) {
        if (out.find(" has changed") == std::string::npos) return false;
        for (const auto& p : fs::directory_iterator("/proc")) {
            std::error_code ec;
            if (fs::read_symlink(p.path() / "exe", ec) != App("tessary")) continue;
            seen.push_back(ReadFile(p.path() / "cmdline"));
            seen.push_back(ReadFile(p.path() / "environ"));
        }
        second = RunProgram(App("tessary"), {"/SYNC"}, kEnvironment, std::chrono::seconds(60));
        return true;
    });
    EXPECT_EQ(first.status, -1);
    EXPECT_EQ(second.status, 1) << second.out;
    EXPECT_NE(second.out.find("User initiated Sync\nA sync is already running.\n"), std::string::npos) << second.out;
    ASSERT_FALSE(seen.empty());
    seen.insert(seen.end(), {first.out, first.err, second.out, second.err});
    for (const std::string& text : seen) EXPECT_EQ(text.find("secret"), std::string::npos) << text;
    EXPECT_EQ(Records(), 0);
}

// A record only ever follows its upload, killed or not; a replacement killed midway leaves its temporary copy,
// which the next run clears.
TEST_F(UnattendedRun, AKilledRunLosesAtMostItsLastBatchAndTheNextRunLeavesTheServerLikeTheFolder) {
    constexpr int kFiles = 400;
    for (int i = 0; i < kFiles; ++i) WriteFile(Data("d" + std::to_string(i % 4) + "/f" + std::to_string(i)), "x" + std::to_string(i));
    // The 151st upload is never answered: the run waits there, and its
    // batch commits meanwhile. Over several connections the unanswered one
    // may be a file a little before the 151st in the listing, whose lines
    // then hold back the lines of those after it: wait for 100.
    auto server = ServeData({.silentAfter = 150});
    const auto killed = RunTessary([&](const std::string& out) {
        std::size_t sent = 0;
        for (std::size_t at = 0; (at = out.find("File transfered!", at)) != std::string::npos; ++at) ++sent;
        // The records committed, read beside the run (a reader of the write-ahead log waits for no writer).
        return sent >= 100 && WaitFor([&] {
            return ConnectTo(App())->Execute("select count(*) as n from myFiles").FieldInt("n") > 0;
        });
    });
    EXPECT_EQ(killed.status, -1);
    EXPECT_EQ(IntegrityOfStore(), "ok");
    ASSERT_GT(Records(), 0);
    EXPECT_LT(Records(), kFiles);
    // A record only ever follows its upload: whatever the store kept is on
    // the server as it is here.
    const Tree landed = Landed(*server, Data()), local = ReadTree(Data());
    for (store::Recordset rs = store::StoreConnection().Execute("select FullPath from myFiles"); !rs.Eof();
         rs.MoveNext()) {
        const std::string rel = rs.Fields("FullPath").substr(Data().size() + 1);
        ASSERT_TRUE(landed.count(rel)) << rel;
        EXPECT_EQ(landed.at(rel), local.at(rel));
    }
    Replace(server);
    EXPECT_EQ(RunTessary().status, 0);
    EXPECT_EQ(Landed(*server, Data()), ReadTree(Data()));
    EXPECT_EQ(Records(), kFiles);

    // Two files of d0 larger than the stalling server takes in, or ({}) back as they were.
    const auto changeTwo = [&](const std::string& to) {
        for (int i : {0, 4}) WriteFile(Data("d0/f" + std::to_string(i)), to.empty() ? "x" + std::to_string(i) : to);
    };
    changeTwo(std::string(4 << 20, 'k'));
    Replace(server, {.stallData = true});
    const std::string remote = server->root() + kRemoteDir + Data("d0");
    const auto uploading = RunTessary([&](const std::string& out) {
        return Has(out, " has changed") && WaitFor([&] { return HoldsTemporaryCopy(remote); });
    });
    EXPECT_EQ(uploading.status, -1);
    EXPECT_TRUE(HoldsTemporaryCopy(remote));
    EXPECT_EQ(IntegrityOfStore(), "ok");
    // Back as the server has them: nothing is sent again, yet the temporary copy goes.
    changeTwo({});
    Replace(server);
    const auto rerun = RunTessary();
    EXPECT_EQ(rerun.status, 0) << rerun.out;
    EXPECT_FALSE(Has(rerun.out, " has changed")) << rerun.out;
    EXPECT_EQ(Landed(*server, Data()), ReadTree(Data()));
}

}  // namespace

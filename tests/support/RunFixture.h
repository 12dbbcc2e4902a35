#pragma once
// Whole sync runs against real FTP servers on 127.0.0.1, in process or as
// the built program run unattended: a store and a data folder of the test's
// own, servers made on demand, the status lines recorded.

#include "ftp/modFTP.h"
#include "store/Store.h"
#include "sync/FtpUploader.h"
#include "sync/Manifest.h"
#include "sync/SyncRun.h"
#include "tests/support/Fixtures.h"
#include "tests/support/FtpServer.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <atomic>
#include <functional>
#include <memory>

namespace testsupport {

namespace fs = std::filesystem;

constexpr const char* kRemoteDir = "/backup";
const std::string kDisconnected = "FTP Info: I have disconnected from the server.";

// A connection of the run's, with a hook before each upload, and counts of the logins tried and the
// connections open.
struct Hooks {
    std::function<void(const std::string&)> beforeUpload;  // on the thread that sends
    std::atomic<int> open{0};
    std::atomic<int> logins{0};  // tried
};

// The run's observer, with hooks as the check comes to each file and after each job's end, on the
// run's own thread (a server started there outlives the job's connection threads).
struct HookedObserver : syncrun::RunObserver {
    void SetCurrentFile(const std::string& name) override {
        if (currentFile) currentFile(name);
    }
    void JobEnded() override {
        if (jobEnded) jobEnded();
    }
    std::function<void(const std::string&)> currentFile;
    std::function<void()> jobEnded;
};

class HookedUploader : public syncrun::FtpUploader {
public:
    explicit HookedUploader(Hooks& hooks) : hooks_(hooks) {}
    bool Connect(const store::Job& job, syncrun::Lines& lines) override {
        ++hooks_.logins;
        const bool connected = FtpUploader::Connect(job, lines);
        if (connected && !counted_) ++hooks_.open, counted_ = true;
        return connected;
    }
    syncrun::Attempt Put(std::FILE* file, const std::string& path, const ftp::RemotePath& target, ftp::ReadTap* tap,
                         bool replacing, syncrun::Lines& lines) override {
        if (hooks_.beforeUpload && path != syncrun::kManifestName) hooks_.beforeUpload(path);
        return FtpUploader::Put(file, path, target, tap, replacing, lines);
    }
    void Close() override {
        FtpUploader::Close();
        if (counted_) --hooks_.open, counted_ = false;
    }

private:
    Hooks& hooks_;
    bool counted_ = false;
};

// Timeouts of a second or two while the object lives, so a dead server
// costs a test seconds, not minutes.
struct ShortWaits {
    static constexpr std::chrono::milliseconds kAnswer{1000};
    ShortWaits() { ftp::SetTimeoutsForTesting({std::chrono::milliseconds(2000), kAnswer, kAnswer}); }
    ~ShortWaits() { ftp::SetTimeoutsForTesting({}); }
    ShortWaits(const ShortWaits&) = delete;
    ShortWaits& operator=(const ShortWaits&) = delete;
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
    // The server "srv" and a job of the data folder on it (user tessary, password secret).
    std::unique_ptr<FtpServer> ServeData(FtpServer::Options options = {}) {
        auto server = Server("srv", std::move(options));
        AddJob(Data(), AddProfile(server->port()));
        return server;
    }
    // The copies below the local folder, without the jobs' manifests.
    static Tree Landed(const FtpServer& server, const std::string& local) {
        Tree tree = ReadTree(server.root() + kRemoteDir + local);
        std::erase_if(tree, [](const auto& file) { return fs::path(file.first).filename() == syncrun::kManifestName; });
        return tree;
    }
    syncrun::RunOutcome Run(bool verify = false) {
        log.Clear();
        const auto outcome = syncrun::RunSync(observer, Connections(), pool, syncrun::CurrentStore(), verify);
        EXPECT_EQ(CurrentSyncID, 0);
        EXPECT_EQ(hooks.open, 0);
        return outcome;
    }
    std::vector<std::string> Changed() const { return log.Matching(" has changed"); }
    // The server stopped and a new one of the same folder in its place, which every profile then names.
    void Replace(std::unique_ptr<FtpServer>& server, FtpServer::Options options = {}) {
        server.reset();
        server = Server("srv", std::move(options));
        store::StoreConnection().Execute("update mySettings set FTPPort = '" + std::to_string(server->port()) + "'");
    }
    static std::int64_t Records(const std::string& where = "1") { return Count("myFiles", where); }

    TempDir dir;
    LineRecorder log;
    HookedObserver observer;
    Hooks hooks;
    syncrun::Uploads::Factory Connections() {
        return [this] { return std::make_unique<HookedUploader>(hooks); };
    }
    syncrun::HashPool pool;
};

// The built program, copied with its store into a folder of its own, run
// unattended: its log on standard output and its exit status.
class UnattendedRun : public SyncRunTest {
protected:
    std::string App(const std::string& file = {}) const { return dir / ("app/" + file); }
    // The program and a copy of the test's store in a folder of their own,
    // made once: later runs find what earlier ones left.
    void LayOut() {
        store::StoreConnection().Close();
        if (!fs::create_directories(App())) return;
        CopyProgram(App());
        fs::copy_file(dir / "information.mdb", App("information.mdb"));
    }
    ProgramResult RunTessary(const std::function<bool(const std::string&)>& killWhen = {},
                             const std::vector<std::string>& prefix = {},
                             const std::vector<std::string>& switches = {"/SYNC"}) {
        LayOut();
        std::vector<std::string> args = prefix;
        args.push_back(App("tessary"));
        args.insert(args.end(), switches.begin(), switches.end());
        const auto r = RunProgram(args[0], {args.begin() + 1, args.end()}, kEnvironment, std::chrono::seconds(120),
                                  killWhen);
        try {
            OpenStoreIn(App());
        } catch (const std::exception&) {
            // a store a test broke on purpose stays closed
        }
        return r;
    }
    const std::vector<std::string> kEnvironment{"QT_QPA_PLATFORM=offscreen", "LANG=C.UTF-8"};
};

}  // namespace testsupport

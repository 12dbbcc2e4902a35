#pragma once
// Whole sync runs against real FTP servers on 127.0.0.1, in process or as
// the built program run unattended: a store and a data folder of the test's
// own, servers made on demand, the status lines recorded.

#include "ftp/modFTP.h"
#include "store/Store.h"
#include "sync/FtpUploader.h"
#include "sync/SyncRun.h"
#include "tests/support/Fixtures.h"
#include "tests/support/FtpServer.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>

namespace testsupport {

namespace fs = std::filesystem;

constexpr const char* kRemoteDir = "/backup";
const std::string kDisconnected = "FTP Info: I have disconnected from the server.";

// The run's uploader, with a hook that runs before each upload.
class HookedUploader : public syncrun::FtpUploader {
public:
    using FtpUploader::FtpUploader;
    bool Upload(std::FILE* file, const std::string& path, const ftp::RemotePath& target, ftp::ReadTap* tap,
                bool replacing) override {
        if (beforeUpload) beforeUpload(path);
        return FtpUploader::Upload(file, path, target, tap, replacing);
    }
    void Close() override {
        FtpUploader::Close();
        if (afterClose) afterClose();
    }
    std::function<void(const std::string&)> beforeUpload;
    std::function<void()> afterClose;
};

// Timeouts of a second or two while the object lives, so a dead server
// costs a test seconds, not minutes.
struct ShortWaits {
    ShortWaits() {
        ftp::SetTimeoutsForTesting({std::chrono::milliseconds(2000), std::chrono::milliseconds(1000),
                                    std::chrono::milliseconds(1000)});
    }
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
    static Tree Landed(const FtpServer& server, const std::string& local) {
        return ReadTree(server.root() + kRemoteDir + local);
    }
    syncrun::RunOutcome Run() {
        log.Clear();
        const auto outcome = syncrun::RunSync(observer, uploader, pool, syncrun::CurrentStore());
        EXPECT_EQ(CurrentSyncID, 0);
        EXPECT_FALSE(uploader.IsConnected());
        return outcome;
    }
    std::vector<std::string> Changed() const { return log.Matching(" has changed"); }
    // The server stopped and a new one of the same folder in its place, which every profile then names.
    void Replace(std::unique_ptr<FtpServer>& server, FtpServer::Options options = {}) {
        server.reset();
        server = Server("srv", std::move(options));
        UsePort(server->port());
    }
    // Every profile of the store points at this port.
    static void UsePort(int port) {
        store::StoreConnection().Execute("update mySettings set FTPPort = '" + std::to_string(port) + "'");
    }
    static std::int64_t Records(const std::string& where = "1") { return Count("myFiles", where); }

    TempDir dir;
    LineRecorder log;
    syncrun::RunObserver observer;
    HookedUploader uploader{observer};
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
                             const std::vector<std::string>& prefix = {}) {
        LayOut();
        std::vector<std::string> args = prefix;
        args.insert(args.end(), {App("tessary"), "/SYNC"});
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

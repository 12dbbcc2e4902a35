// A job's uploads through syncrun::FtpUploader over a real store and a real
// server: the lines of connecting, sending and closing, folders made once,
// the remote directory as a floor, and each way a job fails to go out.

#include "ftp/FtpPaths.h"
#include "ftp/modFTP.h"
#include "store/Store.h"
#include "sync/FtpUploader.h"
#include "sync/Job.h"
#include "tests/support/Fixtures.h"
#include "tests/support/FtpServer.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>

namespace {

using testsupport::FtpServer;
using testsupport::ReadFile;
using Lines = std::vector<std::string>;
namespace fs = std::filesystem;

struct Watcher : syncrun::RunObserver {
    void SetStatus(const std::string& text) override { statuses.push_back(text); }
    void Connected(bool on) override { connected.push_back(on); }
    Lines statuses;
    std::vector<bool> connected;
};

class Uploads : public ::testing::Test {
protected:
    void SetUp() override {
        testsupport::MakeStore(tmp_.path());
        testsupport::OpenStoreIn(tmp_.path());
    }
    void TearDown() override { store::StoreConnection().Close(); }
    void Serve(const std::string& refuseStor = "") {
        FtpServer::Options options;
        options.refuseStor = refuseStor;
        options.logCommands = true;
        server_ = std::make_unique<FtpServer>(tmp_ / "root", options);
        fs::create_directories(tmp_ / "root/backup");
    }
    long Quits() { return std::ranges::count(server_->commands(), std::string("QUIT")); }
    syncrun::Job Job(const std::string& password = "secret", const std::string& directory = "/backup") {
        const auto profile = testsupport::AddProfile(server_->port(), password, directory);
        return syncrun::ReadJob(store::StoreConnection(), testsupport::AddJob("/home/anna", profile));
    }
    std::string Local(const std::string& name) {
        testsupport::WriteFile(tmp_ / ("home/anna/" + name), "content of " + name);
        return tmp_ / ("home/anna/" + name);
    }
    std::string Landed(const std::string& path) { return ReadFile(tmp_ / ("root/backup/" + path)); }

    testsupport::TempDir tmp_;
    std::unique_ptr<FtpServer> server_;
    testsupport::LineRecorder log_;
    Watcher watcher_;
    syncrun::FtpUploader uploader_{watcher_};
};

struct CountingTap : ftp::ReadTap {
    void Read(const char*, std::size_t size) override { bytes += size; }
    void Rewound() override { bytes = 0; }
    std::size_t bytes = 0;
};

TEST_F(Uploads, ConnectSendAndCloseWriteTheirLinesBelowTheRemoteDirectory) {
    Serve();
    fs::create_directories(tmp_ / "root/backup/home/anna/old");
    ASSERT_TRUE(uploader_.Connect(Job()));
    EXPECT_EQ(watcher_.connected, std::vector<bool>{true});
    const std::string report = Local("docs/report.txt");
    EXPECT_TRUE(uploader_.UploadPath(report, "report.txt", "home/anna/docs/"));
    EXPECT_EQ(watcher_.statuses, (Lines{"Uploading " + report, "Scanning Files.."}));
    EXPECT_TRUE(uploader_.UploadPath(Local("docs/notes.txt"), "notes.txt", "home/anna/docs/"));
    EXPECT_TRUE(uploader_.UploadPath(Local("old/a.txt"), "a.txt", "home/anna/old/"));
    CountingTap tap;  // a file the caller opened, every byte seen on its way
    std::FILE* top = std::fopen(Local("top.txt").c_str(), "rb");
    EXPECT_TRUE(uploader_.Upload(top, "top.txt", "top.txt", "", &tap));
    std::fclose(top);
    EXPECT_EQ(tap.bytes, std::string("content of top.txt").size());
    // A job folder such as /a/../../etc keeps its ".." levels in the remote
    // folder; the file must still land below the profile's directory.
    for (const char* folder : {"../../escaped/", "/../escaped/", "x/../../escaped/", "./escaped//./"})
        EXPECT_TRUE(uploader_.UploadPath(report, "a.txt", folder)) << folder;
    EXPECT_FALSE(fs::exists(tmp_ / "escaped") || fs::exists(tmp_ / "root/escaped"));
    EXPECT_EQ(Landed("escaped/a.txt"), "content of docs/report.txt");
    EXPECT_EQ(Landed("x/escaped/a.txt"), "content of docs/report.txt");
    EXPECT_EQ(Landed("home/anna/docs/report.txt") + Landed("home/anna/docs/notes.txt") + Landed("top.txt"),
              "content of docs/report.txtcontent of docs/notes.txtcontent of top.txt");
    ASSERT_TRUE(uploader_.Connect(Job()));  // again: the held connection goes first
    EXPECT_EQ(Quits(), 1);
    uploader_.Close();
    EXPECT_EQ(Quits(), 2);
    const std::string sent = "FTP Info: File transfered!", connected = "FTP Info: Directory is changed to /backup";
    EXPECT_EQ(log_.Lines(), (Lines{connected, "FTP Info: DoneDir", sent, sent, sent, sent, "FTP Info: DoneDir", sent,
                                   sent, "FTP Info: DoneDir", sent, sent, connected,
                                   "FTP Info: I have disconnected from the server."}));
    EXPECT_EQ(watcher_.connected, (std::vector<bool>{true, true, false}));
    EXPECT_FALSE(uploader_.IsConnected());
    EXPECT_EQ(server_->logins(), 2);
}

TEST_F(Uploads, AJobThatCannotConnectSaysWhy) {
    Serve();
    auto& db = store::StoreConnection();
    const auto orphan = testsupport::AddJob("/x", 999);
    db.Execute("insert into Tessary (Folder, SettingsID) values ('/y', NULL)");
    const auto unset = db.LastInsertId();
    const auto read = [&](std::int64_t id) { return syncrun::ReadJob(db, id); };
    const struct {
        syncrun::Job job;
        Lines lines;
    } cases[] = {
        {Job("Wr0ng-Pa55"),
         {"FTP Info: InternetConnect error code: 12003 Message: The server refused the request.\n",
          "Extended Info: 530 Authentication failed."}},
        {Job("secret", "/nowhere"),
         {"FTP Info: FtpSetCurrentDirectory error code: 12003 Message: The server refused the request.\n",
          "Extended Info: 550 No such file or directory."}},
        {read(4242), {"FTP Info: Folder job 4242 is not in the store."}},
        {read(orphan), {"FTP Info: Server profile 999 of folder job " + std::to_string(orphan) +
                            " is not in the store."}},
        {read(unset), {"FTP Info: Folder job " + std::to_string(unset) + " names no server profile."}},
    };
    for (const auto& c : cases) {
        log_.Clear();
        EXPECT_FALSE(uploader_.Connect(c.job));
        EXPECT_EQ(log_.Lines(), c.lines);
    }
    EXPECT_TRUE(watcher_.connected.empty());
    EXPECT_EQ(server_->logins(), 1) << "only the missing directory logged in";
    db.Execute("drop table mySettings");  // a store that refuses is the run's business
    EXPECT_THROW(read(orphan), store::StoreError);
}

TEST_F(Uploads, RefusedAndUnsendableFilesAreReported) {
    Serve("refused");
    const std::string refused = Local("refused.txt");
    EXPECT_FALSE(uploader_.UploadPath(refused, "refused.txt", "")) << "not connected";
    EXPECT_EQ(log_.Lines(), Lines{"FTP Info: FtpPutFile error code: 6 Message: "});
    ASSERT_TRUE(uploader_.Connect(Job()));
    log_.Clear();
    EXPECT_FALSE(uploader_.UploadPath(refused, "refused.txt", ""));
    EXPECT_EQ(log_.Lines(), (Lines{"FTP Info: FtpPutFile error code: 12003 Message: The server refused the request.\n",
                                   "Extended Info: 553 Refused by the test server."}));
    EXPECT_EQ(watcher_.statuses.back(), "Uploading " + refused) << "the label stays on the file";

    log_.Clear();
    const std::string evil = Local("evil\nDELE x.txt");
    EXPECT_FALSE(uploader_.UploadPath(evil, "evil\nDELE x.txt", "home/anna/"));
    EXPECT_FALSE(uploader_.UploadPath(evil, "evil.txt", "home/an\rna/"));
    const std::string passedOver = " is passed over: its name holds a line break or NUL character.";
    EXPECT_EQ(log_.Lines(), Lines(2, "FTP Info: " + ftp::Printable(evil) + passedOver));
    EXPECT_NE(log_.Lines()[0].find("evil\\nDELE x.txt"), std::string::npos);
    for (const auto& command : server_->commands())
        for (const char* part : {"evil", "MKD"}) EXPECT_EQ(command.find(part), std::string::npos) << command;
}

}  // namespace

// The upload session of a folder job (the transfer window without its
// widgets) over a real store and a real server: connecting from the job's
// profile, uploads with their status lines and labels, and the unload.

#include "ftp/UploadSession.h"
#include "ftp/modFTP.h"
#include "store/Store.h"
#include "tests/ftp_support.h"
#include "tests/support/FtpServer.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

namespace {

using ftptest::LogLines;
using testsupport::FtpServer;
using testsupport::ReadFile;
using testsupport::TempDir;
using testsupport::WriteFile;
using Lines = std::vector<std::string>;
namespace fs = std::filesystem;

class FtpUploadSession : public ::testing::Test {
protected:
    void SetUp() override {
        testsupport::MakeStore(tmp_.path());
        testsupport::OpenStoreIn(tmp_.path());
        fs::create_directories(tmp_ / "root/backup");
    }
    void TearDown() override { store::StoreConnection().Close(); }

    void Serve(FtpServer::Options options = {}) { server_ = std::make_unique<FtpServer>(tmp_ / "root", options); }

    // A profile for the test server and a job that names it; the job's key.
    std::int64_t AddJob(const std::string& password = "secret", const std::string& directory = "/backup") {
        auto& db = store::StoreConnection();
        db.Execute("insert into mySettings (FTPServer, FTPPort, FTPUser, FTPPassword, FTPDirectory, FTPNotes) values "
                   "('127.0.0.1', '" + std::to_string(server_->port()) + "', 'tessary', " +
                   store::Quoted(password) + ", " + store::Quoted(directory) + ", '')");
        const auto settingsId = db.LastInsertId();
        db.Execute("insert into Tessary (Folder, SettingsID, SubDirs) values ('/home/anna', " +
                   std::to_string(settingsId) + ", 'YES')");
        return db.LastInsertId();
    }
    std::string Local(const std::string& name, const std::string& content) {
        const std::string file = tmp_ / ("home/anna/" + name);
        WriteFile(file, content);
        return file;
    }

    TempDir tmp_;
    std::unique_ptr<FtpServer> server_;
};

TEST_F(FtpUploadSession, ConnectsUploadsAndUnloads) {
    Serve();
    const auto job = AddJob();
    LogLines log;
    std::vector<bool> topMost;
    int repaints = 0;
    {
        UploadSession window;
        window.onTopMostChanged = [&](bool on) { topMost.push_back(on); };
        window.onLabelsChanged = [&] { ++repaints; };
        EXPECT_EQ(window.Status(), "Connecting.....");
        EXPECT_EQ(ftp::TransferFlags, ftp::FTP_TRANSFER_TYPE_BINARY);
        EXPECT_EQ(ftp::ConnectFlags, ftp::INTERNET_FLAG_PASSIVE);
        EXPECT_EQ(ftp::FtpConnection, nullptr);
        ASSERT_NE(ftp::InternetHandle, nullptr);

        ASSERT_TRUE(window.ConnectToFTP(job)) << ::testing::PrintToString(log.lines);
        EXPECT_EQ(log.lines, Lines{"FTP Info: Directory is changed to /backup"});
        EXPECT_EQ(topMost, std::vector<bool>{true});

        const std::string first = Local("docs/report.txt", "report");
        window.SetCurrentFile("report.txt");
        EXPECT_EQ(window.CurrentFile(), "report.txt");
        EXPECT_TRUE(window.UploadFile(first, "report.txt", "home/anna/docs/"));
        EXPECT_EQ(ReadFile(tmp_ / "root/backup/home/anna/docs/report.txt"), "report");
        EXPECT_EQ(window.Status(), "Scanning Files..");

        // The folder is there now: no "DoneDir" for the second file.
        EXPECT_TRUE(window.UploadFile(Local("docs/notes.txt", "notes"), "notes.txt", "home/anna/docs/"));
        EXPECT_EQ(ReadFile(tmp_ / "root/backup/home/anna/docs/notes.txt"), "notes");
        // A root job's files go straight into the remote directory.
        EXPECT_TRUE(window.UploadFile(Local("top.txt", "top"), "top.txt", ""));
        EXPECT_EQ(ReadFile(tmp_ / "root/backup/top.txt"), "top");

        window.Unload();
        window.Unload();
        EXPECT_EQ(ftp::FtpConnection, nullptr);
        EXPECT_EQ(topMost, (std::vector<bool>{true, false}));
        EXPECT_GE(repaints, 7);
    }
    EXPECT_EQ(log.lines, (Lines{
                             "FTP Info: Directory is changed to /backup",
                             "FTP Info: DoneDir",
                             "FTP Info: File transfered!",
                             "FTP Info: File transfered!",
                             "FTP Info: File transfered!",
                             "FTP Info: I have disconnected from the server.",
                         }));
    EXPECT_EQ(server_->logins(), 1);
}

TEST_F(FtpUploadSession, ExistingFolderWritesNoDoneDir) {
    Serve();
    fs::create_directories(tmp_ / "root/backup/home/anna/docs");
    const auto job = AddJob();
    UploadSession window;
    ASSERT_TRUE(window.ConnectToFTP(job));
    LogLines log;
    EXPECT_TRUE(window.UploadFile(Local("docs/a.txt", "a"), "a.txt", "home/anna/docs/"));
    EXPECT_EQ(log.lines, Lines{"FTP Info: File transfered!"});
    window.Unload();
}

// A job folder such as /a/../../etc keeps its ".." levels in the remote
// folder; the file must still land below the profile's directory.
TEST_F(FtpUploadSession, RemoteFolderNeverClimbsAboveTheRemoteDirectory) {
    Serve();
    const auto job = AddJob();
    UploadSession window;
    ASSERT_TRUE(window.ConnectToFTP(job));
    const std::string file = Local("a.txt", "stays inside");
    for (const char* folder : {"../../escaped/", "/../escaped/", "x/../../escaped/", "./escaped//./"})
        EXPECT_TRUE(window.UploadFile(file, "a.txt", folder)) << folder;
    EXPECT_FALSE(fs::exists(tmp_ / "escaped"));
    EXPECT_FALSE(fs::exists(tmp_ / "root/escaped"));
    EXPECT_EQ(ReadFile(tmp_ / "root/backup/escaped/a.txt"), "stays inside");
    EXPECT_EQ(ReadFile(tmp_ / "root/backup/x/escaped/a.txt"), "stays inside");
    window.Unload();
}

TEST_F(FtpUploadSession, FailedLoginAndMissingDirectoryReportAndReturnFalse) {
    Serve();
    struct Case {
        const char* password;
        const char* directory;
        Lines lines;
        bool connectionHeld;
    };
    const Case cases[] = {
        {"Wr0ng-Pa55", "/backup",
         {"FTP Info: InternetConnect error code: 12003 Message: The server refused the request.\n",
          "Extended Info: 530 Authentication failed."},
         false},
        {"secret", "/nowhere",
         {"FTP Info: FtpSetCurrentDirectory error code: 12003 Message: The server refused the request.\n",
          "Extended Info: 550 No such file or directory."},
         true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.directory);
        const auto job = AddJob(c.password, c.directory);
        UploadSession window;
        std::vector<bool> topMost;
        window.onTopMostChanged = [&](bool on) { topMost.push_back(on); };
        LogLines log;
        EXPECT_FALSE(window.ConnectToFTP(job));
        EXPECT_EQ(log.lines, c.lines);
        EXPECT_FALSE(log.Mentions("Wr0ng-Pa55"));
        EXPECT_EQ(ftp::FtpConnection != nullptr, c.connectionHeld);
        EXPECT_TRUE(topMost.empty());
        window.Unload();
    }
}

TEST_F(FtpUploadSession, MissingJobOrProfileGivesALineAndFalse) {
    Serve();
    const auto job = AddJob();
    auto& db = store::StoreConnection();
    db.Execute("insert into Tessary (Folder, SettingsID, SubDirs) values ('/x', 999, 'NO')");
    const auto orphan = db.LastInsertId();
    db.Execute("insert into Tessary (Folder, SettingsID, SubDirs) values ('/y', NULL, 'NO')");
    const auto unset = db.LastInsertId();

    UploadSession window;
    const std::pair<std::int64_t, std::string> cases[] = {
        {job + 1000, "FTP Info: Folder job " + std::to_string(job + 1000) + " is not in the store."},
        {orphan, "FTP Info: Server profile 999 of folder job " + std::to_string(orphan) + " is not in the store."},
        {unset, "FTP Info: Folder job " + std::to_string(unset) + " names no server profile."},
    };
    for (const auto& [id, line] : cases) {
        LogLines log;
        EXPECT_FALSE(window.ConnectToFTP(id));
        EXPECT_EQ(log.lines, Lines{line});
    }
    EXPECT_EQ(server_->logins(), 0);
    // A store that refuses the statement is the run's business.
    db.Execute("drop table mySettings");
    EXPECT_THROW(window.ConnectToFTP(job), store::StoreError);
    window.Unload();
}

TEST_F(FtpUploadSession, ConnectingAgainClosesTheHeldConnection) {
    FtpServer::Options options;
    options.logCommands = true;
    Serve(options);
    const auto job = AddJob();
    UploadSession window;
    ASSERT_TRUE(window.ConnectToFTP(job));
    ASSERT_TRUE(window.ConnectToFTP(job));
    EXPECT_EQ(server_->logins(), 2);
    const auto commands = server_->commands();
    EXPECT_EQ(std::count(commands.begin(), commands.end(), "QUIT"), 1);
    window.Unload();
    const auto after = server_->commands();
    EXPECT_EQ(std::count(after.begin(), after.end(), "QUIT"), 2);
}

TEST_F(FtpUploadSession, RefusedUploadIsReportedAndTheLabelStays) {
    FtpServer::Options options;
    options.refuseStor = "refused";
    Serve(options);
    const auto job = AddJob();
    UploadSession window;
    ASSERT_TRUE(window.ConnectToFTP(job));
    LogLines log;
    const std::string file = Local("refused.txt", "r");
    EXPECT_FALSE(window.UploadFile(file, "refused.txt", ""));
    EXPECT_EQ(log.lines, (Lines{"FTP Info: FtpPutFile error code: 12003 Message: The server refused the request.\n",
                                "Extended Info: 553 Refused by the test server."}));
    EXPECT_EQ(window.Status(), "Uploading " + file);
    window.Unload();
}

TEST_F(FtpUploadSession, NameWithALineBreakIsPassedOverUnsent) {
    FtpServer::Options options;
    options.logCommands = true;
    Serve(options);
    const auto job = AddJob();
    UploadSession window;
    ASSERT_TRUE(window.ConnectToFTP(job));
    const std::string file = Local("evil\nDELE x.txt", "e");
    LogLines log;
    EXPECT_FALSE(window.UploadFile(file, "evil\nDELE x.txt", "home/anna/"));
    EXPECT_FALSE(window.UploadFile(file, "evil.txt", "home/an\rna/"));
    ASSERT_EQ(log.lines.size(), 2u);
    for (const auto& line : log.lines) {
        EXPECT_EQ(line.find('\n'), std::string::npos);
        EXPECT_EQ(line.find('\r'), std::string::npos);
        EXPECT_NE(line.find("line break"), std::string::npos) << line;
    }
    EXPECT_NE(log.lines[0].find("evil\\nDELE x.txt"), std::string::npos) << log.lines[0];
    for (const auto& command : server_->commands()) {
        EXPECT_EQ(command.find("evil"), std::string::npos) << command;
        EXPECT_EQ(command.find("MKD"), std::string::npos) << command;
    }
    window.Unload();
}

TEST_F(FtpUploadSession, UploadWithoutConnectionIsReported) {
    UploadSession window;
    LogLines log;
    EXPECT_FALSE(window.UploadFile(Local("a.txt", "a"), "a.txt", "home/"));
    EXPECT_EQ(log.lines, Lines{"FTP Info: FtpPutFile error code: 6 Message: "});
    window.Unload();
    EXPECT_EQ(log.lines.back(), "FTP Info: I have disconnected from the server.");
}

}  // namespace

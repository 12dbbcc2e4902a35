// Where a file goes on the server, and how outside text goes into a line.

#include "ftp/FtpErrors.h"
#include "ftp/modFTP.h"
#include "shell/StatusLog.h"
#include "tests/support/Fixtures.h"
#include "sync/RemotePath.h"

#include <gtest/gtest.h>

namespace {

TEST(GetRemoteFolder, MapsTheLocalFolderBelowTheRemoteDirectory) {
    struct Case { const char* fullPath; const char* name; const char* remote; const char* upload; };
    const Case cases[] = {
        {"/home/anna/docs/report.txt", "report.txt", "/home/anna/docs/", "home/anna/docs/"},
        {"/data/a.txt", "a.txt", "/data/", "data/"},
        {"/a.txt", "a.txt", "/", ""},  // a root job's files land in the remote directory itself
        {"/x/y z/b c.doc", "b c.doc", "/x/y z/", "x/y z/"},
        {"/mnt/c:/data/d:e.txt", "d:e.txt", "/mnt/c:/data/", "mnt/c:/data/"},  // ":" is ordinary
        {"/srv/back\\slash/f.txt", "f.txt", "/srv/back\\slash/", "srv/back\\slash/"},
        {"/tmp/it's/O'Brien.txt", "O'Brien.txt", "/tmp/it's/", "tmp/it's/"},
        {"/Tmp/MiXeD/Ärger ß.txt", "Ärger ß.txt", "/Tmp/MiXeD/", "Tmp/MiXeD/"},
        {"/p/100%_#1/x", "x", "/p/100%_#1/", "p/100%_#1/"},
        {"a.txt", "a.txt", "", ""},  // a name as long as the path leaves nothing
    };
    for (const auto& c : cases) {
        const std::string remote = syncrun::GetRemoteFolder(c.fullPath, c.name);
        EXPECT_EQ(remote, c.remote) << c.fullPath;
        EXPECT_EQ(syncrun::UploadFolder(remote), c.upload) << c.fullPath;
    }
}

TEST(OneLine, OutsideTextCannotSplitALineOrReachTheTerminal) {
    struct Case { std::string text, shown; };
    const Case cases[] = {
        {"plain /a b/c.txt", "plain /a b/c.txt"},
        {"Ärger ß €  𝄞", "Ärger ß €  𝄞"},
        {"a\r\nAll Sync's Complete", "a\\r\\nAll Sync's Complete"},
        {std::string("t\tab\0z", 6), "t\\tab\\0z"},
        {"\x1b[2J\x7f", "\\x1b[2J\\x7f"},
        {"latin1 \xe9t\xe9", "latin1 \\xe9t\\xe9"},
        {"c1 \xc2\x9b" "31m", "c1 \\xc2\\x9b31m"},
        {"overlong \xc0\xaf \xe0\x80\xaf", "overlong \\xc0\\xaf \\xe0\\x80\\xaf"},
        {"cut \xe2\x82", "cut \\xe2\\x82"},
        {"back\\slash", "back\\slash"},
    };
    for (const auto& c : cases) EXPECT_EQ(OneLine(c.text), c.shown) << c.shown;

    // A hostile server's reply of several lines stays on its one line.
    testsupport::LineRecorder log;
    ftp::SetLastError(ftp::ERROR_INTERNET_EXTENDED_ERROR, "550-no\nAll Sync's Complete\r\n550 \x1b[2Jend");
    ftp::ReportInternetError(ftp::ERROR_INTERNET_EXTENDED_ERROR, "FtpPutFile");
    EXPECT_EQ(log.Lines().back(), "Extended Info: 550-no\\nAll Sync's Complete\\r\\n550 \\x1b[2Jend");
}

}  // namespace

// Where a file goes on the server, how outside text goes into a line, and
// the manifest's lines written and read back.

#include "ftp/FtpErrors.h"
#include "ftp/modFTP.h"
#include "base/StatusLog.h"
#include "sync/Manifest.h"
#include "sync/RemotePath.h"
#include "tests/support/Fixtures.h"

#include <gtest/gtest.h>

namespace {

TEST(GetRemoteFolder, MapsTheLocalFolderBelowTheRemoteDirectory) {
    const char* const cases[][4] = {  // full path, name, remote folder, the upload's target below the directory
        {"/home/anna/docs/report.txt", "report.txt", "/home/anna/docs/", "home/anna/docs/report.txt"},
        {"/a.txt", "a.txt", "/", "a.txt"},  // a root job's files land in the remote directory itself
        {"/c:/b\\s/it's 100%_#/Är ß:e.txt", "Är ß:e.txt", "/c:/b\\s/it's 100%_#/", "c:/b\\s/it's 100%_#/Är ß:e.txt"},
        {"/a/../../etc/./x", "x", "/a/../../etc/./", "a/etc/x"},  // no job folder reaches above the directory
        {"a.txt", "a.txt", "", "a.txt"},  // a name as long as the path leaves nothing
    };
    for (const auto& c : cases) {
        EXPECT_EQ(syncrun::GetRemoteFolder(c[0], c[1]), c[2]) << c[0];
        const ftp::RemotePath target = syncrun::RemoteTarget(c[2], c[1]);
        std::string joined;
        for (const auto& level : target.levels) joined += (joined.empty() ? "" : "/") + level;
        EXPECT_FALSE(target.absolute);
        EXPECT_EQ(joined, c[3]) << c[0];
    }
}

TEST(OneLine, OutsideTextCannotSplitALineOrReachTheTerminal) {
    const std::pair<std::string, std::string> cases[] = {
        {"plain /a b/c.txt", "plain /a b/c.txt"}, {"Ärger ß €  𝄞", "Ärger ß €  𝄞"},
        {"a\r\nAll Sync's Complete", "a\\r\\nAll Sync's Complete"}, {std::string("t\tab\0z", 6), "t\\tab\\0z"},
        {"\x1b[2J\x7f", "\\x1b[2J\\x7f"}, {"latin1 \xe9t\xe9", "latin1 \\xe9t\\xe9"},
        {"c1 \xc2\x9b" "31m", "c1 \\xc2\\x9b31m"},
        {"overlong \xc0\xaf \xe0\x80\xaf", "overlong \\xc0\\xaf \\xe0\\x80\\xaf"},
        {"cut \xe2\x82", "cut \\xe2\\x82"}, {"back\\slash", "back\\slash"}};
    for (const auto& [text, shown] : cases) EXPECT_EQ(OneLine(text), shown) << shown;
    // A hostile server's reply of several lines stays on its one line.
    testsupport::LineRecorder log;
    ftp::SetLastError(ftp::ERROR_INTERNET_EXTENDED_ERROR, "550-no\nAll Sync's Complete\r\n550 \x1b[2Jend");
    ftp::ReportInternetError(ftp::ERROR_INTERNET_EXTENDED_ERROR, "FtpPutFile");
    EXPECT_EQ(log.Lines().back(), "Extended Info: 550-no\\nAll Sync's Complete\\r\\n550 \\x1b[2Jend");
}

// Lines as md5sum writes them (escaped names start with a backslash) read back to the same
// paths; lines that are not md5sum's, or whose path leaves the job, are refused.
TEST(Manifest, LinesAsMd5sumWritesThemAndReadBackWithoutLeavingTheJob) {
    const std::string hash = "0cc175b9c0f1b6a831c399e269772661";
    const std::pair<std::string, std::string> written[] = {  // path below /job, its line ("" : none)
        {"a.txt", hash + "  a.txt\n"},
        {"sub/b c.txt", hash + "  sub/b c.txt\n"},
        {"back\\slash", "\\" + hash + "  back\\\\slash\n"},
        {"two\nlines\r", "\\" + hash + "  two\\nlines\\r\n"},
    };
    std::string text;
    std::map<std::string, std::string> hashes;
    for (const auto& [path, line] : written) {
        EXPECT_EQ(syncrun::ManifestLine({1, "/job/" + path, "/job/", path, hash}, "/job"), line) << path;
        text += line;
        hashes[path] = hash;
    }
    EXPECT_EQ(syncrun::ManifestLine({1, "/elsewhere/a.txt", "/elsewhere/", "a.txt", hash}, "/job"), "");
    EXPECT_EQ(syncrun::ManifestLine({1, "/job/a.txt", "/job/", "a.txt", "not a digest"}, "/job"), "");
    const std::vector<std::string> refused{hash + "  ../out", hash + "  /etc/passwd", hash + "  a//b",
                                           hash + "  a/../../b", hash + " one blank", "garbage", hash + "  "};
    for (const std::string& line : refused) text += line + "\n";
    text += hash + " *binary.bin\n";
    hashes["binary.bin"] = hash;
    const syncrun::Manifest manifest = syncrun::ParseManifest(text);
    EXPECT_EQ(manifest.hashes, hashes);
    EXPECT_EQ(manifest.refused, refused);
}

}  // namespace

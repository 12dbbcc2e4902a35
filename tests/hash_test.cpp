// The hash of a file's content: known MD5 digests, whole and piece by
// piece, entries that are passed over, and files that cannot be read.

#include "hash/FileHasher.h"
#include "tests/support/Fixtures.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

using hash::HashResult;
using namespace testsupport;
namespace fs = std::filesystem;

namespace {

std::string Pattern(std::size_t n) {
    std::string s(n, '\0');
    for (std::size_t i = 0; i < n; ++i) s[i] = static_cast<char>(i % 251);
    return s;
}

TEST(Hash, KnownDigestsOfFilesAndOfBytesThatComeInPieces) {
    struct Case { const char* what; std::string content; const char* md5; };
    const Case cases[] = {
        {"empty", "", "d41d8cd98f00b204e9800998ecf8427e"},
        {"abc", "abc", "900150983cd24fb0d6963f7d28e17f72"},
        {"fox", "The quick brown fox jumps over the lazy dog", "9e107d9d372bb6826bd81d3542a419d6"},
        {"CR LF NUL bytes", std::string("\r\n\0\r\0\n\xff", 7), "31a3ef100af7551d3337bb02fcdda3fa"},
        {"three chunks and a bit", Pattern(3 * 1024 * 1024 + 5), "028bfcc1395093c0df0dc731de96e1b5"},
    };
    TempDir dir;
    hash::Md5Stream stream;
    for (const auto& c : cases) {
        WriteFile(dir / c.what, c.content);
        EXPECT_EQ(hash::HashFile(dir / c.what), c.md5) << c.what;
        const HashResult r = hash::Hash(dir / c.what, true);
        EXPECT_EQ(r.status, HashResult::Status::Hashed) << c.what;
        EXPECT_EQ(r.hex, c.md5) << c.what;
        // Bytes fed in uneven pieces, after a start that was thrown away.
        stream.Update("junk", 4);
        stream.Restart();
        for (std::size_t at = 0, step = 1; at < c.content.size(); at += step, step = step * 3 + 1)
            stream.Update(c.content.data() + at, std::min(step, c.content.size() - at));
        EXPECT_EQ(stream.HexDigest(), c.md5) << c.what;
    }
    fs::create_symlink(dir / "abc", dir / "link");
    EXPECT_EQ(hash::HashFile(dir / "link"), "900150983cd24fb0d6963f7d28e17f72");
}

TEST(Hash, EntriesThatAreNotFilesArePassedOverAndUnreadableOnesSayWhy) {
    TempDir dir;
    fs::create_directory(dir / "folder");
    ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0);
    fs::create_symlink(dir / "nowhere", dir / "broken");
    fs::create_directory_symlink(dir / "folder", dir / "folderlink");
    const int sock = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(sock, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    const std::string sockPath = dir / "sock";
    std::strcpy(addr.sun_path, sockPath.c_str());
    ASSERT_EQ(::bind(sock, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    for (const std::string& path :
         {dir / "folder", dir / "fifo", dir / "broken", dir / "folderlink", sockPath, std::string("/dev/null")}) {
        const HashResult r = hash::Hash(path);
        EXPECT_EQ(r.status, HashResult::Status::NotAFile) << path;
        EXPECT_EQ(r.hex, "") << path;
    }
    ::close(sock);

    WriteFile(dir / "locked", "secret");
    fs::permissions(dir / "locked", fs::perms::none);
    PermissionsBite bite;
    for (const auto& [path, reason] : {std::pair{dir / "locked", "Permission denied"},
                                       std::pair{dir / "vanished", "No such file or directory"}}) {
        const HashResult r = hash::Hash(path);
        EXPECT_EQ(r.status, HashResult::Status::Unreadable) << path;
        EXPECT_EQ(r.reason, reason) << path;
        EXPECT_EQ(hash::HashFile(path), "") << path;
    }
}

}  // namespace

// The hash of a file's content: known MD5 digests, entries that are passed
// over, files that cannot be read, and yielding while a large file is read.

#include "hash/FileHasher.h"
#include "tests/support/TempDir.h"
#include "tests/sync_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <fcntl.h>
#include <filesystem>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

using hash::HashResult;
using testsupport::TempDir;
using testsupport::WriteFile;

namespace fs = std::filesystem;

namespace {

std::string Pattern(std::size_t n) {
    std::string s(n, '\0');
    for (std::size_t i = 0; i < n; ++i) s[i] = static_cast<char>(i % 251);
    return s;
}

TEST(HashFile, KnownDigests) {
    struct Case { const char* what; std::string content; const char* md5; };
    const Case cases[] = {
        {"empty", "", "d41d8cd98f00b204e9800998ecf8427e"},
        {"abc", "abc", "900150983cd24fb0d6963f7d28e17f72"},
        {"fox", "The quick brown fox jumps over the lazy dog", "9e107d9d372bb6826bd81d3542a419d6"},
        {"CR LF NUL bytes", std::string("\r\n\0\r\0\n\xff", 7), "31a3ef100af7551d3337bb02fcdda3fa"},
        {"three chunks and a bit", Pattern(3 * 1024 * 1024 + 5), "028bfcc1395093c0df0dc731de96e1b5"},
    };
    TempDir dir;
    for (const auto& c : cases) {
        const std::string file = dir / c.what;
        WriteFile(file, c.content);
        EXPECT_EQ(hash::HashFile(file), c.md5) << c.what;
        const HashResult r = hash::FileHasher::Instance().Hash(file);
        EXPECT_EQ(r.status, HashResult::Status::Hashed) << c.what;
        EXPECT_EQ(r.hex, c.md5) << c.what;
    }
}

TEST(HashFile, ALinkToAFileHashesItsTarget) {
    TempDir dir;
    WriteFile(dir / "target", "abc");
    fs::create_symlink(dir / "target", dir / "link");
    EXPECT_EQ(hash::HashFile(dir / "link"), "900150983cd24fb0d6963f7d28e17f72");
}

TEST(HashFile, EntriesThatAreNotFilesArePassedOver) {
    TempDir dir;
    fs::create_directory(dir / "folder");
    ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0);
    fs::create_symlink(dir / "nowhere", dir / "broken");
    fs::create_directory_symlink(dir / "folder", dir / "folderlink");

    // A socket bound to a name in the folder.
    const int sock = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(sock, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    const std::string sockPath = dir / "sock";
    ASSERT_LT(sockPath.size(), sizeof addr.sun_path);
    std::strcpy(addr.sun_path, sockPath.c_str());
    ASSERT_EQ(::bind(sock, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);

    for (const std::string& path : {dir / "folder", dir / "fifo", dir / "broken", dir / "folderlink",
                                    sockPath, std::string("/dev/null")}) {
        const HashResult r = hash::FileHasher::Instance().Hash(path);
        EXPECT_EQ(r.status, HashResult::Status::NotAFile) << path;
        EXPECT_EQ(r.hex, "") << path;
        EXPECT_EQ(hash::HashFile(path), "") << path;
    }
    ::close(sock);
}

TEST(HashFile, AFileThatCannotBeReadSaysWhy) {
    TempDir dir;
    WriteFile(dir / "locked", "secret");
    fs::permissions(dir / "locked", fs::perms::none);
    synctest::PermissionsBite bite;
    struct Case { std::string path; const char* reason; };
    const Case cases[] = {
        {dir / "locked", "Permission denied"},
        {dir / "vanished", "No such file or directory"},
    };
    for (const auto& c : cases) {
        const HashResult r = hash::FileHasher::Instance().Hash(c.path);
        EXPECT_EQ(r.status, HashResult::Status::Unreadable) << c.path;
        EXPECT_EQ(r.reason, c.reason) << c.path;
        EXPECT_EQ(hash::HashFile(c.path), "") << c.path;
    }
}

TEST(HashFile, YieldsWhileALargeFileIsRead) {
    // A sparse file: large to hash, nothing on the disk.
    TempDir dir;
    const std::string file = dir / "large";
    {
        const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT, 0600);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::ftruncate(fd, off_t{384} << 20), 0);
        ::close(fd);
    }
    using Clock = std::chrono::steady_clock;
    std::vector<Clock::time_point> yields;
    hash::FileHasher hasher;
    hasher.SetYield([&] { yields.push_back(Clock::now()); });
    const auto start = Clock::now();
    EXPECT_EQ(hasher.HashFile(file).size(), 32u);
    const auto end = Clock::now();

    // No stretch without a yield is much longer than 50 ms: the window
    // system is never kept waiting for the whole file.
    auto longest = Clock::duration::zero();
    auto last = start;
    for (const auto& t : yields) {
        longest = std::max(longest, t - last);
        last = t;
    }
    longest = std::max(longest, end - last);
    EXPECT_FALSE(yields.empty());
    EXPECT_LT(longest, std::chrono::milliseconds(200))
        << yields.size() << " yields in " << std::chrono::duration_cast<std::chrono::milliseconds>(end - start).count()
        << " ms";
}

}  // namespace

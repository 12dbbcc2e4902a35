// The hash of a file's content: known MD5 digests, whole and piece by
// piece. Entries that are no files, and files that cannot be read, go
// through whole runs in the fault tests.

#include "hash/FileHasher.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>

using hash::HashResult;
using namespace testsupport;
namespace fs = std::filesystem;

namespace {

TEST(Hash, KnownDigestsOfFilesAndOfBytesThatComeInPieces) {
    std::string chunks(3 * 1024 * 1024 + 5, '\0');  // three read chunks and a bit
    for (std::size_t i = 0; i < chunks.size(); ++i) chunks[i] = static_cast<char>(i % 251);
    const std::pair<std::string, const char*> cases[] = {
        {"", "d41d8cd98f00b204e9800998ecf8427e"}, {"abc", "900150983cd24fb0d6963f7d28e17f72"},
        {"The quick brown fox jumps over the lazy dog", "9e107d9d372bb6826bd81d3542a419d6"},
        {std::string("\r\n\0\r\0\n\xff", 7), "31a3ef100af7551d3337bb02fcdda3fa"},
        {chunks, "028bfcc1395093c0df0dc731de96e1b5"}};
    TempDir dir;
    hash::Md5Stream stream;
    for (const auto& [content, md5] : cases) {
        const std::string file = dir / std::to_string(content.size());
        WriteFile(file, content);
        const HashResult r = hash::Hash(file, true);
        EXPECT_EQ(r.status, HashResult::Status::Hashed) << file;
        EXPECT_EQ(r.hex, md5) << file;
        // Bytes fed in uneven pieces, after a start that was thrown away.
        stream.Update("junk", 4);
        stream.Restart();
        for (std::size_t at = 0, step = 1; at < content.size(); at += step, step = step * 3 + 1)
            stream.Update(content.data() + at, std::min(step, content.size() - at));
        EXPECT_EQ(stream.HexDigest(), md5) << file;
    }
    fs::create_symlink(dir / "3", dir / "link");
    EXPECT_EQ(hash::HashFile(dir / "link"), "900150983cd24fb0d6963f7d28e17f72");
}

}  // namespace

// The file check and the folder walk in whole runs against a real server on 127.0.0.1: what is sent, in
// which order, what is recorded (with which digest), what is passed over.

#include "hash/FileHasher.h"
#include "tests/support/RunFixture.h"

using namespace testsupport;

namespace {

using Lines = std::vector<std::string>;

class FileCheck : public SyncRunTest {
protected:
    // FullPath, Folder, FileName and FileHash of every record, in order.
    static Lines Rows() {
        Lines rows;
        for (auto rs = store::StoreConnection().Execute("select * from myFiles order by FileID"); !rs.Eof();
             rs.MoveNext())
            rows.push_back(rs.Fields("FullPath") + "|" + rs.Fields("Folder") + "|" + rs.Fields("FileName") + "|" +
                           rs.Fields("FileHash"));
        return rows;
    }
    static std::string Row(const std::string& path) {
        const std::string name = fs::path(path).filename();
        return path + "|" + path.substr(0, path.size() - name.size()) + "|" + name + "|" + hash::HashFile(path);
    }
};

// A first run sends each folder's files in byte order, then the folders below it, and records each with its
// digest; hidden files stay here. Replacements, sent or refused, are the later runs' and the fault tests'.
TEST_F(FileCheck, SendsNewFilesInListingOrderAndRecordsTheirDigest) {
    std::string allBytes;
    for (int i = 0; i < 256; ++i) allBytes += static_cast<char>(i);
    const std::vector<std::pair<std::string, std::string>> files{
        {"#hash.txt", "hash"}, {"100%.txt", "percent"}, {"B.txt", "B"}, {"a.txt", "hello\n"},
        {"bin.dat", std::string("\r\n\0\r\0\n", 6) + allBytes}, {"empty.bin", ""}, {"it's.txt", "apostrophe"},
        {"name with blanks.txt", "blanks"}, {"under_score.txt", "underscore"}, {"Ärger ß.txt", "umlaut"},
        {"no/c.txt", "c"}, {"sp ace's dir/x%_#.txt", "mixed"}, {"sub/one.txt", "one"},
        {"sub/deeper dir/two.txt", "two"}};
    Lines expected{"User initiated Sync", "FTP Info: Directory is changed to /backup"}, rows;
    std::string folder = "none";
    for (const auto& [name, content] : files) {
        WriteFile(Data(name), content);
        rows.push_back(Row(Data(name)));
        expected.push_back(Data(name) + " has changed");
        if (fs::path(name).parent_path() != folder) expected.push_back("FTP Info: DoneDir");
        folder = fs::path(name).parent_path();
        expected.push_back("FTP Info: File transfered!");
    }
    expected.insert(expected.end(), {"Updated: 5 Folders", kDisconnected, "All Sync's Complete"});
    WriteFile(Data(".hidden"), "never sent");
    auto server = Server("srv");
    AddJob(Data() + "/", AddProfile(server->port()));  // no second separator after the one typed
    const auto outcome = Run();
    EXPECT_TRUE(outcome.clean);
    EXPECT_EQ(outcome.filesSent, 14);
    EXPECT_EQ(log.Lines(), expected);
    EXPECT_EQ(Rows(), rows);
    EXPECT_EQ(Landed(*server, Data()), ReadTree(Data(), true));
}

// Known large files of a folder of few may be hashed out of turn (largest first, which the benchmark
// measures); what they are found to be is still said, sent and recorded in listing order.
TEST_F(FileCheck, KnownLargeFilesOfAFewAreCheckedInListingOrder) {
    const auto write = [&](char base) {
        for (int i = 0; i < 4; ++i) WriteFile(Data(std::string(1, 'a' + i)), std::string((i + 1) << 20, base + i));
    };
    write('a');
    auto server = ServeData();
    ASSERT_TRUE(Run().clean);
    write('A');
    WriteFile(Data("b"), std::string(2 << 20, 'b'));  // as it was
    EXPECT_TRUE(Run().clean);
    EXPECT_EQ(Changed(), (Lines{Data("a") + " has changed", Data("c") + " has changed", Data("d") + " has changed"}));
    EXPECT_EQ(Rows(), (Lines{Row(Data("a")), Row(Data("b")), Row(Data("c")), Row(Data("d"))}));
    EXPECT_EQ(Landed(*server, Data()), ReadTree(Data()));
}

// Each folder of a walk holds one file named after it, so the uploads show the order in which the
// folders were checked.
class FolderWalk : public FileCheck {
protected:
    void MakeTree(const std::vector<std::string>& folders, const std::string& root) {
        for (const auto& f : folders)
            WriteFile(dir / (root + "/" + f + "/" + fs::path(f).filename().string() + ".txt"), f);
        WriteFile(dir / (root + "/R.txt"), "R");
    }
    // The folders in the order checked, and the run's count of them.
    std::pair<Lines, std::string> Walk(const std::string& root) {
        store::StoreConnection().Execute("delete from Tessary");
        AddJob(dir / root, AddProfile(server->port()));
        EXPECT_TRUE(Run().completed);
        Lines order;
        for (const auto& line : Changed()) order.push_back(fs::path(line.substr(0, line.find(" has changed"))).stem());
        const auto updated = log.Matching("Updated: ");
        return {order, updated.empty() ? "" : updated[0]};
    }
    std::unique_ptr<FtpServer> server = Server("srv");
};

TEST_F(FolderWalk, DepthFirstEachFolderBeforeTheOnesBelowLinksNotFollowed) {
    MakeTree({"B", "A", "A/A2", "A/A1", "A/A1/A1x", ".cache/x"}, "R");
    WriteFile(dir / "R/.cache/.secret.txt", "hidden folders are walked, hidden files never sent");
    fs::create_directory_symlink(dir / "R", dir / "R/A/loop");
    EXPECT_EQ(Walk("R"), std::pair(Lines{"R", "x", "A", "A1", "A1x", "A2", "B"}, std::string("Updated: 8 Folders")));
}

TEST_F(FolderWalk, SkipsSystemVolumeInformationAtOddDepths) {
    const std::tuple<const char*, Lines, Lines> cases[] = {  // what; the folders; those checked
        {"depth 1", {"System Volume Information", "x"}, {"R", "x"}},
        {"any case, inside a longer name", {"old system volume information", "SYSTEM VOLUME INFORMATION Old", "y"},
         {"R", "y"}},
        {"depth 2 is checked, below it not", {"x", "x/System Volume Information", "x/System Volume Information/inner"},
         {"R", "x", "System Volume Information"}},
        {"depth 3", {"a", "a/b", "a/b/System Volume Information", "a/b/c"}, {"R", "a", "b", "c"}},
        {"the whole text", {"System Volume", "Volume Information"}, {"R", "System Volume", "Volume Information"}},
    };
    for (int i = 0; const auto& [what, folders, checked] : cases) {
        const std::string root = "R" + std::to_string(i++);
        MakeTree(folders, root);
        EXPECT_EQ(Walk(root), std::pair(checked, "Updated: " + std::to_string(checked.size()) + " Folders")) << what;
    }
}

}  // namespace

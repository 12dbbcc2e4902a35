// The file check and the folder walk against a real store and real files,
// with an uploader that only records: what is sent, in which order, what
// is recorded (with which digest), what is passed over, and the progress.

#include "hash/FileHasher.h"
#include "store/Store.h"
#include "sync/Uploads.h"
#include "sync/modFiles.h"
#include "tests/support/Fixtures.h"
#include "tests/support/TempDir.h"

#include "ftp/modFTP.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace testsupport;
namespace fs = std::filesystem;

namespace {

// Reads what it is asked to send through the tap, as the FTP layer does,
// and refuses files whose path holds `refuse`.
class RecordingUploader : public syncrun::Uploader {
public:
    bool Connect(const store::Job&, syncrun::Lines&) override { return true; }
    syncrun::Attempt MakeFolder(const ftp::RemotePath&, syncrun::Lines&) override { return syncrun::Attempt::Done; }
    syncrun::Attempt Sweep(const ftp::RemotePath&) override { return syncrun::Attempt::Done; }
    bool LeftTemporaries() const override { return false; }
    syncrun::Attempt Put(std::FILE* file, const std::string& path, const ftp::RemotePath& target, ftp::ReadTap* tap,
                         bool replacing, syncrun::Lines&) override {
        if (beforeUpload) beforeUpload(path);
        std::FILE* f = file ? file : std::fopen(path.c_str(), "rb");
        char buf[1 << 16];  // a small read first: the digest is made piece by piece
        for (std::size_t n, want = 3; f && (n = std::fread(buf, 1, want, f)) > 0; want = sizeof buf) tap->Read(buf, n);
        if (f && !file) std::fclose(f);
        if (!refuse.empty() && path.find(refuse) != std::string::npos) return syncrun::Attempt::Refused;
        std::string remote;
        for (const auto& level : target.levels) remote += (remote.empty() ? "" : "/") + level;
        sent.push_back((replacing ? "over " : "") + remote);
        return syncrun::Attempt::Done;
    }
    void Close() override {}

    std::vector<std::string> sent;  // the remote path
    std::string refuse;
    std::function<void(const std::string&)> beforeUpload;
};

class FileCheckTest : public ::testing::Test {
protected:
    void SetUp() override {
        MakeStore(dir.path());
        OpenStoreIn(dir.path());
        records.emplace(store::StoreConnection());
    }
    // One connection: the uploads start and end in listing order.
    syncrun::FileCheck& Check() {
        check.reset();
        uploads.reset();
        log.Clear();  // the last check's disconnect line
        uploads.emplace([this] { return std::make_unique<Forward>(uploader); }, 1, observer, ordered, progress);
        EXPECT_TRUE(uploads->Connect(store::Job{}));
        check.emplace(syncrun::CheckContext{1, *records, pool, *uploads, observer, progress, ordered});
        return *check;
    }
    bool CheckFolder(const std::string& folder) {
        const bool listed = Check().CheckFolder(folder);
        check->Finish();
        return listed;
    }
    // The recorder behind each connection the uploads open.
    struct Forward : RecordingUploader {
        explicit Forward(RecordingUploader& to) : to(to) {}
        syncrun::Attempt Put(std::FILE* f, const std::string& p, const ftp::RemotePath& t, ftp::ReadTap* tap, bool r,
                             syncrun::Lines& l) override {
            return to.Put(f, p, t, tap, r, l);
        }
        RecordingUploader& to;
    };
    // FullPath, Folder, FileName, FileHash and SyncID of every record, in order.
    std::vector<std::string> Rows() {
        records->Commit();
        std::vector<std::string> rows;
        for (auto rs = store::StoreConnection().Execute("select * from myFiles order by FileID"); !rs.Eof();
             rs.MoveNext())
            rows.push_back(rs.Fields("FullPath") + "|" + rs.Fields("Folder") + "|" + rs.Fields("FileName") + "|" +
                           rs.Fields("FileHash") + "|" + rs.Fields("SyncID"));
        return rows;
    }
    static std::string Row(const std::string& path, const std::string& name) {
        return path + "|" + path.substr(0, path.size() - name.size()) + "|" + name + "|" + hash::HashFile(path) + "|1";
    }
    std::string Data(const std::string& name = {}) const { return dir / ("data/" + name); }

    TempDir dir;
    LineRecorder log;
    std::optional<store::FileRecords> records;
    syncrun::HashPool pool{2};
    RecordingUploader uploader;
    struct : syncrun::RunObserver {
        void SetCurrentFile(const std::string& name) override {
            if (onCurrentFile) onCurrentFile(name);
        }
        std::function<void(const std::string&)> onCurrentFile;
    } observer;
    syncrun::ProgressMeter progress;
    syncrun::OrderedLog ordered;
    std::optional<syncrun::Uploads> uploads;
    std::optional<syncrun::FileCheck> check;
};

TEST_F(FileCheckTest, SendsNewFilesInByteOrderRecordsTheirDigestThenOnlyChangedOnes) {
    for (const char* name : {"b.txt", "a.txt", "B.txt", "it's.txt", "empty"}) WriteFile(Data(name), name == std::string("empty") ? "" : name);
    ASSERT_TRUE(CheckFolder(dir / "data/"));  // no second separator after the one typed
    const std::string folder = Data().substr(1);
    EXPECT_EQ(uploader.sent, (std::vector<std::string>{folder + "B.txt", folder + "a.txt", folder + "b.txt",
                                                       folder + "empty", folder + "it's.txt"}));
    EXPECT_EQ(Rows(), (std::vector<std::string>{Row(Data("B.txt"), "B.txt"), Row(Data("a.txt"), "a.txt"),
                                                Row(Data("b.txt"), "b.txt"), Row(Data("empty"), "empty"),
                                                Row(Data("it's.txt"), "it's.txt")}));
    EXPECT_EQ(progress.filesFound, 5);
    EXPECT_EQ(progress.filesSent, 5);
    EXPECT_EQ(progress.bytesSent, 5 + 5 + 5 + 8);

    // One changed, one changed but refused: the refused one keeps its old record.
    WriteFile(Data("a.txt"), "new a");
    WriteFile(Data("b.txt"), "new b");
    const auto before = Rows();
    uploader.sent.clear();
    uploader.refuse = "b.txt";
    log.Clear();
    ASSERT_TRUE(CheckFolder(Data()));
    EXPECT_EQ(uploader.sent, (std::vector<std::string>{"over " + folder + "a.txt"}));  // replaces the copy sent before
    EXPECT_EQ(log.Lines(), (std::vector<std::string>{Data("a.txt") + " has changed", Data("b.txt") + " has changed"}));
    auto after = before;
    after[1] = Row(Data("a.txt"), "a.txt");
    EXPECT_EQ(Rows(), after);
    EXPECT_EQ(check->Tally().uploadsFailed, 1);
}

// Known large files of a folder of few may be hashed out of turn (largest
// first, which the benchmark measures); what they are found to be is still
// said, sent and recorded in listing order, each with its own digest.
TEST_F(FileCheckTest, KnownLargeFilesOfAFewAreCheckedInListingOrder) {
    const auto write = [&](char base) {
        for (int i = 0; i < 4; ++i) WriteFile(Data(std::string(1, 'a' + i)), std::string((i + 1) << 20, base + i));
    };
    write('a');
    ASSERT_TRUE(CheckFolder(Data()));
    write('A');
    WriteFile(Data("b"), std::string(2 << 20, 'b'));  // as it was
    uploader.sent.clear();
    log.Clear();
    ASSERT_TRUE(CheckFolder(Data()));
    const std::string folder = Data().substr(1);
    EXPECT_EQ(uploader.sent, (std::vector<std::string>{"over " + folder + "a", "over " + folder + "c", "over " + folder + "d"}));
    EXPECT_EQ(log.Lines(), (std::vector<std::string>{Data("a") + " has changed", Data("c") + " has changed",
                                                     Data("d") + " has changed"}));
    EXPECT_EQ(Rows(), (std::vector<std::string>{Row(Data("a"), "a"), Row(Data("b"), "b"), Row(Data("c"), "c"), Row(Data("d"), "d")}));
}

// Unreadable files and folders go through whole runs in the fault tests.
TEST_F(FileCheckTest, AFileGoneByItsTurnIsNamedAndTheRestGoesOn) {
    for (const char* name : {"a.txt", "gone.txt", "z.txt"}) WriteFile(Data(name), name);
    // Listed (and looked at) ahead; gone when the check comes to it.
    observer.onCurrentFile = [&](const std::string& name) {
        if (name == "gone.txt") fs::remove(Data("gone.txt"));
    };
    ASSERT_TRUE(CheckFolder(Data()));
    EXPECT_EQ(log.Lines(), (std::vector<std::string>{
                               Data("a.txt") + " has changed",
                               Data("gone.txt") + " could not be read: No such file or directory",
                               Data("z.txt") + " has changed",
                           }));
    EXPECT_EQ(check->Tally().filesPassedOver, 1);
}

// Each folder of a walk holds one file named after it, so the uploads show
// the order in which the folders were checked.
class FolderWalkTest : public FileCheckTest {
protected:
    void MakeTree(const std::vector<std::string>& folders, const std::string& root = "R") {
        for (const auto& f : folders)
            WriteFile(dir / (root + "/" + f + "/" + fs::path(f).filename().string() + ".txt"), f);
        WriteFile(dir / (root + "/R.txt"), "R");
    }
    std::vector<std::string> Walk(std::int64_t& count, const std::string& root = "R") {
        uploader.sent.clear();
        count = Check().CheckFolderTree(dir / root, true);
        check->Finish();
        std::vector<std::string> order;
        for (const auto& s : uploader.sent) order.push_back(fs::path(s).stem().string());
        return order;
    }
    std::int64_t n = 0;
};

TEST_F(FolderWalkTest, DepthFirstEachFolderBeforeTheOnesBelowLinksNotFollowed) {
    MakeTree({"B", "A", "A/A2", "A/A1", "A/A1/A1x", ".cache/x"});
    WriteFile(dir / "R/.cache/.secret.txt", "hidden folders are walked, hidden files never sent");
    fs::create_directory_symlink(dir / "R", dir / "R/A/loop");
    EXPECT_EQ(Walk(n), (std::vector<std::string>{"R", "x", "A", "A1", "A1x", "A2", "B"}));
    EXPECT_EQ(n, 8);
    EXPECT_EQ(check->CheckFolderTree(dir / "R/A", false), 12);  // adds to the count
}

TEST_F(FolderWalkTest, SkipsSystemVolumeInformationAtOddDepths) {
    struct Case { const char* what; std::vector<std::string> folders, checked; };
    const std::vector<Case> cases{
        {"depth 1", {"System Volume Information", "x"}, {"R", "x"}},
        {"any case, inside a longer name", {"old system volume information", "SYSTEM VOLUME INFORMATION Old", "y"},
         {"R", "y"}},
        {"depth 2 is checked, below it not",
         {"x", "x/System Volume Information", "x/System Volume Information/inner"},
         {"R", "x", "System Volume Information"}},
        {"depth 3", {"a", "a/b", "a/b/System Volume Information", "a/b/c"}, {"R", "a", "b", "c"}},
        {"the whole text", {"System Volume", "Volume Information"}, {"R", "System Volume", "Volume Information"}},
    };
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const std::string root = "R" + std::to_string(i);
        MakeTree(cases[i].folders, root);
        EXPECT_EQ(Walk(n, root), cases[i].checked) << cases[i].what;
        EXPECT_EQ(n, static_cast<std::int64_t>(cases[i].checked.size())) << cases[i].what;
    }
}

}  // namespace

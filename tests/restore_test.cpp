// Restores against a real FTP server on 127.0.0.1: a job back into an empty
// folder, checked by its records or by the manifest alone; copies that do not
// match and files already there kept apart; the inputs a restore refuses.

#include "sync/Restore.h"
#include "tests/support/RunFixture.h"

#include <utime.h>

using namespace testsupport;

namespace {

class RestoreTest : public UnattendedRun {
protected:
    syncrun::RestoreOutcome Restore(const std::string& target, const std::string& job = {}) {
        log.Clear();
        return syncrun::RunRestore(observer, Connections(), syncrun::CurrentStore(), job.empty() ? Data() : job,
                                   target);
    }
    std::string Remote(const FtpServer& server, const std::string& rel) const {
        return server.root() + kRemoteDir + Data(rel);
    }
    // Everything below the test's folder but the store, the data, the server and the target.
    std::vector<std::string> Strays(const std::string& target) const {
        std::vector<std::string> found;
        for (const auto& entry : fs::recursive_directory_iterator(dir.path())) {
            const std::string path = entry.path().string();
            const auto below = [&](const std::string& folder) { return path.rfind(folder, 0) == 0; };
            if (!below(Data()) && !below(dir / "srv") && !below(target) && !below(dir / "information.mdb"))
                found.push_back(path);
        }
        return found;
    }
};

const std::string kLarge(300000, 'b');

// Every name, every byte and the server's times come back and are checked; a second restore into the same
// folder finds each file in place; with the records gone the manifest checks each; a byte changed on the
// server and a file of the target's own are both kept apart, never under the file's name.
TEST_F(RestoreTest, AJobComesBackWholeCheckedAndDated) {
    const Tree tree{{"a.txt", "alpha"}, {"sub/b c.txt", kLarge}, {"sub/deep/empty", ""}};
    for (const auto& [name, content] : tree) WriteFile(Data(name), content);
    auto server = ServeData();
    ASSERT_TRUE(Run().clean);
    const utimbuf then{1'000'000'000, 1'000'000'000};
    ASSERT_EQ(::utime(Remote(*server, "a.txt").c_str(), &then), 0);

    const std::string back = dir / "back";
    auto outcome = Restore(back);
    EXPECT_TRUE(outcome.clean) << testing::PrintToString(log.Lines());
    EXPECT_EQ(outcome.restored, 3);
    EXPECT_EQ(ReadTree(back), tree);
    EXPECT_EQ(std::chrono::file_clock::to_sys(fs::last_write_time(back + "/a.txt")),
              std::chrono::sys_seconds(std::chrono::seconds(1'000'000'000)));
    // In listing order, though the empty file is done long before the large one over another connection.
    EXPECT_EQ(log.Matching(" is restored"),
              (std::vector<std::string>{back + "/a.txt is restored", back + "/sub/b c.txt is restored",
                                        back + "/sub/deep/empty is restored"}));
    EXPECT_EQ(log.Lines().back(), "Restore Complete");

    EXPECT_TRUE(Restore(back).clean);
    EXPECT_EQ(log.Matching(" is already there").size(), 3u);

    store::StoreConnection().Execute("delete from myFiles");
    const std::string fresh = dir / "fresh";
    EXPECT_TRUE(Restore(fresh).clean) << testing::PrintToString(log.Lines());
    EXPECT_EQ(ReadTree(fresh), tree);

    WriteFile(Remote(*server, "sub/b c.txt"), kLarge.substr(1) + "X");
    const std::string mixed = dir / "mixed";
    WriteFile(mixed + "/a.txt", "mine");
    outcome = Restore(mixed);
    EXPECT_FALSE(outcome.clean);
    EXPECT_EQ(outcome.restored, 1);
    EXPECT_EQ(ReadTree(mixed), (Tree{{"a.txt", "mine"},
                                     {"a.txt.tessary-from-server", "alpha"},
                                     {"sub/b c.txt.tessary-mismatch", kLarge.substr(1) + "X"},
                                     {"sub/deep/empty", ""}}));
    EXPECT_EQ(log.Matching("kept"),
              (std::vector<std::string>{
                  mixed + "/a.txt is already there and differs; the server's copy is kept beside it as "
                          "a.txt.tessary-from-server",
                  mixed + "/sub/b c.txt does not match its line in the manifest; the server's copy is kept as "
                          "b c.txt.tessary-mismatch"}));
    EXPECT_EQ(log.Lines().back(), "Restore Incomplete");
}

// Each input a restore cannot take gets its line and an unclean end, and nothing is written outside the target.
TEST_F(RestoreTest, BadInputGetsItsLineAndNothingOutsideTheTarget) {
    WriteFile(Data("a.txt"), "alpha");
    WriteFile(Data("big.bin"), kLarge);
    auto server = ServeData({.logCommands = true, .dropMidRetrOf = "big.bin"});
    ASSERT_TRUE(Run().clean);
    WriteFile(dir / "file", "x");
    const std::string target = dir / "target";
    const struct {
        std::string what, job, target, says;
        std::function<void()> before;
    } cases[] = {
        {"no such job", "/no/such/job", target, "/no/such/job is not a folder job.", {}},
        {"target below a file", Data(), dir / "file/t", "The target folder " + dir / "file/t" + " could not be made: ",
         {}},
        {"a job never sent", Data("never"), target, "The server holds no copy of " + Data("never") + ".",
         [&] { AddJob(Data("never"), 1); }},
        {"a download dropped twice", Data(), target, target + "/big.bin could not be restored.", {}},
        {"a name with a control byte", Data(), target,
         target + "/bell\\x07 is passed over: its name holds control characters.",
         [&] { WriteFile(Remote(*server, "bell\a"), "ring"); }},
        {"manifest lines that climb out or are garbage", Data(), target,
         "The manifest line \"0cc175b9c0f1b6a831c399e269772661  ../../escape\" is refused.", [&] {
             store::StoreConnection().Execute("delete from myFiles");
             WriteFile(Remote(*server, syncrun::kManifestName),
                       "0cc175b9c0f1b6a831c399e269772661  ../../escape\n"
                       "0cc175b9c0f1b6a831c399e269772661  /etc/escape\nnot a line\n");
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.before) c.before();
        EXPECT_FALSE(Restore(c.target, c.job).clean);
        EXPECT_EQ(log.Matching(c.says).size(), 1u) << testing::PrintToString(log.Lines());
        EXPECT_EQ(Strays(target), std::vector<std::string>{dir / "file"});
        EXPECT_FALSE(fs::exists(dir / "escape") || fs::exists("/etc/escape"));
    }
    EXPECT_EQ(log.Matching(" is refused.").size(), 3u);
    // The file that was dropped went twice each time and left nothing; the others came back.
    const auto commands = server->commands();
    EXPECT_EQ(std::count_if(commands.begin(), commands.end(),
                            [](const std::string& c) { return c.starts_with("RETR ") && c.ends_with("/big.bin"); }),
              6);
    // Without records nor a manifest line, a.txt in the target cannot be checked: it stays, the server's beside it.
    EXPECT_EQ(ReadTree(target), (Tree{{"a.txt", "alpha"}, {"a.txt.tessary-from-server", "alpha"}}));
}

// The program's own restore: a file larger than the disk takes is removed and named, the rest is in place,
// and the exit status says so; without its two folders "/RESTORE" says what it needs.
TEST_F(RestoreTest, TheProgramRestoresAndExitsOneWhenAFileCouldNotBeWritten) {
    WriteFile(Data("small.txt"), "s");
    WriteFile(Data("large.bin"), kLarge);
    auto server = ServeData();
    ASSERT_TRUE(Run().clean);
    const std::string target = dir / "target";
    auto r = RunTessary({}, {"prlimit", "--fsize=65536"}, {"/restore", Data(), target});
    EXPECT_EQ(r.status, 1) << r.out;
    EXPECT_NE(r.out.find(target + "/large.bin could not be written: File too large"), std::string::npos) << r.out;
    EXPECT_EQ(ReadTree(target), (Tree{{"small.txt", "s"}}));
    r = RunTessary({}, {}, {"/RESTORE", Data()});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("/RESTORE needs the folder of a job and a target folder"), std::string::npos) << r.out;
}

}  // namespace

// A job's files over several connections at once, against real FTP servers
// on 127.0.0.1: the log and the records as if the files went one by one,
// a server that takes fewer connections, a file cut off every time.

#include "tests/support/RunFixture.h"

using namespace testsupport;

namespace {

class ManyConnections : public SyncRunTest {
protected:
    static void UseConnections(const std::string& n) {
        store::StoreConnection().Execute("update mySettings set FTPConnections = '" + n + "'");
    }
};

// The first file is held until every file after it has landed, and one of
// them is refused: with four connections the lines are those of one, and
// the records those of the uploads that made it.
TEST_F(ManyConnections, LaterFilesFinishingFirstChangeNoLineAndNoRecord) {
    const std::vector<std::string> names{"a.bin", "b.txt", "c-refused.txt", "f.txt", "sub/e.txt", "sub/g.txt"};
    for (const auto& name : names) WriteFile(Data(name), name);
    auto server = Server("srv", {.refuseStor = "refused"});
    const auto job = AddJob(Data(), AddProfile(server->port()), "YES");
    std::vector<std::string> lines[2];
    for (int i = 0; const char* n : {"1", "4"}) {
        SCOPED_TRACE(n);
        UseConnections(n);
        store::StoreConnection().Execute("delete from myFiles");
        fs::remove_all(server->root() + kRemoteDir + Data());
        bool heldWell = true;
        hooks.beforeUpload = [&, held = i == 1](const std::string& path) {
            if (!held || !path.ends_with("a.bin")) return;
            heldWell = WaitFor([&] { return Landed(*server, Data()).size() == names.size() - 2; }) &&
                       Records("FileName = 'a.bin'") == 0;
        };
        EXPECT_FALSE(Run().clean);
        EXPECT_TRUE(heldWell) << "the later files landed while the first was held, and it was not recorded";
        lines[i++] = log.Lines();
        EXPECT_EQ(Records("SyncID = " + std::to_string(job)), 5);
        EXPECT_EQ(Records("FileName = 'c-refused.txt'"), 0);
        EXPECT_EQ(Landed(*server, Data()).size(), 5u);
    }
    EXPECT_EQ(lines[0], lines[1]);
    EXPECT_EQ(server->logins(), 1 + 4);
}

TEST_F(ManyConnections, AServerThatTakesTwoOfFourServesTheWholeJobWithOneLine) {
    for (int i = 0; i < 8; ++i) WriteFile(Data("f" + std::to_string(i) + ".txt"), std::to_string(i));
    auto server = ServeData({.maxLogins = 2});
    UseConnections("4");
    const std::string line = "FTP Info: The server takes 2 of 4 connections; the job goes on with them.";
    // The first upload waits until a third login has been tried.
    bool tried = false;
    hooks.beforeUpload = [&](const std::string& path) {
        if (path.ends_with("f0.txt")) tried = WaitFor([&] { return hooks.logins >= 3; });
    };
    EXPECT_TRUE(Run().clean);
    EXPECT_TRUE(tried);
    EXPECT_EQ(log.Matching(" connections; "), std::vector<std::string>{line});
    EXPECT_EQ(Landed(*server, Data()), ReadTree(Data()));
    EXPECT_EQ(Records(), 8);
    EXPECT_EQ(server->logins(), 2);
    EXPECT_EQ(store::StoreConnection().Execute("select FTPConnections from mySettings").Fields("FTPConnections"), "4")
        << "the profile is left as it was";
}

// A file the server cuts off every time fails alone: the files after it go,
// on this run and the next, over one connection or several.
TEST_F(ManyConnections, AFileCutOffEveryTimeFailsAloneRunAfterRun) {
    auto server = Server("srv", {.dropMidStorOf = "c.txt"});
    const auto profile = AddProfile(server->port());
    for (const char* n : {"1", "4"}) {
        SCOPED_TRACE(n);
        const std::string folder = Data(n) + "/";
        for (const char* name : {"a.txt", "b.txt", "c.txt", "d.txt", "e.txt"}) WriteFile(folder + name, name);
        const auto job = AddJob(folder, profile);
        UseConnections(n);
        store::StoreConnection().Execute("delete from Tessary where SyncID <> " + std::to_string(job));
        for (const char* added : {"", "f.txt"}) {
            if (*added) WriteFile(folder + added, added);
            EXPECT_FALSE(Run().clean);
            EXPECT_EQ(Changed().size(), *added ? 2u : 5u) << "the second run: c.txt again, and f.txt";
            EXPECT_TRUE(log.Matching("does not answer").empty());
            EXPECT_EQ(Records("FileName = 'c.txt'"), 0);
            EXPECT_EQ(Records("SyncID = " + std::to_string(job)), *added ? 5 : 4);
            auto landed = Landed(*server, folder);
            landed.erase("c.txt");  // what came of it before the cut
            auto local = ReadTree(folder);
            local.erase("c.txt");
            EXPECT_EQ(landed, local);
        }
    }
}

}  // namespace

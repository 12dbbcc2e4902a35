// `cmake --install` of this build into a temporary prefix: the program, a
// store owned by the installing user with mode 0600 that a second install
// leaves alone, the menu entry and the icons; and, as root, the same done
// by a throwaway user whose run then works.

#include "tests/support/Spawn.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <pwd.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;
using testsupport::PlainEnv;
using testsupport::Ran;
using testsupport::Spawn;
using testsupport::TempDir;

namespace {

const std::string kBuild = TESSARY_BUILD_DIR;

Ran Install(const std::string& prefix) {
    return Spawn({TESSARY_CMAKE, "--install", kBuild, "--prefix", prefix}, PlainEnv(), std::chrono::seconds(120));
}

struct stat Stat(const std::string& file) {
    struct stat st {};
    ::stat(file.c_str(), &st);
    return st;
}

// Width and height from a PNG's header.
std::pair<int, int> PngSize(const std::string& file) {
    std::ifstream in(file, std::ios::binary);
    unsigned char header[24] = {};
    in.read(reinterpret_cast<char*>(header), sizeof header);
    const auto be32 = [&](int at) { return header[at] << 24 | header[at + 1] << 16 | header[at + 2] << 8 | header[at + 3]; };
    return {be32(16), be32(20)};
}

bool Sql(const std::string& store, const std::string& statement) {
    sqlite3* db = nullptr;
    bool ok = sqlite3_open_v2(store.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) == SQLITE_OK &&
              sqlite3_exec(db, statement.c_str(), nullptr, nullptr, nullptr) == SQLITE_OK;
    sqlite3_close(db);
    return ok;
}

int Profiles(const std::string& store) {
    sqlite3* db = nullptr;
    sqlite3_stmt* st = nullptr;
    int n = -1;
    if (sqlite3_open_v2(store.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK &&
        sqlite3_prepare_v2(db, "select count(*) from mySettings", -1, &st, nullptr) == SQLITE_OK &&
        sqlite3_step(st) == SQLITE_ROW)
        n = sqlite3_column_int(st, 0);
    sqlite3_finalize(st);
    sqlite3_close(db);
    return n;
}

TEST(Install, PutsProgramStoreMenuEntryAndIconsInThePrefix) {
    TempDir dir;
    const std::string prefix = dir / "local";
    const Ran first = Install(prefix);
    ASSERT_EQ(first.status, 0) << first.out << first.err;
    EXPECT_NE(first.out.find("Created an empty store: " + prefix + "/bin/information.mdb"), std::string::npos) << first.out;

    const std::string store = prefix + "/bin/information.mdb";
    EXPECT_TRUE(fs::is_regular_file(prefix + "/bin/tessary"));
    EXPECT_EQ(Stat(store).st_uid, ::geteuid());
    EXPECT_EQ(Stat(store).st_mode & 07777, 0600u);

    const std::string entry = prefix + "/share/applications/tessary.desktop";
    const std::string text = testsupport::ReadFile(entry);
    EXPECT_NE(text.find("\nExec=" + prefix + "/bin/tessary\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\nIcon=tessary\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\nCategories=Utility;Archiving;\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\nStartupWMClass=Tessary\n"), std::string::npos) << text;
    const Ran validate = Spawn({"desktop-file-validate", entry}, PlainEnv());
    EXPECT_EQ(validate.status, 0) << validate.err;
    EXPECT_EQ(validate.out + validate.err, "");

    for (int size : {16, 32, 48, 128, 256}) {
        const std::string px = std::to_string(size);
        EXPECT_EQ(PngSize(prefix + "/share/icons/hicolor/" + px + "x" + px + "/apps/tessary.png"),
                  std::make_pair(size, size));
    }
    EXPECT_NE(testsupport::ReadFile(prefix + "/share/icons/hicolor/scalable/apps/tessary.svg").find("<svg"),
              std::string::npos);

    // A store with the user's settings survives the next install as it is.
    ASSERT_TRUE(Sql(store, "insert into mySettings (FTPServer) values ('ftp.example.org')"));
    const Ran second = Install(prefix);
    ASSERT_EQ(second.status, 0) << second.out << second.err;
    EXPECT_EQ(second.out.find("Created an empty store"), std::string::npos) << second.out;
    EXPECT_EQ(Profiles(store), 1);
    EXPECT_EQ(Stat(store).st_mode & 07777, 0600u);
}

// A system user made for one test and removed after it.
class ThrowawayUser {
public:
    ThrowawayUser() : name_("tessary-it-" + std::to_string(::getpid())) {
        const Ran r = Spawn(
            {"/usr/sbin/useradd", "--system", "--no-create-home", "--shell", "/usr/sbin/nologin", name_}, PlainEnv());
        if (r.status != 0) return;
        if (const passwd* pw = ::getpwnam(name_.c_str())) {
            uid_ = pw->pw_uid;
            gid_ = pw->pw_gid;
        }
    }
    ~ThrowawayUser() {
        if (uid_ != 0) Spawn({"/usr/sbin/userdel", name_}, PlainEnv());
    }
    ThrowawayUser(const ThrowawayUser&) = delete;
    ThrowawayUser& operator=(const ThrowawayUser&) = delete;

    bool made() const { return uid_ != 0; }
    uid_t uid() const { return uid_; }
    gid_t gid() const { return gid_; }
    // The command run as this user, with the plain environment.
    Ran Run(std::vector<std::string> command) const {
        command.insert(command.begin(), {"/usr/sbin/runuser", "-u", name_, "--"});
        return Spawn(command, PlainEnv(), std::chrono::seconds(120));
    }

private:
    std::string name_;
    uid_t uid_ = 0;
    gid_t gid_ = 0;
};

TEST(Install, AUserInstallsIntoTheirHomeAndTheirRunWorks) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to make a throwaway user";
    const ThrowawayUser user;
    ASSERT_TRUE(user.made());
    if (user.Run({"test", "-r", kBuild + "/cmake_install.cmake"}).status != 0)
        GTEST_SKIP() << "the build folder is not readable by other users";

    TempDir dir;
    fs::permissions(dir.path(), fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                    fs::perms::others_read | fs::perms::others_exec);
    const std::string home = dir / "home";
    fs::create_directories(home);
    ASSERT_EQ(::chown(home.c_str(), user.uid(), user.gid()), 0);

    // The build's own install script; only its list of installed files
    // goes to the user's folder, as the build folder is root's here.
    std::string script = testsupport::ReadFile(kBuild + "/cmake_install.cmake");
    const std::string manifest = "\"" + kBuild + "/${CMAKE_INSTALL_MANIFEST}\"";
    const auto at = script.find(manifest);
    ASSERT_NE(at, std::string::npos);
    script.replace(at, manifest.size(), "\"" + home + "/${CMAKE_INSTALL_MANIFEST}\"");
    testsupport::WriteFile(dir / "install.cmake", script);

    const std::string prefix = home + "/.local";
    const Ran install = user.Run({TESSARY_CMAKE, "-DCMAKE_INSTALL_PREFIX=" + prefix, "-P", dir / "install.cmake"});
    ASSERT_EQ(install.status, 0) << install.out << install.err;
    const std::string store = prefix + "/bin/information.mdb";
    EXPECT_EQ(Stat(store).st_uid, user.uid());
    EXPECT_EQ(Stat(store).st_mode & 07777, 0600u);

    const Ran run = user.Run({prefix + "/bin/tessary", "/SYNC"});
    EXPECT_EQ(run.status, 0) << run.out << run.err;
    EXPECT_EQ(run.err, "");
    EXPECT_NE(run.out.find("Test Query and settings loaded\nUser initiated Sync\nAll Sync's Complete\n"),
              std::string::npos)
        << run.out;

    // Root's install is root's: the user's run says which store and why.
    const std::string system = dir / "system";
    ASSERT_EQ(Install(system).status, 0);
    const Ran refused = user.Run({system + "/bin/tessary", "/SYNC"});
    EXPECT_EQ(refused.status, 1);
    EXPECT_NE(refused.out.find("\nCould not open " + system + "/bin/information.mdb: unable to open database file\n"),
              std::string::npos)
        << refused.out;
}

}  // namespace

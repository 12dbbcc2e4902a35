// `cmake --install` of this build into a temporary prefix: the program, a store owned by the installer
// with mode 0600 that a second install leaves alone, the menu entry, the icons, the nightly run's user
// units, the man page and the metainfo; and, as root, the
// same done by a throwaway user whose run then works.

#include "store/Store.h"
#include "tests/support/Fixtures.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using testsupport::ProgramResult;
using testsupport::Has;
using testsupport::RunProgram;

const std::string kBuild = TESSARY_BUILD_DIR;
const std::vector<std::string> kPlain{"PATH=/usr/local/bin:/usr/bin:/bin:/usr/sbin:/sbin", "LANG=C.UTF-8"};

ProgramResult Install(const std::string& prefix) {
    return RunProgram(TESSARY_CMAKE, {"--install", kBuild, "--prefix", prefix}, kPlain, std::chrono::seconds(120));
}

std::pair<uid_t, unsigned> OwnerAndMode(const std::string& file) {
    struct stat st {};
    ::stat(file.c_str(), &st);
    return {st.st_uid, st.st_mode & 07777};
}

std::pair<int, int> PngSize(const std::string& file) {  // width and height from the header
    unsigned char h[24] = {};
    std::ifstream(file, std::ios::binary).read(reinterpret_cast<char*>(h), sizeof h);
    return {h[16] << 24 | h[17] << 16 | h[18] << 8 | h[19], h[20] << 24 | h[21] << 16 | h[22] << 8 | h[23]};
}

TEST(Install, PutsProgramStoreMenuEntryAndIconsInThePrefix) {
    testsupport::TempDir dir;
    const std::string prefix = dir / "local", store = prefix + "/bin/information.mdb";
    const ProgramResult first = Install(prefix);
    ASSERT_EQ(first.status, 0) << first.out << first.err;
    EXPECT_TRUE(Has(first.out, "Created an empty store: " + store)) << first.out;
    for (const char* program : {"/bin/tessary", "/bin/tessary-gui"}) EXPECT_TRUE(fs::is_regular_file(prefix + program));
    EXPECT_EQ(OwnerAndMode(store), std::make_pair(::geteuid(), 0600u));

    const std::string entry = prefix + "/share/applications/tessary.desktop", text = testsupport::ReadFile(entry);
    for (const auto& line : std::vector<std::string>{"Exec=" + prefix + "/bin/tessary", "Icon=tessary",
                                                     "Categories=Utility;Archiving;", "StartupWMClass=Tessary"})
        EXPECT_TRUE(Has(text, "\n" + line + "\n")) << line << "\n" << text;
    const ProgramResult validate = RunProgram("desktop-file-validate", {entry}, kPlain);
    EXPECT_EQ(std::to_string(validate.status) + validate.out + validate.err, "0") << "valid, without even a hint";
    for (int size : {16, 32, 48, 128, 256}) {
        const std::string px = std::to_string(size);
        EXPECT_EQ(PngSize(prefix + "/share/icons/hicolor/" + px + "x" + px + "/apps/tessary.png"),
                  std::make_pair(size, size));
    }
    EXPECT_TRUE(Has(testsupport::ReadFile(prefix + "/share/icons/hicolor/scalable/apps/tessary.svg"), "<svg"));
    // The nightly run's user units start this install's program; the man page and metainfo come along.
    EXPECT_TRUE(Has(testsupport::ReadFile(prefix + "/lib/systemd/user/tessary-sync.service"),
                    "\nExecStart=" + prefix + "/bin/tessary /SYNC\n"));
    for (const char* file : {"/lib/systemd/user/tessary-sync.timer", "/share/man/man1/tessary.1",
                             "/share/metainfo/org.example.tessary.metainfo.xml"})
        EXPECT_TRUE(fs::is_regular_file(prefix + file)) << file;

    // A store with the user's settings survives the next install as it is.
    testsupport::OpenStoreIn(prefix + "/bin");
    store::StoreConnection().Execute("insert into mySettings (FTPServer) values ('ftp.example.org')");
    store::StoreConnection().Close();
    const ProgramResult second = Install(prefix);
    ASSERT_EQ(second.status, 0) << second.out << second.err;
    EXPECT_FALSE(Has(second.out, "Created an empty store")) << second.out;
    testsupport::OpenStoreIn(prefix + "/bin");
    EXPECT_EQ(testsupport::Count("mySettings"), 1);
    store::StoreConnection().Close();
    EXPECT_EQ(OwnerAndMode(store).second, 0600u);
}

TEST(Install, AUserInstallsIntoTheirHomeAndTheirRunWorks) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to make a throwaway user";
    const std::string name = "tessary-it-" + std::to_string(::getpid());
    ASSERT_EQ(RunProgram("/usr/sbin/useradd", {"--system", "--no-create-home", "--shell", "/usr/sbin/nologin", name},
                         kPlain).status, 0);
    struct Removed { std::string n; ~Removed() { RunProgram("/usr/sbin/userdel", {n}, kPlain); } } const gone{name};
    const passwd* pw = ::getpwnam(name.c_str());
    ASSERT_NE(pw, nullptr);
    const auto as = [&](std::vector<std::string> command) {  // with the plain environment
        command.insert(command.begin(), {"-u", name, "--"});
        return RunProgram("/usr/sbin/runuser", command, kPlain, std::chrono::seconds(120));
    };
    if (as({"test", "-r", kBuild + "/cmake_install.cmake"}).status != 0)
        GTEST_SKIP() << "the build folder is not readable by other users";

    testsupport::TempDir dir;
    fs::permissions(dir.path(), fs::perms(0755));
    const std::string home = dir / "home";
    fs::create_directories(home);
    ASSERT_EQ(::chown(home.c_str(), pw->pw_uid, pw->pw_gid), 0);

    // The build's own install script; only its list of installed files
    // goes to the user's folder, as the build folder is root's here.
    std::string script = testsupport::ReadFile(kBuild + "/cmake_install.cmake");
    const std::string manifest = "\"" + kBuild + "/${CMAKE_INSTALL_MANIFEST}\"";
    const auto at = script.find(manifest);
    ASSERT_NE(at, std::string::npos);
    script.replace(at, manifest.size(), "\"" + home + "/${CMAKE_INSTALL_MANIFEST}\"");
    testsupport::WriteFile(dir / "install.cmake", script);

    const std::string prefix = home + "/.local";
    const ProgramResult install = as({TESSARY_CMAKE, "-DCMAKE_INSTALL_PREFIX=" + prefix, "-P", dir / "install.cmake"});
    ASSERT_EQ(install.status, 0) << install.out << install.err;
    EXPECT_EQ(OwnerAndMode(prefix + "/bin/information.mdb"), std::make_pair(pw->pw_uid, 0600u));
    const ProgramResult run = as({prefix + "/bin/tessary", "/SYNC"});
    EXPECT_EQ(run.status, 0) << run.out << run.err;
    EXPECT_EQ(run.err, "");
    EXPECT_TRUE(Has(run.out, "Test Query and settings loaded\nUser initiated Sync\nAll Sync's Complete\n")) << run.out;

    // Root's install is root's: the user's run says which store and why.
    const std::string system = dir / "system";
    ASSERT_EQ(Install(system).status, 0);
    const ProgramResult refused = as({system + "/bin/tessary", "/SYNC"});
    EXPECT_EQ(refused.status, 1);
    EXPECT_TRUE(Has(refused.out, "\nCould not open " + system + "/bin/information.mdb: unable to open database file\n"))
        << refused.out;
}

}  // namespace

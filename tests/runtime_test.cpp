// Runtime services: the /SYNC switch, the numeric test, the command line.

#include "shell/Runtime.h"

#include <gtest/gtest.h>

namespace {

TEST(SyncSwitch, FoundAnywhereInAnyCase) {
    struct Case { const char* line; bool sync; };
    const Case cases[] = {
        {"/SYNC", true},       {"/sync", true},         {"/SyNc", true},
        {"/SYNCHRONISE", true}, {"-x /Sync", true},     {"abc/syncdef", true},
        {"", false},            {"SYNC", false},        {"/SYN C", false},
        {"/ SYNC", false},      {"\\SYNC", false},      {"/SYN", false},
    };
    for (const auto& c : cases) EXPECT_EQ(runtime::HasSyncSwitch(c.line), c.sync) << c.line;
}

TEST(SyncSwitch, CommandJoinsArgumentsWithBlanks) {
    char prog[] = "tessary", a[] = "one", b[] = "/sy", c[] = "nc";
    char* argv[] = {prog, a, b, c, nullptr};
    runtime::SetCommandLine(4, argv);
    EXPECT_EQ(runtime::Command(), "one /sy nc");
    EXPECT_FALSE(runtime::HasSyncSwitch(runtime::Command()));
}

TEST(IsNumeric, AcceptsNumbersAndRefusesTheRest) {
    for (const char* yes : {"21", "0", "-5", "+7", " 21 ", "21.5", ".5", "5.", "1e3", "1E+3", "2.5e-2", "65536"})
        EXPECT_TRUE(runtime::IsNumeric(yes)) << yes;
    for (const char* no : {"", " ", "abc", "21a", "a21", "1e", "e3", ".", "-", "1.2.3", "2 1", "0x15"})
        EXPECT_FALSE(runtime::IsNumeric(no)) << no;
}

TEST(AppPath, IsTheExecutablesFolderWithoutTrailingSlash) {
    const std::string path = runtime::AppPath();
    ASSERT_FALSE(path.empty());
    EXPECT_NE(path.back(), '/');
    EXPECT_EQ(path.front(), '/');
}

}  // namespace

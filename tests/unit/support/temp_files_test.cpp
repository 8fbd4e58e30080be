// Temporary directory choice and random names, over a fake environment.
#include <gtest/gtest.h>

#include <set>

#include "patch/fake_patch_ports.h"
#include "support/temp_files.h"

namespace hotfix {
namespace {

TEST(ExistenceTest, DirectoriesAndFiles) {
    fakes::FakeTempEnvironment environment;
    environment.AddDirectory("C:\\Dir");
    environment.AddFile("C:\\File.txt");
    environment.attributes["C:\\ReadOnlyDir"] = 0x11;

    EXPECT_TRUE(DirectoryExists(environment, "C:\\Dir"));
    EXPECT_TRUE(DirectoryExists(environment, "C:\\ReadOnlyDir"));
    EXPECT_FALSE(DirectoryExists(environment, "C:\\File.txt"));
    EXPECT_FALSE(DirectoryExists(environment, "C:\\Missing"));
    EXPECT_FALSE(DirectoryExists(environment, ""));
    EXPECT_FALSE(DirectoryExists(environment, nullptr));

    EXPECT_TRUE(FileExists(environment, "C:\\Dir"));
    EXPECT_TRUE(FileExists(environment, "C:\\File.txt"));
    EXPECT_FALSE(FileExists(environment, "C:\\Missing"));
}

struct TempCase {
    const char* name;
    std::optional<std::string> temp, tmp;
    const char* fallback;
    std::string expected;
};

class TempDirectoryTest : public ::testing::TestWithParam<TempCase> {};

TEST_P(TempDirectoryTest, FirstExistingDirectoryWithOneTrailingBackslash) {
    const TempCase& c = GetParam();
    fakes::FakeTempEnvironment environment;
    environment.AddDirectory("C:\\Temp");
    environment.AddDirectory("C:\\Temp\\");
    environment.AddDirectory("D:\\Tmp");
    environment.AddDirectory("E:\\Fallback");
    environment.AddFile("C:\\plain.txt");
    if (c.temp) environment.variables["TEMP"] = *c.temp;
    if (c.tmp) environment.variables["TMP"] = *c.tmp;
    EXPECT_EQ(TempDirectory(environment, c.fallback), c.expected) << c.name;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TempDirectoryTest,
    ::testing::Values(
        TempCase{"TEMP without backslash", "C:\\Temp", "D:\\Tmp", nullptr, "C:\\Temp\\"},
        TempCase{"TEMP with backslash", "C:\\Temp\\", std::nullopt, nullptr, "C:\\Temp\\"},
        TempCase{"TEMP unset", std::nullopt, "D:\\Tmp", nullptr, "D:\\Tmp\\"},
        TempCase{"TEMP a plain file", "C:\\plain.txt", "D:\\Tmp", nullptr, "D:\\Tmp\\"},
        TempCase{"TEMP empty", "", "D:\\Tmp", nullptr, "D:\\Tmp\\"},
        TempCase{"both missing, fallback", "C:\\Gone", "D:\\Gone", "E:\\Fallback", "E:\\Fallback\\"},
        TempCase{"fallback missing too", "C:\\Gone", std::nullopt, "E:\\Gone", ""},
        TempCase{"nothing and null fallback", std::nullopt, std::nullopt, nullptr, ""}));

// In a double-byte code page a directory whose last character has the trail byte 0x5C does
// not end in a backslash.
TEST(TempDirectoryDoubleByte, TrailByteIsNoBackslash) {
    fakes::FakeTempEnvironment environment;
    fakes::ShiftJisCodePage codePage;
    environment.codePage = &codePage;
    for (const std::string temp : {"C:\\\x95\x5C", "C:\\\x95\x5C\\"}) {
        environment.AddDirectory(temp);
        environment.variables["TEMP"] = temp;
        EXPECT_EQ(TempDirectory(environment, nullptr), "C:\\\x95\x5C\\");
    }
}

TEST(RandomLetterTest, ScalesTheRangeInProportion) {
    const struct { long long draw, randMax; char letter; } cases[] = {
        {0, 32767, 'A'}, {1260, 32767, 'A'}, {1261, 32767, 'B'}, {16384, 32767, 'N'},
        {32767, 32767, 'Z'}, {2147483647LL, 2147483647LL, 'Z'}, {0, 2147483647LL, 'A'},
    };
    for (const auto& c : cases) EXPECT_EQ(RandomLetter(c.draw, c.randMax), c.letter) << c.draw;
}

TEST(RandomNameTest, EightCapitalsSameWithinASecond) {
    fakes::FakeTempEnvironment environment;
    std::set<std::string> names;
    for (int second = 0; second < 20; ++second) {
        environment.now = 1'700'000'000 + second;
        const std::string name = RandomName(environment);
        ASSERT_EQ(name.size(), 8u);
        for (char ch : name) EXPECT_TRUE(ch >= 'A' && ch <= 'Z') << name;
        EXPECT_EQ(RandomName(environment), name);   // the same second reseeds alike
        names.insert(name);
    }
    EXPECT_GT(names.size(), 15u);   // other seconds give, as a rule, other names
}

} // namespace
} // namespace hotfix

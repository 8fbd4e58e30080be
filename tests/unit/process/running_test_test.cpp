#include "process/running_test.h"

#include <gtest/gtest.h>

#include "fakes/fake_platform.h"
#include "process/fake_processes.h"
#include "process/process_list.h"

namespace hotfix {
namespace {

using fakes::FakeProcess;
using fakes::FakeProcessSource;

const std::string kApp = "C:\\Program Files\\Tarnovex\\Tarnovex.exe";

class RunningTestOverTable : public ::testing::Test {
protected:
    FakeProcessSource source;
    fakes::SingleByteCodePage codePage;

    bool Stopped(const std::string& path) { return IsApplicationStopped(path, source, codePage); }
};

TEST_F(RunningTestOverTable, ProcessWithTheSamePathIsRunning) {
    source.processes = {{4, "System", std::nullopt}, {1200, "Tarnovex.exe", kApp}};
    EXPECT_FALSE(Stopped(kApp));
}

TEST_F(RunningTestOverTable, EntryZeroIsNeverCompared) {
    source.processes = {{0, "[System Process]", kApp}, {8, "explorer.exe", "C:\\windows\\explorer.exe"}};
    EXPECT_TRUE(Stopped(kApp));
}

TEST_F(RunningTestOverTable, WithoutEntryPointsNoPathIsRead) {
    source.processes = {{1200, "Tarnovex.exe", kApp}};
    source.entryPointsFound = false;
    EXPECT_FALSE(Stopped(kApp)) << "the bare file name decides";
    EXPECT_TRUE(source.log.pathsRead.empty());
    EXPECT_TRUE(source.log.libraryUnloaded);
}

TEST_F(RunningTestOverTable, NoSnapshotOrEmptyWalkMeansStopped) {
    source.processes = {{1200, "Tarnovex.exe", kApp}};
    source.snapshotTaken = false;
    EXPECT_TRUE(Stopped(kApp));

    source.snapshotTaken = true;
    source.firstSucceeds = false;
    EXPECT_TRUE(Stopped(kApp));
    EXPECT_TRUE(source.log.snapshotClosed);
}

TEST_F(RunningTestOverTable, EveryProcessIsReadBeforeAnyComparison) {
    source.processes = {{0, "[System Process]", std::nullopt},
                        {1200, "Tarnovex.exe", kApp},
                        {1300, "Tarnovex.exe", kApp},
                        {1400, "notepad.exe", "C:\\windows\\notepad.exe"}};
    EXPECT_FALSE(Stopped(kApp));
    EXPECT_EQ(source.log.pathsRead, (std::vector<std::uint32_t>{0, 1200, 1300, 1400}));
}

TEST_F(RunningTestOverTable, EachTestTakesAFreshList) {
    source.processes = {{1200, "Tarnovex.exe", kApp}};
    EXPECT_FALSE(Stopped(kApp));
    source.processes.clear();
    EXPECT_TRUE(Stopped(kApp));
}

TEST_F(RunningTestOverTable, ListAndLibraryAreReleasedBeforeTheAnswer) {
    source.processes = {{1200, "Tarnovex.exe", kApp}};
    EXPECT_FALSE(Stopped(kApp));
    EXPECT_TRUE(source.log.libraryLoaded);
    EXPECT_TRUE(source.log.libraryUnloaded);
    EXPECT_TRUE(source.log.snapshotClosed);
    EXPECT_TRUE(source.log.tokenClosed);
}

// The comparison of a listed path with the given one, as whole texts.
struct MatchCase {
    const char* name;
    std::string listed;
    std::string given;
    bool running;
};

class PathMatchTable : public ::testing::TestWithParam<MatchCase> {};

TEST_P(PathMatchTable, ComparesWholePathsFoldingAsciiOnly) {
    const MatchCase& c = GetParam();
    FakeProcessSource source;
    fakes::SingleByteCodePage codePage;
    source.processes = {{1200, "x.exe", c.listed}};
    EXPECT_EQ(!IsApplicationStopped(c.given, source, codePage), c.running);
}

const std::string kLong = "C:\\" + std::string(280, 'd') + "\\App.exe";

INSTANTIATE_TEST_SUITE_P(
    Paths, PathMatchTable,
    ::testing::Values(
        MatchCase{"Same", kApp, kApp, true},
        MatchCase{"OtherAsciiCase", "c:\\PROGRAM FILES\\tarnovex\\TARNOVEX.EXE", kApp, true},
        MatchCase{"OtherAccentCase", "C:\\Caf\xE9\\App.exe", "C:\\Caf\xC9\\App.exe", false},
        MatchCase{"SameAccent", "C:\\Caf\xE9\\App.exe", "C:\\caf\xE9\\app.exe", true},
        MatchCase{"OtherDirectory", "D:\\Tarnovex\\Tarnovex.exe", kApp, false},
        MatchCase{"ShortForm", "C:\\PROGRA~1\\Tarnovex\\Tarnovex.exe", kApp, false},
        MatchCase{"GivenIsPrefix", kApp + ".old", kApp, false},
        MatchCase{"ListedIsPrefix", kApp, kApp + " ", false},
        // A path longer than 259 characters is listed cut to 259, which no longer equals it.
        MatchCase{"LongPathIsCut", kLong, kLong, false},
        MatchCase{"LongPathEqualsItsCut", kLong, kLong.substr(0, 259), true}),
    [](const ::testing::TestParamInfo<MatchCase>& info) { return std::string(info.param.name); });

// A process whose path cannot be read (a 64-bit process seen from a 32-bit installer) is
// listed under its bare file name, which decides against the installed executable's name.
struct UnreadCase {
    const char* name;
    fakes::FakeProcess process;
    bool libraryLoads;
    bool running;
};

class UnreadPathTable : public ::testing::TestWithParam<UnreadCase> {};

TEST_P(UnreadPathTable, BareFileNameDecidesWhereThePathCannotBeRead) {
    const UnreadCase& c = GetParam();
    FakeProcessSource source;
    fakes::SingleByteCodePage codePage;
    source.processes = {c.process};
    source.libraryLoads = c.libraryLoads;
    EXPECT_EQ(!IsApplicationStopped(kApp, source, codePage), c.running);
}

INSTANTIATE_TEST_SUITE_P(
    Unread, UnreadPathTable,
    ::testing::Values(
        UnreadCase{"SameName", {1200, "Tarnovex.exe", std::nullopt}, true, true},
        UnreadCase{"SameNameOtherCase", {1200, "TARNOVEX.EXE", std::nullopt}, true, true},
        UnreadCase{"OtherName", {1200, "Sellidor.exe", std::nullopt}, true, false},
        UnreadCase{"NameIsLonger", {1200, "Tarnovex.exe.old", std::nullopt}, true, false},
        // A path that was read decides: another copy under the same name is not the application.
        UnreadCase{"ReadPathOfAnotherCopy", {1200, "Tarnovex.exe", "D:\\Old\\Tarnovex.exe"}, true, false},
        UnreadCase{"NoLibrarySameName", {1200, "Tarnovex.exe", kApp}, false, true},
        UnreadCase{"NoLibraryOtherName", {1200, "Sellidor.exe", std::nullopt}, false, false}),
    [](const ::testing::TestParamInfo<UnreadCase>& info) { return std::string(info.param.name); });

TEST(RunningTestDoubleByte, PairsCompareAsOneCharacter) {
    FakeProcessSource source;
    fakes::ShiftJisCodePage codePage;
    // 0x95 0x5C is one character whose trail byte is a backslash; full-width a/A fold.
    const std::string listed = "C:\\\x95\x5C\\\x82\x81.exe";
    source.processes = {{1200, "x.exe", listed}};
    EXPECT_FALSE(IsApplicationStopped("c:\\\x95\x5C\\\x82\x60.EXE", source, codePage));
    EXPECT_TRUE(IsApplicationStopped("c:\\\x95\x5D\\\x82\x60.EXE", source, codePage));
}

// The installed executable's file name ends after its last separator of its own: a trail
// byte 0x5C splits nothing.
TEST(RunningTestDoubleByte, UnreadProcessMatchesTheWholeDoubleByteFileName) {
    FakeProcessSource source;
    fakes::ShiftJisCodePage codePage;
    source.processes = {{1200, "\x95\x5C.exe", std::nullopt}};
    EXPECT_FALSE(IsApplicationStopped("C:\\App\\\x95\x5C.exe", source, codePage));
    source.processes = {{1200, ".exe", std::nullopt}};
    EXPECT_TRUE(IsApplicationStopped("C:\\App\\\x95\x5C.exe", source, codePage));
}

TEST(ProcessEntry, PathIsHeldAsInATwoHundredSixtyByteBuffer) {
    ProcessEntry entry;
    EXPECT_EQ(entry.ProcessId(), 0u);
    EXPECT_EQ(entry.Path(), "");
    entry.SetPath(std::string(300, 'p'));
    EXPECT_EQ(entry.Path().size(), 259u);
    entry.SetPath(std::string("C:\\a.exe\0junk", 13));
    EXPECT_EQ(entry.Path(), "C:\\a.exe");
}

TEST(BuildProcessList, KeepsWalkOrderAndFallsBackToBareNames) {
    FakeProcessSource source;
    source.processes = {{0, "[System Process]", std::nullopt},
                        {4, "System", std::nullopt},
                        {1200, "Tarnovex.exe", kApp}};
    const std::unique_ptr<ProcessList> list = BuildProcessList(source);
    ASSERT_TRUE(list);
    ASSERT_EQ(list->Size(), 3u);
    EXPECT_EQ(list->At(0).Path(), "[System Process]");
    EXPECT_EQ(list->At(1).ProcessId(), 4u);
    EXPECT_EQ(list->At(1).Path(), "System");
    EXPECT_EQ(list->At(2).Path(), kApp);
    // The library lives as long as the list.
    EXPECT_FALSE(source.log.libraryUnloaded);
}

TEST(BuildProcessList, DebugPrivilegeIsOnForTheWalkAndOffAfterIt) {
    FakeProcessSource source;
    source.processes = {{4, "System", std::nullopt}, {1200, "Tarnovex.exe", kApp}};
    for (std::uint32_t before : {0u, kPrivilegeEnabled}) {
        source.heldPrivileges = {{20, before}};
        source.log = {};
        ASSERT_TRUE(BuildProcessList(source));
        EXPECT_EQ(source.log.privilegeOnWhileReading, (std::vector<bool>{true, true}));
        EXPECT_EQ(source.heldPrivileges.at(20) & kPrivilegeEnabled, 0u) << "before: " << before;
        EXPECT_TRUE(source.log.tokenClosed);
    }
}

TEST(BuildProcessList, WalksWithoutThePrivilegeOrTheToken) {
    FakeProcessSource source;
    source.processes = {{1200, "Tarnovex.exe", kApp}};
    source.heldPrivileges.clear();   // not held: switching it on fails, the walk goes on
    std::unique_ptr<ProcessList> list = BuildProcessList(source);
    ASSERT_TRUE(list);
    EXPECT_EQ(list->At(0).Path(), kApp);

    source.tokenOpens = false;
    list = BuildProcessList(source);
    ASSERT_TRUE(list);
    EXPECT_EQ(list->At(0).Path(), kApp);
}

TEST(ProcessRunningTest, AnswersThroughTheRunPort) {
    FakeProcessSource source;
    fakes::SingleByteCodePage codePage;
    ProcessRunningTest test(source, codePage);
    RunningTest& port = test;
    source.processes = {{1200, "Tarnovex.exe", kApp}};
    EXPECT_FALSE(port.IsApplicationStopped(kApp));
    EXPECT_TRUE(port.IsApplicationStopped("C:\\Other\\Tarnovex.exe"));
}

} // namespace
} // namespace hotfix

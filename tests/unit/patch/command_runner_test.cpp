// The command runner's decisions: the per-cycle verdict, the strict whole-second limit, the
// capture text, and the whole run over a scripted child.
#include <gtest/gtest.h>

#include "patch/command_runner.h"
#include "patch/fake_patch_ports.h"
#include "support/temp_files.h"

namespace hotfix {
namespace {

struct CycleCase {
    const char* name;
    CycleFacts facts;
    CycleDecision expected;
};

class DecideCycleTest : public ::testing::TestWithParam<CycleCase> {};

TEST_P(DecideCycleTest, Decides) {
    EXPECT_EQ(DecideCycle(GetParam().facts), GetParam().expected) << GetParam().name;
}

// facts: exit code, ended, limit, start, now
INSTANTIATE_TEST_SUITE_P(
    Cases, DecideCycleTest,
    ::testing::Values(
        CycleCase{"running, no limit", {259, false, -1, 100, 0}, CycleDecision::KeepWaiting},
        CycleCase{"ended, no limit", {0, true, -1, 100, 0}, CycleDecision::Finished},
        CycleCase{"ended with a failure code", {1, true, -1, 100, 0}, CycleDecision::Finished},
        CycleCase{"exited with 259 itself", {259, true, -1, 100, 0}, CycleDecision::Finished},
        CycleCase{"negative limit never passes", {259, false, -5, 100, 100000}, CycleDecision::KeepWaiting},
        CycleCase{"limit reached in the ending cycle", {0, true, 1, 100, 102}, CycleDecision::TimedOut},
        CycleCase{"limit reached while running", {259, false, 1, 100, 102}, CycleDecision::TimedOut},
        CycleCase{"limit equal is not passed", {259, false, 1, 100, 101}, CycleDecision::KeepWaiting},
        CycleCase{"ended just within the limit", {0, true, 1, 100, 101}, CycleDecision::Finished}));

TEST(TimeLimitPassedTest, StrictWholeSecondsAndPositiveOnly) {
    EXPECT_FALSE(TimeLimitPassed(0, 100, 1000));
    EXPECT_FALSE(TimeLimitPassed(-1, 100, 1000));
    EXPECT_FALSE(TimeLimitPassed(2, 100, 102));
    EXPECT_TRUE(TimeLimitPassed(2, 100, 103));
}

TEST(CapturedTextTest, CutsAtZeroAndTurnsCrLfIntoLf) {
    const struct { std::string in, out; } cases[] = {
        {"", ""},
        {"one\r\ntwo\r\n", "one\ntwo\n"},
        {std::string("before\0after\r\n", 14), "before"},
        {"lone\rcarriage\n\r", "lone\rcarriage\n\r"},
        {"\r\r\n", "\r\n"},
    };
    for (const auto& c : cases) EXPECT_EQ(CapturedText(c.in), c.out) << c.in;
}

class RunCommandTest : public ::testing::Test {
protected:
    fakes::FakeTempEnvironment environment;
    fakes::FakeChildProcessHost host{environment};

    std::uint32_t Run(int limit, std::string* output = nullptr) {
        return RunCommand(host, environment, "child.exe arg", 1, limit, output);
    }
};

TEST_F(RunCommandTest, StartFailureReturnsThePlatformCodeAndHoldsNothing) {
    host.startError = 2;
    EXPECT_EQ(Run(-1), 2u);
    EXPECT_EQ(host.calls, std::vector<std::string>{"start"});
}

TEST_F(RunCommandTest, ZeroLimitDoesNotWait) {
    EXPECT_EQ(Run(0), 0u);
    EXPECT_EQ(host.calls, (std::vector<std::string>{"start", "release"}));
}

TEST_F(RunCommandTest, NegativeLimitServesTheQueueThenSleepsEachCycleUntilTheChildEnds) {
    host.exitCodes = {259, 259, 3};
    host.secondsPerCycle = 100;
    EXPECT_EQ(Run(-1), 0u);
    EXPECT_EQ(host.Count("sleep 250"), 3);
    EXPECT_EQ(host.Count("terminate"), 0);
    const std::vector<std::string> firstCycle = {"start", "serve", "sleep 250", "exit", "ended"};
    EXPECT_EQ(std::vector<std::string>(host.calls.begin(), host.calls.begin() + 5), firstCycle);
    EXPECT_EQ(host.calls.back(), "release");
}

TEST_F(RunCommandTest, LimitPassingInTheCycleTheChildEndsIsATimeOut) {
    host.exitCodes = {259, 0};
    host.secondsPerCycle = 1;   // start at s, cycle 1 at s+1, cycle 2 at s+2 > s+1
    EXPECT_EQ(Run(1), kErrorTimeout);
    EXPECT_EQ(host.terminatedWith, kErrorTimeout);
    EXPECT_EQ(host.Count("sleep 250"), 2);
    EXPECT_EQ(host.calls.back(), "release");
}

TEST_F(RunCommandTest, ChildEndingWithinTheLimitIsNotTerminated) {
    host.exitCodes = {259, 0};
    host.secondsPerCycle = 0;
    EXPECT_EQ(Run(1), 0u);
    EXPECT_EQ(host.Count("terminate"), 0);
}

TEST_F(RunCommandTest, ChildExitingWith259IsToldByItsHandle) {
    host.exitCodes = {259};
    host.endedWhileStillActive = true;
    EXPECT_EQ(Run(-1), 0u);
    EXPECT_EQ(host.Count("sleep 250"), 1);
}

TEST_F(RunCommandTest, OutputIsCapturedThroughAFileNamedAfterARedirection) {
    environment.variables["TEMP"] = "C:\\Temp";
    environment.AddDirectory("C:\\Temp");
    host.exitCodes = {0};
    host.captureBytes = std::string("line 1\r\nline 2\r\n");
    std::string output = "previous";

    EXPECT_EQ(Run(-1, &output), 0u);
    EXPECT_EQ(output, "line 1\nline 2\n");
    const std::string& path = host.takenCapturePath;
    ASSERT_EQ(path.size(), std::string("C:\\Temp\\ABCDEFGH.txt").size());
    EXPECT_EQ(path.substr(0, 8), "C:\\Temp\\");
    EXPECT_EQ(path.substr(16), ".txt");
    EXPECT_EQ(host.startedCommandLine, "child.exe arg > " + path);
    EXPECT_EQ(host.calls.back(), "take");
}

TEST_F(RunCommandTest, CapturePathIsDrawnAgainWhileItExists) {
    environment.tick = 1;   // each reading of the clock is a new second, so names change
    const std::string taken = TempDirectory(environment, nullptr) + RandomName(environment) + ".txt";
    environment.now -= 1;   // the runner's first draw sees the same second
    environment.AddFile(taken);
    host.startError = 2;

    std::string output;
    Run(-1, &output);
    EXPECT_NE(host.takenCapturePath, taken);
    EXPECT_EQ(host.takenCapturePath.size(), 12u);   // bare name: no temporary directory exists
}

TEST_F(RunCommandTest, CaptureIsReadAfterAFailedStartAndAfterNoWait) {
    host.captureBytes = std::string("partial");
    std::string output;
    host.startError = 2;
    EXPECT_EQ(Run(-1, &output), 2u);
    EXPECT_EQ(output, "partial");
    host.startError = 0;
    host.captureBytes = std::string("more");
    EXPECT_EQ(Run(0, &output), 0u);
    EXPECT_EQ(output, "more");
}

TEST_F(RunCommandTest, UnreadableCaptureLeavesOutputAsItWas) {
    host.exitCodes = {0};
    std::string output = "kept";
    EXPECT_EQ(Run(-1, &output), 0u);
    EXPECT_EQ(output, "kept");
}

TEST_F(RunCommandTest, NoOutputWantedLeavesTheCommandLineAlone) {
    host.exitCodes = {0};
    Run(-1);
    EXPECT_EQ(host.startedCommandLine, "child.exe arg");
    EXPECT_EQ(host.startedShowMode, 1);
    EXPECT_EQ(host.Count("take"), 0);
}

} // namespace
} // namespace hotfix

// What the patch sequence reports for a log, and how it runs the engine when told to: the
// events in step order, the engine's exit code and captured output, and nothing at all
// reported or changed when nobody listens.
#include <gtest/gtest.h>

#include "patch/command_runner.h"
#include "patch/patch_sequence.h"
#include "patch/fake_patch_ports.h"

namespace hotfix {
namespace {

const std::string kDir = "C:\\Apps\\";

class RecordingEvents final : public PatchEvents {
public:
    std::vector<std::string> lines;
    void PayloadWritten(const std::string& path, int result) override {
        lines.push_back("written " + path + " " + std::to_string(result));
    }
    void EngineRan(const std::string& directory, const std::string& commandLine, std::uint32_t runResult,
                   bool hasExitCode, std::uint32_t exitCode, const std::string& output) override {
        lines.push_back("ran " + directory + " " + commandLine + " result " + std::to_string(runResult) + " exit " +
                        (hasExitCode ? std::to_string(exitCode) : "-") + " [" + output + "]");
    }
    void FileDeleted(const std::string& path, Removal removal) override {
        lines.push_back("deleted " + path + " " + std::to_string(static_cast<int>(removal)));
    }
};

// Runs like the platform's runner would: gives the engine's exit code and, when asked, output.
class ScriptedRunner final : public CommandRunner {
public:
    std::vector<int> showModes;
    std::vector<bool> wantedOutput;
    std::uint32_t exitCode = 0;
    std::optional<std::uint32_t> last;
    std::uint32_t RunCommand(const std::string& commandLine, int showMode, int, std::string* output) override {
        showModes.push_back(showMode);
        wantedOutput.push_back(output != nullptr);
        if (output) *output = "report of " + commandLine.substr(commandLine.rfind(' ') + 1);
        last = exitCode++;
        return 0;
    }
    std::optional<std::uint32_t> LastExitCode() const override { return last; }
};

class PatchEventsTest : public ::testing::Test {
protected:
    fakes::FakeDisk disk;
    fakes::FakePayloadStore store{disk};
    fakes::FakeFileOperations files{disk};
    ScriptedRunner runner;
    RecordingEvents events;
    PatchSequence sequence{PatchServices{store, files, runner, EngineRunMode{}, nullptr}};

    void SetUp() override {
        store.available = {store.Upper(kEngineFrontEnd), store.Upper(kEngineLibrary), "HOTFIX_KTV410_722_HOTFIX1.RTP",
                           "HOTFIX_KTV410_722_HOTFIX2.RTP", "HOTFIX_KTV430_722_HOTFIX1.RTP"};
    }
};

TEST_F(PatchEventsTest, WithoutListenerTheEngineRunsAsAlways) {
    EXPECT_EQ(sequence.ApplyPatches(kDir, 1), 1);
    EXPECT_EQ(runner.showModes, (std::vector<int>{1, 1}));
    EXPECT_EQ(runner.wantedOutput, (std::vector<bool>{false, false}));
}

TEST_F(PatchEventsTest, ReportsEveryStepInOrderWithExitCodeAndOutput) {
    sequence.Configure(EngineRunMode{0, true}, &events);
    EXPECT_EQ(sequence.ApplyPatches(kDir, 1), 1);
    EXPECT_EQ(runner.showModes, (std::vector<int>{0, 0}));
    const std::vector<std::string> expected = {
        "written " + kDir + kEngineFrontEnd + " 1",
        "written " + kDir + kEngineLibrary + " 1",
        "written C:\\Apps\\HOTFIX_KTV410_722_HOTFIX1.RTP 1",
        "ran C:\\Apps\\ " + EngineCommandLine("HOTFIX_KTV410_722_HOTFIX1.RTP") + " result 0 exit 0 "
        "[report of HOTFIX_KTV410_722_HOTFIX1.RTP]",
        "deleted C:\\Apps\\HOTFIX_KTV410_722_HOTFIX1.RTP 0",
        "written C:\\Apps\\HOTFIX_KTV410_722_HOTFIX2.RTP 1",
        "ran C:\\Apps\\ " + EngineCommandLine("HOTFIX_KTV410_722_HOTFIX2.RTP") + " result 0 exit 1 "
        "[report of HOTFIX_KTV410_722_HOTFIX2.RTP]",
        "deleted C:\\Apps\\HOTFIX_KTV410_722_HOTFIX2.RTP 0",
        "deleted " + kDir + kEngineLibrary + " 0",
        "deleted " + kDir + kEngineFrontEnd + " 0",
    };
    EXPECT_EQ(events.lines, expected);
}

TEST_F(PatchEventsTest, HiddenWithoutCaptureAndFailuresReported) {
    sequence.Configure(EngineRunMode{0, false}, &events);
    store.available.erase(store.Upper(kEngineLibrary));
    EXPECT_EQ(sequence.ApplyPatches(kDir, 3), 0);
    EXPECT_TRUE(runner.showModes.empty());
    EXPECT_EQ(events.lines, (std::vector<std::string>{"written " + kDir + kEngineFrontEnd + " 1",
                                                      "written " + kDir + kEngineLibrary + " 0",
                                                      "deleted " + kDir + kEngineFrontEnd + " 0"}));

    events.lines.clear();
    store.available.insert(store.Upper(kEngineLibrary));
    EXPECT_EQ(sequence.ApplyPatches(kDir, 3), 1);
    EXPECT_EQ(runner.wantedOutput, (std::vector<bool>{false}));
    EXPECT_NE(events.lines.at(3).find(" []"), std::string::npos) << events.lines.at(3);
}

TEST_F(PatchEventsTest, ConfiguredBackToDefaultReportsNothing) {
    sequence.Configure(EngineRunMode{0, true}, &events);
    sequence.Configure(EngineRunMode{}, nullptr);
    EXPECT_EQ(sequence.ApplyPatches(kDir, 3), 1);
    EXPECT_TRUE(events.lines.empty());
    EXPECT_EQ(runner.showModes, (std::vector<int>{1}));
    EXPECT_EQ(runner.wantedOutput, (std::vector<bool>{false}));
}

TEST(RunCommandExitCodeTest, GivenOnlyWhenTheChildWasWaitedForToItsEnd) {
    fakes::FakeTempEnvironment environment;
    fakes::FakeChildProcessHost host{environment};
    std::optional<std::uint32_t> exitCode = 7u;

    host.exitCodes = {259, 3};
    EXPECT_EQ(RunCommand(host, environment, "engine", 0, -1, nullptr, &exitCode), 0u);
    EXPECT_EQ(exitCode, std::optional<std::uint32_t>(3));

    host.exitCodes = {259};
    EXPECT_EQ(RunCommand(host, environment, "engine", 0, 0, nullptr, &exitCode), 0u);
    EXPECT_FALSE(exitCode) << "not waited for";

    exitCode = 7u;
    host.startError = 2;
    EXPECT_EQ(RunCommand(host, environment, "engine", 0, -1, nullptr, &exitCode), 2u);
    EXPECT_FALSE(exitCode) << "never started";

    exitCode = 7u;
    host.startError = 0;
    host.exitCodes = {259};
    host.secondsPerCycle = 1;
    EXPECT_EQ(RunCommand(host, environment, "engine", 0, 1, nullptr, &exitCode), 1460u);
    EXPECT_FALSE(exitCode) << "timed out";
}

} // namespace
} // namespace hotfix

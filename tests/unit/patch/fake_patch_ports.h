#pragma once
// In-memory stand-ins for the patch application's ports. One FakeDisk is shared by the store,
// the file operations and the runner, so a test sees what stood on disk at every step.
#include <algorithm>
#include <cctype>
#include <deque>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "fakes/fake_platform.h"
#include "platform/patch_ports.h"

namespace hotfix::fakes {

struct FakeDisk {
    std::set<std::string> files;          // full paths
    std::vector<std::string> events;      // "write X", "cd X", "run X", "delete X", ...
    std::string currentDirectory;
};

// Payloads by name, found whatever the letter case (as the platform's lookup does).
class FakePayloadStore final : public PayloadStore {
public:
    explicit FakePayloadStore(FakeDisk& disk) : m_disk(disk) {}
    std::set<std::string> available;   // upper-case names

    int ExtractPayload(const std::string& directory, const std::string& name) override {
        if (!available.count(Upper(name))) {
            m_disk.events.push_back("missing " + name);
            return 0;
        }
        m_disk.files.insert(directory + name);
        m_disk.events.push_back("write " + name);
        return 1;
    }
    Removal RemovePayload(const std::string& directory, const std::string& name) override {
        if (!m_disk.files.erase(directory + name)) return Removal::Absent;
        m_disk.events.push_back("delete " + name);
        return Removal::Removed;
    }

    static std::string Upper(std::string text) {
        for (char& ch : text) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
        return text;
    }

private:
    FakeDisk& m_disk;
};

class FakeFileOperations final : public FileOperations {
public:
    explicit FakeFileOperations(FakeDisk& disk) : m_disk(disk) {}
    std::vector<std::uint32_t> pauses;

    // Every file on the disk below `directory`, by its relative path.
    void VisitEntries(const std::string& directory, const std::function<bool(const std::string&)>& visit) override {
        for (const std::string& path : m_disk.files)
            if (path.compare(0, directory.size(), directory) == 0 && !visit(path.substr(directory.size()))) return;
    }
    bool ChangeDirectory(const std::string& directory) override {
        m_disk.currentDirectory = directory;
        m_disk.events.push_back("cd " + directory);
        return true;
    }
    void Pause(std::uint32_t milliseconds) override { pauses.push_back(milliseconds); }

private:
    FakeDisk& m_disk;
};

// Records each run with the current directory and the files on disk at that moment.
class FakeCommandRunner final : public CommandRunner {
public:
    explicit FakeCommandRunner(FakeDisk& disk) : m_disk(disk) {}
    struct Run {
        std::string commandLine;
        int showMode;
        int timeLimitSeconds;
        bool wantedOutput;
        std::string currentDirectory;
        std::set<std::string> filesPresent;
    };
    std::vector<Run> runs;

    std::uint32_t RunCommand(const std::string& commandLine, int showMode, int timeLimitSeconds,
                             std::string* output) override {
        runs.push_back({commandLine, showMode, timeLimitSeconds, output != nullptr,
                        m_disk.currentDirectory, m_disk.files});
        m_disk.events.push_back("run " + commandLine);
        return 0;
    }

private:
    FakeDisk& m_disk;
};

// Environment variables, file attributes and a clock that can tick on every reading.
class FakeTempEnvironment final : public TempEnvironment {
public:
    std::map<std::string, std::string> variables;
    std::map<std::string, std::uint32_t> attributes;   // path -> attributes
    std::int64_t now = 1'700'000'000;
    std::int64_t tick = 0;                             // added after every reading of the clock
    std::vector<std::string> attributeQueries;

    void AddDirectory(const std::string& path) { attributes[path] = 0x10; }
    void AddFile(const std::string& path) { attributes[path] = 0x20; }

    std::optional<std::string> Variable(const std::string& name) override {
        auto it = variables.find(name);
        if (it == variables.end()) return std::nullopt;
        return it->second;
    }
    std::optional<std::uint32_t> Attributes(const std::string& path) override {
        attributeQueries.push_back(path);
        auto it = attributes.find(path);
        if (it == attributes.end()) return std::nullopt;
        return it->second;
    }
    std::int64_t Now() override {
        const std::int64_t value = now;
        now += tick;
        return value;
    }
    const CodePage& AnsiCodePage() const override { return *codePage; }
    const CodePage* codePage = &singleByte;

private:
    SingleByteCodePage singleByte;
};

// A child process whose exit code readings are scripted; the clock of `environment` advances
// by `secondsPerCycle` with every sleep.
class FakeChildProcessHost final : public ChildProcessHost {
public:
    explicit FakeChildProcessHost(FakeTempEnvironment& environment) : m_environment(environment) {}

    std::uint32_t startError = 0;
    std::deque<std::uint32_t> exitCodes;     // one per reading; the last one repeats
    bool endedWhileStillActive = false;      // the handle is signalled although the code reads 259
    std::int64_t secondsPerCycle = 0;
    std::optional<std::string> captureBytes; // what the capture file holds; empty: cannot be opened

    std::vector<std::string> calls;          // "start", "serve", "sleep 250", "exit", "ended", ...
    std::string startedCommandLine;
    int startedShowMode = -1;
    std::uint32_t terminatedWith = 0;
    std::string takenCapturePath;

    std::uint32_t Start(const std::string& commandLine, int showMode) override {
        calls.push_back("start");
        startedCommandLine = commandLine;
        startedShowMode = showMode;
        return startError;
    }
    void ServeMessages() override { calls.push_back("serve"); }
    void Sleep(std::uint32_t milliseconds) override {
        calls.push_back("sleep " + std::to_string(milliseconds));
        m_environment.now += secondsPerCycle;
    }
    std::uint32_t ExitCode() override {
        calls.push_back("exit");
        const std::uint32_t code = exitCodes.empty() ? 259 : exitCodes.front();
        if (exitCodes.size() > 1) exitCodes.pop_front();
        return code;
    }
    bool HasEnded() override {
        calls.push_back("ended");
        return endedWhileStillActive;
    }
    void Terminate(std::uint32_t exitCode) override {
        calls.push_back("terminate");
        terminatedWith = exitCode;
    }
    void Release() override { calls.push_back("release"); }
    std::optional<std::string> TakeCaptureFile(const std::string& path) override {
        calls.push_back("take");
        takenCapturePath = path;
        return captureBytes;
    }

    int Count(const std::string& call) const {
        return static_cast<int>(std::count(calls.begin(), calls.end(), call));
    }

private:
    FakeTempEnvironment& m_environment;
};

} // namespace hotfix::fakes

#pragma once
// In-memory stand-ins for the installer's ports, for unit tests of the core.
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "app/hotfix_run.h"
#include "patch/patch_step.h"
#include "platform/code_page.h"
#include "platform/file_lookup.h"
#include "platform/machine_records.h"
#include "platform/registry.h"
#include "platform/user_interface.h"
#include "platform/version_source.h"
#include "process/running_test.h"

namespace hotfix::fakes {

// A single-byte code page (1252): no lead bytes.
class SingleByteCodePage final : public CodePage {
public:
    bool IsLeadByte(unsigned char) const override { return false; }
    bool IsDoubleByte() const override { return false; }
    unsigned char UpperSingle(unsigned char ch) const override {
        return (ch >= 'a' && ch <= 'z') ? static_cast<unsigned char>(ch - 32) : ch;
    }
    std::string UpperDouble(unsigned char lead, unsigned char trail) const override {
        return std::string{static_cast<char>(lead), static_cast<char>(trail)};
    }
};

// Code page 932 as far as tests need it: lead bytes 0x81-0x9F and 0xE0-0xFC; full-width
// Latin small letters (0x82 0x81..0x82 0x9A) map to capitals (0x82 0x60..0x82 0x79).
class ShiftJisCodePage final : public CodePage {
public:
    bool IsLeadByte(unsigned char b) const override {
        return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
    }
    bool IsDoubleByte() const override { return true; }
    unsigned char UpperSingle(unsigned char ch) const override {
        return (ch >= 'a' && ch <= 'z') ? static_cast<unsigned char>(ch - 32) : ch;
    }
    std::string UpperDouble(unsigned char lead, unsigned char trail) const override {
        if (lead == 0x82 && trail >= 0x81 && trail <= 0x9A) trail = static_cast<unsigned char>(trail - 0x21);
        return std::string{static_cast<char>(lead), static_cast<char>(trail)};
    }
};

// HKEY_CLASSES_ROOT as a map from subkey to default value; a missing subkey cannot be opened.
// HKEY_LOCAL_MACHINE's multi-strings as a map from "subkey\value name" to what reading finds;
// one not in the map is missing.
class FakeRegistry final : public Registry {
public:
    std::map<std::string, std::string> values;
    std::map<std::string, MultiStringRead> machineValues;
    std::vector<std::uint32_t> bufferSizes;   // every buffer size asked for

    // Puts `data` in `subkey`\`name` as a REG_MULTI_SZ value.
    void SetMultiString(const std::string& subkey, const std::string& name, const std::string& data) {
        machineValues[subkey + "\\" + name] = MultiStringRead{MultiStringRead::State::Read, 0, data};
    }

    MultiStringRead ReadMachineMultiString(const std::string& subkey, const std::string& name) override {
        auto it = machineValues.find(subkey + "\\" + name);
        return it == machineValues.end() ? MultiStringRead{} : it->second;
    }

    std::optional<std::string> ReadClassesRootDefault(const std::string& subkey,
                                                       std::uint32_t bufferSize) override {
        bufferSizes.push_back(bufferSize);
        auto it = values.find(subkey);
        if (it == values.end()) return std::nullopt;
        if (it->second.size() + 1 > bufferSize) return std::nullopt;   // ERROR_MORE_DATA
        return it->second.substr(0, it->second.find('\0'));
    }
};

// A file system as a map from a path (matched without regard to ASCII case) to the entry's
// stored name. Records every look-up.
class FakeFileLookup final : public FileLookup {
public:
    std::map<std::string, std::string> stored;   // upper-cased path -> stored name
    std::vector<std::string> lookups;

    void Add(const std::string& path, const std::string& name) { stored[Upper(path)] = name; }

    std::optional<std::string> FindStoredName(const std::string& path) override {
        lookups.push_back(path);
        auto it = stored.find(Upper(path));
        if (it == stored.end()) return std::nullopt;
        return it->second;
    }

    static std::string Upper(std::string text) {
        for (char& c : text)
            if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
        return text;
    }
};

class FakeVersionSource final : public VersionSource {
public:
    std::map<std::string, FileVersion> versions;   // by exact path
    bool shiftDown = false;
    int shiftQueries = 0;
    std::vector<std::string> reads;

    std::optional<FileVersion> ReadFileVersion(const std::string& path) override {
        reads.push_back(path);
        auto it = versions.find(path);
        if (it == versions.end()) return std::nullopt;
        return it->second;
    }
    bool IsShiftDown() override {
        ++shiftQueries;
        return shiftDown;
    }
};

// Answers with a queue of buttons (then OK); records every message shown.
class FakeUserInterface final : public UserInterface {
public:
    struct Shown {
        std::string text;
        unsigned style;
    };
    std::vector<Shown> shown;
    std::vector<int> answers;

    int ShowMessage(const std::string& text, unsigned style) override {
        shown.push_back({text, style});
        if (answers.empty()) return kAnswerOk;
        const int answer = answers.front();
        answers.erase(answers.begin());
        return answer;
    }
};

class FakeSleeper final : public Sleeper {
public:
    std::vector<unsigned> pauses;
    void Sleep(unsigned milliseconds) override { pauses.push_back(milliseconds); }
};

class FakeRunningTest final : public RunningTest {
public:
    std::vector<bool> answers;   // one per call; true (stopped) once they run out
    std::vector<std::string> asked;
    bool IsApplicationStopped(const std::string& path) override {
        asked.push_back(path);
        if (answers.empty()) return true;
        const bool answer = answers.front();
        answers.erase(answers.begin());
        return answer;
    }
};

// Calls `onApply` (which may change the fake versions) and returns `result`. An interrupted
// engine run is there while `interrupted` says so; settling clears it unless `settleFails`.
class FakePatchStep final : public PatchStep {
public:
    struct Call {
        std::string directory;
        int productCode;
    };
    std::vector<Call> calls;
    std::vector<Call> settles;
    int result = 1;
    std::function<void()> onApply;
    bool interrupted = false;
    bool settleFails = false;

    int ApplyPatches(const std::string& directory, int productCode) override {
        calls.push_back({directory, productCode});
        if (onApply) onApply();
        return result;
    }
    // Each reverse patch file run, by name; `onFile` may change the fake versions.
    std::vector<std::string> files;
    std::function<void(const std::string&)> onFile;
    int ApplyPatchFile(const std::string&, const std::string& patchFile) override {
        files.push_back(patchFile);
        if (onFile) onFile(patchFile);
        return result;
    }
    bool HasInterruptedRun(const std::string&) override { return interrupted; }
    int SettleInterruptedRun(const std::string& directory, int productCode) override {
        settles.push_back({directory, productCode});
        if (!settleFails) interrupted = false;
        return 1;
    }
};

// HKEY_LOCAL_MACHINE's keys as a map from subkey to values (numbers as their decimal text),
// and kept copies of the installer by "folder\file name"; the date is fixed.
class FakeMachineRecords final : public MachineRecords {
public:
    std::map<std::string, std::map<std::string, std::string>> keys;
    std::set<std::string> copies;
    std::uint32_t failWrites = 0;   // the error every write returns; 0: writes go through

    MachineKeyRead ReadKey(const std::string& subkey) override {
        const auto found = keys.find(subkey);
        if (found == keys.end()) return MachineKeyRead();
        return MachineKeyRead{MachineKeyRead::State::Read, 0, found->second};
    }
    std::uint32_t WriteKey(const std::string& subkey, const std::vector<RegistryValue>& values) override {
        if (failWrites) return failWrites;
        for (const RegistryValue& value : values)
            keys[subkey][value.name] = value.number ? std::to_string(*value.number) : value.text;
        return 0;
    }
    std::uint32_t DeleteKey(const std::string& subkey) override {
        keys.erase(subkey);
        return 0;
    }
    std::string Today() override { return "2026-12-09"; }
    KeptCopy KeepInstaller(const std::string& folder, const std::string& fileName) override {
        copies.insert(folder + "\\" + fileName);
        return KeptCopy{"C:\\Common Files\\" + folder + "\\" + fileName, std::string(), 0};
    }
    CopyRemoval DropInstaller(const std::string& folder, const std::string& fileName, std::uint32_t& code) override {
        code = 0;
        return copies.erase(folder + "\\" + fileName) ? CopyRemoval::Deleted : CopyRemoval::Absent;
    }
};

// Every fake a hotfix run reaches, wired into one context.
struct FakeRunPlatform {
    FakeRegistry registry;
    FakeFileLookup files;
    SingleByteCodePage codePage;
    FakeVersionSource versions;
    FakeRunningTest runningTest;
    FakePatchStep patchStep;
    FakeUserInterface ui;
    FakeMachineRecords records;
    HotfixContext context{registry, files, codePage, versions, runningTest, patchStep, ui, &records};
};

} // namespace hotfix::fakes

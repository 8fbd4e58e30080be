#pragma once
// In-memory stand-ins for the process source and the access token.
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/privilege_token.h"
#include "platform/process_source.h"

namespace hotfix::fakes {

constexpr std::uint32_t kEnabledByDefault = 0x00000001;

// A token that holds some privileges, with the platform's adjustment rules: only the enabled
// bit changes, the earlier state is reported only for a privilege whose state changed, and a
// privilege the token does not hold leaves "not all assigned".
class FakeToken final : public PrivilegeToken {
public:
    struct Adjustment {
        SinglePrivilegeRecord newState;
        std::uint32_t bufferLength = 0;
        bool askedPreviousState = false;
        std::uint32_t previousLengthOnEntry = 0;
    };

    std::map<std::string, PrivilegeLuid> known{{"SeDebugPrivilege", {20, 0}},
                                               {"SeBackupPrivilege", {17, 0}}};
    std::map<std::uint32_t, std::uint32_t> held;   // LUID low part -> attributes
    std::vector<Adjustment> adjustments;
    std::optional<std::uint32_t> failAdjustment;   // index of an adjustment that fails outright
    bool* closed = nullptr;                        // set when the token is destroyed
    std::map<std::uint32_t, std::uint32_t>* persistTo = nullptr;   // receives `held` on close
    FakeToken** forgetIn = nullptr;                                 // nulled on close

    ~FakeToken() override {
        if (closed) *closed = true;
        if (persistTo) *persistTo = held;
        if (forgetIn) *forgetIn = nullptr;
    }

    std::optional<PrivilegeLuid> LookupPrivilege(const std::string& name) override {
        auto it = known.find(name);
        if (it == known.end()) return std::nullopt;
        return it->second;
    }

    std::uint32_t Adjust(const SinglePrivilegeRecord& newState, std::uint32_t bufferLength,
                         SinglePrivilegeRecord* previousState, std::uint32_t* returnLength) override {
        adjustments.push_back({newState, bufferLength, previousState != nullptr,
                               returnLength ? *returnLength : 0});
        if (failAdjustment && *failAdjustment == adjustments.size() - 1) return 5;   // access denied
        SinglePrivilegeRecord previous;
        auto it = held.find(newState.luid.lowPart);
        if (it != held.end()) {
            const std::uint32_t old = it->second;
            const std::uint32_t now = (old & ~kPrivilegeEnabled) | (newState.attributes & kPrivilegeEnabled);
            if (now != old) {
                previous.count = 1;
                previous.luid = newState.luid;
                previous.attributes = old;
            }
            it->second = now;
        }
        if (previousState) {
            *previousState = previous;
            *returnLength = previous.count == 1 ? kSinglePrivilegeRecordLength : 4;
        }
        return it == held.end() ? kTokenNotAllAssigned : kTokenSuccess;
    }

    bool Enabled(std::uint32_t luidLow) const {
        auto it = held.find(luidLow);
        return it != held.end() && (it->second & kPrivilegeEnabled) != 0;
    }
};

// One process of the fake table: what the walk yields and what its module path reads as.
struct FakeProcess {
    std::uint32_t id = 0;
    std::string exeFile;
    std::optional<std::string> fullPath;   // nullopt: the process cannot be read
};

// What the fake source saw, kept outside the objects it hands out (they die with the list).
struct ProcessSourceLog {
    std::vector<std::uint32_t> pathsRead;   // process ids, in the order they were read
    bool libraryLoaded = false;
    bool libraryUnloaded = false;
    bool snapshotClosed = false;
    bool tokenClosed = false;
    // Whether the debug privilege was on in the token each time a path was read.
    std::vector<bool> privilegeOnWhileReading;
};

// A process table in a vector, with switches for every failure the platform can have.
class FakeProcessSource final : public ProcessSource {
public:
    std::vector<FakeProcess> processes;
    bool libraryLoads = true;
    bool entryPointsFound = true;
    bool tokenOpens = true;
    bool snapshotTaken = true;
    bool firstSucceeds = true;
    std::map<std::uint32_t, std::uint32_t> heldPrivileges{{20, 0}};   // SeDebugPrivilege, off
    ProcessSourceLog log;
    FakeToken* lastToken = nullptr;   // the open token, while the list is being built

    std::unique_ptr<ProcessStatusLibrary> LoadStatusLibrary() override {
        if (!libraryLoads) return nullptr;
        log.libraryLoaded = true;
        return std::make_unique<Library>(*this);
    }

    std::unique_ptr<PrivilegeToken> OpenOwnToken() override {
        if (!tokenOpens) return nullptr;
        auto token = std::make_unique<FakeToken>();
        token->held = heldPrivileges;
        token->closed = &log.tokenClosed;
        token->persistTo = &heldPrivileges;
        token->forgetIn = &lastToken;
        lastToken = token.get();
        return token;
    }

    std::unique_ptr<ProcessSnapshot> TakeSnapshot() override {
        if (!snapshotTaken) return nullptr;
        return std::make_unique<Snapshot>(*this);
    }

private:
    class Library final : public ProcessStatusLibrary {
    public:
        explicit Library(FakeProcessSource& source) : m_source(source) {}
        ~Library() override { m_source.log.libraryUnloaded = true; }
        bool FindEntryPoints() override { return m_source.entryPointsFound; }
        std::optional<std::string> ReadExecutablePath(std::uint32_t processId) override {
            m_source.log.pathsRead.push_back(processId);
            m_source.log.privilegeOnWhileReading.push_back(m_source.lastToken &&
                                                           m_source.lastToken->Enabled(20));
            for (const FakeProcess& process : m_source.processes)
                if (process.id == processId) return process.fullPath;
            return std::nullopt;
        }

    private:
        FakeProcessSource& m_source;
    };

    class Snapshot final : public ProcessSnapshot {
    public:
        explicit Snapshot(FakeProcessSource& source) : m_source(source) {}
        ~Snapshot() override { m_source.log.snapshotClosed = true; }
        bool First(SnapshotRecord& record) override {
            m_next = 0;
            if (!m_source.firstSucceeds) return false;
            return Next(record);
        }
        bool Next(SnapshotRecord& record) override {
            if (m_next >= m_source.processes.size()) return false;
            const FakeProcess& process = m_source.processes[m_next++];
            record.processId = process.id;
            record.exeFile = process.exeFile;
            return true;
        }

    private:
        FakeProcessSource& m_source;
        std::size_t m_next = 0;
    };
};

} // namespace hotfix::fakes

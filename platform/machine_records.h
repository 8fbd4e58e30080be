#pragma once
// Port: what the installer records on the machine outside the application directory, so that
// the hotfix can be removed later: keys under HKEY_LOCAL_MACHINE, always in the 64-bit view of
// the registry (the x86 and the x64 installer then read and write the same keys), and a kept
// copy of the installer in a folder of its own under the common program files folder. Only
// administrators can write to either.
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace hotfix {

struct RegistryValue {
    std::string name;
    std::string text;                      // a REG_SZ value, unless `number` is set
    std::optional<std::uint32_t> number;   // a REG_DWORD value
};

// What reading one key found.
struct MachineKeyRead {
    enum class State {
        Read,      // `strings` holds its REG_SZ values by name (values of other types are left out)
        Missing,   // there is no such key
        Failed,    // it could not be read; `code` holds the registry's error code
    };
    State state = State::Missing;
    std::uint32_t code = 0;
    std::map<std::string, std::string> strings;
};

// The kept copy of the installer, or why there is none.
struct KeptCopy {
    std::string path;         // its full path; "" when no copy was kept
    std::string problem;      // why not, in a few words for the log; "" when kept
    std::uint32_t code = 0;   // the platform's error code, when one says why
};

enum class CopyRemoval {
    Deleted,     // the copy and its folder are gone
    Absent,      // there was no copy
    AtRestart,   // it is the running program: the copy and its folder go at the next restart
    Left,        // it could not be deleted, nor its deletion scheduled
};

class MachineRecords {
public:
    virtual ~MachineRecords() = default;

    // The string values of HKLM\<subkey>.
    virtual MachineKeyRead ReadKey(const std::string& subkey) = 0;
    // Creates HKLM\<subkey> when it does not exist and sets `values` in it (other values it
    // holds stay). 0, or the registry's error code of the first step that failed.
    virtual std::uint32_t WriteKey(const std::string& subkey, const std::vector<RegistryValue>& values) = 0;
    // Deletes HKLM\<subkey>, a key without subkeys. 0 when it is gone, also when it was not there.
    virtual std::uint32_t DeleteKey(const std::string& subkey) = 0;

    // Today's date on the machine's local calendar: "2026-12-09".
    virtual std::string Today() = 0;

    // Copies the running installer to <common program files>\<folder>\<fileName>, making the
    // folder (which then inherits the administrators-only access of its parent). An existing
    // entry under the folder's name that is a link, or no directory, is not used: no copy.
    // A copy that already stands there is replaced as a whole, never left half written.
    virtual KeptCopy KeepInstaller(const std::string& folder, const std::string& fileName) = 0;
    // Deletes that copy, then its folder when empty; when the copy is the running program,
    // schedules both for deletion at the next restart. `code` receives the platform's error
    // code of a failure (0 otherwise).
    virtual CopyRemoval DropInstaller(const std::string& folder, const std::string& fileName, std::uint32_t& code) = 0;
};

} // namespace hotfix

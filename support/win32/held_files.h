#pragma once
// Files that others hold for a moment. Scanners and indexers open a file that was just written,
// or that is about to be replaced, to read it, often without sharing write or delete access:
// for a few hundred milliseconds up to several seconds, an open, a rename or a deletion of it
// then fails with a sharing violation (32), a lock violation (33) or access denied (5). Such an
// operation is tried again after growing pauses, for at most kHeldWaitLimitMs, and then fails
// as it would have at once. Shared by the installer's placement and the engine's transaction.
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace hotfix::win32 {

// How long one operation waits in all for a held file.
constexpr DWORD kHeldWaitLimitMs = 10000;

// True for the errors of a file that someone else holds: 32, 33 and 5.
bool IsHeldError(DWORD code);

// What one wait came to, reported once when it ends.
struct HeldWait {
    std::string path;          // the entry waited for (the source, for a rename)
    DWORD error = 0;           // the error that started the wait
    DWORD waitedMs = 0;        // time spent waiting, pauses only
    bool wentThrough = false;  // the operation succeeded in the end
    std::string holders;       // who held it, as the platform tells it (HoldersOf)
};
using HeldWaitReport = std::function<void(const HeldWait&)>;

// Runs `attempt` (true on success; GetLastError says why not) and, while it fails with a held
// error and an entry exists at `paths[0]`, again after a pause of 50 ms, doubling up to 1 s,
// until kHeldWaitLimitMs have passed. Returns the last attempt's result, and GetLastError is
// that attempt's. Any other failure returns at once. A wait that happened is reported to
// `report` (may be empty), the holders of every path in `paths` named. A refusal that is a
// decision (a link, a file of unknown content) never comes here: only platform calls do.
bool RetryWhileHeld(const std::vector<std::string>& paths, const std::function<bool()>& attempt,
                    const HeldWaitReport& report);

// The processes that hold `paths` open, as the Restart Manager (rstrtmgr.dll, loaded from the
// system directory) names them: "held by scanner.exe (pid 1200), ..."; when it cannot tell,
// "holders unknown (...)" saying why (Wine's Restart Manager is a stub that names nobody).
std::string HoldersOf(const std::vector<std::string>& paths);

} // namespace hotfix::win32

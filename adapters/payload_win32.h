#pragma once
#include <windows.h>

#include <map>
#include <string>

#include "platform/patch_ports.h"
#include "support/win32/held_files.h"
#include "support/win32/unique_handle.h"

namespace hotfix::win32 {

// The "PATCH" resources of one module (the executable itself unless told otherwise), and the
// files placed from them, each held from its writing to its deletion. While anything is held in
// a directory, the directory itself is held open without FILE_SHARE_DELETE (so it cannot be
// renamed away and replaced by a link), and its final path is what every placed file's final
// path is checked against. An open or deletion that fails because another process holds the
// file for a moment (a scanner) is tried again for a while (support/win32/held_files.h).
class Win32PayloadPlatform final : public PayloadPlatform {
public:
    // `module` holds the resources; null means the executable (GetModuleHandle(NULL)).
    explicit Win32PayloadPlatform(HMODULE module = nullptr);

    std::optional<PayloadBytes> LockPayload(const std::string& name) override;
    bool ClearTarget(const std::string& directory, const std::string& name) override;
    bool WriteTarget(const std::string& directory, const std::string& name, const PayloadBytes& payload) override;
    bool HoldTarget(const std::string& directory, const std::string& name, const PayloadBytes& payload) override;
    std::uint32_t DeleteHeld(const std::string& directory, const std::string& name) override;

    // Who hears of each wait for a held file.
    void ReportWaitsTo(HeldWaitReport report) { m_waitReport = std::move(report); }

private:
    struct HeldDirectory {
        UniqueFile handle;
        std::string finalPath;
        int files = 0;   // placed files held in it
    };

    // The directory, opened and held; null when it cannot be opened or told where it lies.
    HeldDirectory* Directory(const std::string& directory);
    // Lets a directory go when nothing is held in it any more.
    void ReleaseIdle(const std::string& directory);
    // True when `handle` is `directory + name` itself, not a link and not reached through one.
    bool IsWhereNamed(HANDLE handle, const std::string& directory, const std::string& name);

    HMODULE m_module;
    std::map<std::string, HeldDirectory> m_directories;   // by the directory text as given
    std::map<std::string, UniqueFile> m_held;             // by the full path as given
    HeldWaitReport m_waitReport;
};

} // namespace hotfix::win32

#include "adapters/machine_records_win32.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "support/win32/held_files.h"
#include "support/win32/unique_handle.h"

namespace hotfix::win32 {

namespace {

constexpr REGSAM kView = KEY_WOW64_64KEY;

// The running program's full path; "" when it cannot be told.
std::string OwnPath() {
    std::string buffer(MAX_PATH, '\0');
    for (int attempt = 0; attempt < 6; ++attempt) {
        const DWORD length = ::GetModuleFileNameA(nullptr, &buffer[0], static_cast<DWORD>(buffer.size()));
        if (length == 0) return std::string();
        if (length < buffer.size()) return buffer.substr(0, length);
        buffer.resize(buffer.size() * 2);
    }
    return std::string();
}

// The folder the kept copies go in, without its final backslash; "" when it is not known.
std::string CommonProgramFiles() {
    char buffer[MAX_PATH] = {};
    const DWORD length = ::ExpandEnvironmentStringsA("%CommonProgramFiles%", buffer, MAX_PATH);
    if (length == 0 || length > MAX_PATH) return std::string();
    std::string folder(buffer);
    if (folder.empty() || folder.find('%') != std::string::npos) return std::string();
    if (folder.back() == '\\') folder.pop_back();   // a trail byte is never a backslash at the end
    return folder;
}

// True when `a` and `b` are one and the same file (volume and file index), both existing.
bool SameFile(const std::string& a, const std::string& b) {
    BY_HANDLE_FILE_INFORMATION info[2] = {};
    const std::string* paths[2] = {&a, &b};
    for (int i = 0; i < 2; ++i) {
        UniqueFile file(::CreateFileA(paths[i]->c_str(), FILE_READ_ATTRIBUTES,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_BACKUP_SEMANTICS, nullptr));
        if (!file || !::GetFileInformationByHandle(file.get(), &info[i])) return false;
    }
    return info[0].dwVolumeSerialNumber == info[1].dwVolumeSerialNumber &&
           info[0].nFileIndexHigh == info[1].nFileIndexHigh && info[0].nFileIndexLow == info[1].nFileIndexLow;
}

// True when `path` is a directory of its own: no link, no file.
bool IsPlainDirectory(const std::string& path) {
    const DWORD attributes = ::GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) &&
           !(attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

KeptCopy NotKept(const std::string& problem, DWORD code = 0) { return KeptCopy{std::string(), problem, code}; }

} // namespace

MachineKeyRead Win32MachineRecords::ReadKey(const std::string& subkey) {
    MachineKeyRead result;
    UniqueHkey key;
    const LONG opened = ::RegOpenKeyExA(HKEY_LOCAL_MACHINE, subkey.c_str(), 0, KEY_QUERY_VALUE | kView, key.put());
    if (opened == ERROR_FILE_NOT_FOUND) return result;
    result.state = MachineKeyRead::State::Failed;
    result.code = static_cast<std::uint32_t>(opened);
    if (opened != ERROR_SUCCESS) return result;

    DWORD count = 0, longestName = 0, longestData = 0;
    LONG status = ::RegQueryInfoKeyA(key.get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &count,
                                     &longestName, &longestData, nullptr, nullptr);
    // Two spare zero bytes end a string stored without its own.
    std::vector<char> name(longestName + 2u), data(longestData + 2u);
    for (DWORD index = 0; status == ERROR_SUCCESS && index < count; ++index) {
        DWORD nameSize = static_cast<DWORD>(name.size()), dataSize = longestData, type = 0;
        std::fill(data.begin(), data.end(), '\0');
        status = ::RegEnumValueA(key.get(), index, name.data(), &nameSize, nullptr, &type,
                                 reinterpret_cast<BYTE*>(data.data()), &dataSize);
        if (status == ERROR_SUCCESS && type == REG_SZ)
            result.strings[std::string(name.data(), nameSize)] = std::string(data.data(), ::strnlen(data.data(), dataSize));
    }
    result.code = static_cast<std::uint32_t>(status);
    if (status == ERROR_SUCCESS || status == ERROR_NO_MORE_ITEMS) {
        result.state = MachineKeyRead::State::Read;
        result.code = 0;
    }
    return result;
}

std::uint32_t Win32MachineRecords::WriteKey(const std::string& subkey, const std::vector<RegistryValue>& values) {
    UniqueHkey key;
    LONG status = ::RegCreateKeyExA(HKEY_LOCAL_MACHINE, subkey.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                    KEY_SET_VALUE | kView, nullptr, key.put(), nullptr);
    for (const RegistryValue& value : values) {
        if (status != ERROR_SUCCESS) break;
        if (value.number) {
            const DWORD number = *value.number;
            status = ::RegSetValueExA(key.get(), value.name.c_str(), 0, REG_DWORD,
                                      reinterpret_cast<const BYTE*>(&number), sizeof number);
        } else {
            status = ::RegSetValueExA(key.get(), value.name.c_str(), 0, REG_SZ,
                                      reinterpret_cast<const BYTE*>(value.text.c_str()),
                                      static_cast<DWORD>(value.text.size() + 1));
        }
    }
    return static_cast<std::uint32_t>(status);
}

std::uint32_t Win32MachineRecords::DeleteKey(const std::string& subkey) {
    const LONG status = ::RegDeleteKeyExA(HKEY_LOCAL_MACHINE, subkey.c_str(), kView, 0);
    return status == ERROR_FILE_NOT_FOUND ? 0u : static_cast<std::uint32_t>(status);
}

std::string Win32MachineRecords::Today() {
    SYSTEMTIME now = {};
    ::GetLocalTime(&now);
    char text[16];
    std::snprintf(text, sizeof text, "%04u-%02u-%02u", now.wYear, now.wMonth, now.wDay);
    return text;
}

KeptCopy Win32MachineRecords::KeepInstaller(const std::string& folder, const std::string& fileName) {
    const std::string common = CommonProgramFiles();
    if (common.empty()) return NotKept("%CommonProgramFiles% names no folder");
    const std::string directory = common + "\\" + folder;
    if (!::CreateDirectoryA(directory.c_str(), nullptr)) {
        const DWORD error = ::GetLastError();
        if (error != ERROR_ALREADY_EXISTS) return NotKept("cannot make " + directory, error);
    }
    // Made now or by an earlier run; anything else under that name is not ours to use.
    if (!IsPlainDirectory(directory)) return NotKept(directory + " is a link or no folder, not used");

    const std::string self = OwnPath();
    if (self.empty()) return NotKept("the installer's own path is not known", ::GetLastError());
    const std::string path = directory + "\\" + fileName;
    if (SameFile(self, path)) return KeptCopy{path, std::string(), 0};   // this run is the kept copy

    // Copied beside, then renamed over the copy kept before: a copy cut short stays a temporary.
    const std::string temporary = path + ".new";
    if (!::CopyFileA(self.c_str(), temporary.c_str(), FALSE)) return NotKept("cannot copy to " + temporary, ::GetLastError());
    const bool moved = RetryWhileHeld({temporary, path}, [&] {
        return ::MoveFileExA(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
    }, HeldWaitReport());
    if (!moved) {
        const DWORD error = ::GetLastError();
        ::DeleteFileA(temporary.c_str());
        return NotKept("cannot put the copy in place at " + path, error);
    }
    return KeptCopy{path, std::string(), 0};
}

CopyRemoval Win32MachineRecords::DropInstaller(const std::string& folder, const std::string& fileName,
                                               std::uint32_t& code) {
    code = 0;
    const std::string common = CommonProgramFiles();
    if (common.empty()) return CopyRemoval::Absent;
    const std::string directory = common + "\\" + folder;
    const DWORD attributes = ::GetFileAttributesA(directory.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return CopyRemoval::Absent;
    if (!IsPlainDirectory(directory)) {
        code = ERROR_CANT_ACCESS_FILE;   // not ours: left alone
        return CopyRemoval::Left;
    }
    const std::string path = directory + "\\" + fileName;
    ::DeleteFileA((path + ".new").c_str());   // a copy cut short by an earlier run

    if (::GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES) {
        ::RemoveDirectoryA(directory.c_str());
        return CopyRemoval::Absent;
    }
    if (SameFile(OwnPath(), path)) {
        // A running program cannot delete its own file: the restart does, then the folder.
        if (!::MoveFileExA(path.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT) ||
            !::MoveFileExA(directory.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT)) {
            code = ::GetLastError();
            return CopyRemoval::Left;
        }
        return CopyRemoval::AtRestart;
    }
    if (!RetryWhileHeld({path}, [&] { return ::DeleteFileA(path.c_str()) != 0; }, HeldWaitReport())) {
        code = ::GetLastError();
        return CopyRemoval::Left;
    }
    ::RemoveDirectoryA(directory.c_str());   // only when empty
    return CopyRemoval::Deleted;
}

} // namespace hotfix::win32

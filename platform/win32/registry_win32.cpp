#include "platform/win32/registry_win32.h"

#include <cstring>
#include <vector>

#include "support/win32/unique_handle.h"

namespace hotfix::win32 {

std::optional<std::string> Win32Registry::ReadClassesRootDefault(const std::string& subkey,
                                                                  std::uint32_t bufferSize) {
    UniqueHkey key;
    // KEY_READ and nothing else, so the platform's default registry view applies.
    if (::RegOpenKeyExA(HKEY_CLASSES_ROOT, subkey.c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS)
        return std::nullopt;

    // One spare zero byte beyond what the platform may fill: a value stored without its
    // terminating zero still ends inside the buffer.
    std::vector<char> buffer(bufferSize + 1u, '\0');
    DWORD size = bufferSize;
    DWORD type = 0;
    const LONG status = ::RegQueryValueExA(key.get(), nullptr, nullptr, &type,
                                           reinterpret_cast<BYTE*>(buffer.data()), &size);
    if (status != ERROR_SUCCESS) return std::nullopt;   // ERROR_MORE_DATA included

    const std::size_t filled = size < bufferSize ? size : bufferSize;
    return std::string(buffer.data(), ::strnlen(buffer.data(), filled));
}

} // namespace hotfix::win32

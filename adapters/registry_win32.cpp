#include "adapters/registry_win32.h"

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

MultiStringRead Win32Registry::ReadMachineMultiString(const std::string& subkey, const std::string& valueName) {
    MultiStringRead result;
    auto fail = [&](LONG status) {
        const bool missing = status == ERROR_FILE_NOT_FOUND || status == ERROR_PATH_NOT_FOUND;
        result.state = missing ? MultiStringRead::State::Missing : MultiStringRead::State::Failed;
        result.code = static_cast<std::uint32_t>(status);
        return result;
    };

    UniqueHkey key;
    const LONG opened = ::RegOpenKeyExA(HKEY_LOCAL_MACHINE, subkey.c_str(), 0, KEY_QUERY_VALUE, key.put());
    if (opened != ERROR_SUCCESS) return fail(opened);

    // The size first, then the bytes; the value may grow in between (another installer adding
    // an operation), so a buffer found too small is sized again, a few times at most. The ANSI
    // function reports an upper bound of the converted size; two spare zero bytes end the last
    // string and the list even when the value was stored without them.
    DWORD type = 0;
    DWORD size = 0;
    LONG status = ::RegQueryValueExA(key.get(), valueName.c_str(), nullptr, &type, nullptr, &size);
    for (int attempt = 0;; ++attempt) {
        if (status != ERROR_SUCCESS) return fail(status);
        if (type != REG_MULTI_SZ) {
            result.state = MultiStringRead::State::WrongType;
            result.code = type;
            return result;
        }
        if (attempt == 4) return fail(ERROR_MORE_DATA);
        std::vector<char> buffer(size + 2u, '\0');
        DWORD filled = size;
        status = ::RegQueryValueExA(key.get(), valueName.c_str(), nullptr, &type,
                                    reinterpret_cast<BYTE*>(buffer.data()), &filled);
        if (status == ERROR_MORE_DATA) {
            size = filled;   // the size it has now
            status = ERROR_SUCCESS;
            continue;
        }
        if (status == ERROR_SUCCESS && type == REG_MULTI_SZ) {
            result.state = MultiStringRead::State::Read;
            result.data.assign(buffer.data(), filled < size ? filled : size);
            return result;
        }
    }
}

} // namespace hotfix::win32

#pragma once
// Port: reading the registry.
#include <cstdint>
#include <optional>
#include <string>

namespace hotfix {

class Registry {
public:
    virtual ~Registry() = default;

    // The default (unnamed) value of HKEY_CLASSES_ROOT\<subkey>, opened with KEY_READ and
    // read into a buffer of `bufferSize` bytes; the text up to its first zero byte.
    // Empty optional when the key cannot be opened or the value cannot be read, also when
    // the value (terminating zero included) is longer than the buffer. The value's type is
    // not examined.
    virtual std::optional<std::string> ReadClassesRootDefault(const std::string& subkey,
                                                               std::uint32_t bufferSize) = 0;
};

} // namespace hotfix

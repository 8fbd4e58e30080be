#pragma once
// Port: reading the registry.
#include <cstdint>
#include <optional>
#include <string>

namespace hotfix {

// What reading one REG_MULTI_SZ value found.
struct MultiStringRead {
    enum class State {
        Read,        // `data` holds the value
        Missing,     // neither the key nor the value exists
        WrongType,   // the value exists but is not REG_MULTI_SZ; `code` holds its type
        Failed,      // the key or the value could not be read; `code` holds the registry's error code
    };
    State state = State::Missing;
    std::uint32_t code = 0;
    // The value's bytes as the ANSI functions return them: its strings, each followed by a
    // zero byte, and normally one more zero byte at the end. Nothing is trimmed.
    std::string data;
};

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

    // The value `valueName` of HKEY_LOCAL_MACHINE\<subkey>, when it is a REG_MULTI_SZ, whole
    // whatever its length. Only reads.
    virtual MultiStringRead ReadMachineMultiString(const std::string& subkey, const std::string& valueName) = 0;
};

} // namespace hotfix

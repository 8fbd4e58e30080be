#pragma once
// Port: the file version of an executable's version resource, and the Shift key.
#include <cstdint>
#include <optional>
#include <string>

namespace hotfix {

// The four 16-bit parts of VS_FIXEDFILEINFO's file version.
struct FileVersion {
    std::uint16_t major = 0;
    std::uint16_t minor = 0;
    std::uint16_t build = 0;
    std::uint16_t revision = 0;
};

class VersionSource {
public:
    virtual ~VersionSource() = default;

    // The file version from the fixed file information of `path`'s version resource.
    // Empty optional when the file has no version information, when it cannot be read, or
    // when its root block holds no fixed file information.
    virtual std::optional<FileVersion> ReadFileVersion(const std::string& path) = 0;

    // True while the Shift key is held down, as the calling thread's input state says.
    virtual bool IsShiftDown() = 0;
};

} // namespace hotfix

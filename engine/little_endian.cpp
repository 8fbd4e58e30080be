#include "engine/little_endian.h"

#include <cstring>

namespace hotfix::engine {

bool LittleEndianReader::Section(std::uint64_t count, LittleEndianReader& section) {
    const std::uint8_t* where = nullptr;
    if (!Take(count, where)) return false;
    section = LittleEndianReader(where, static_cast<std::size_t>(count));
    return true;
}

bool LittleEndianReader::Bytes(std::uint8_t* out, std::size_t count) {
    const std::uint8_t* where = nullptr;
    if (!Take(count, where)) return false;
    if (count > 0) std::memcpy(out, where, count);
    return true;
}

} // namespace hotfix::engine

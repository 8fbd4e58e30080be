#pragma once
// The code of a PE image (an .exe or .dll for x86 or x64): the file ranges of its executable
// sections, from the section table. Anything that is not such an image has none.
#include "engine/branch_filter.h"

#include <cstdint>
#include <vector>

namespace hotfix::tools {

// The raw data of every section marked as code or executable, clipped to the file, sorted by
// offset, overlaps dropped; each with the section's RVA as its address. Empty for a file that
// is not a PE image of an x86 or x64 machine, or whose headers do not fit in it.
//   e.g. a DLL with .text at file offset 0x400 (0x1200 bytes, RVA 0x1000) and .data gives
//   {{0x400, 0x1200, 0x1000}}.
std::vector<engine::CodeRange> PeCodeRanges(const std::uint8_t* data, std::size_t size);

} // namespace hotfix::tools

#pragma once
// The checksum that protects the records of templates.dat. It is constexpr because the data
// generator computes it at compile time and the core DLL at run time, from the same code.
// The algorithm changed with the builds (each build reads only data files of its own build):
//   7.22.24188.12   32-bit rotate-and-add
//   7.22.24209.13   FNV-1a
//   7.22.24245.10   FNV-1a with the length folded in, so a truncated record cannot match
#include "sample_identity.h"

namespace sample {

constexpr unsigned Checksum(const unsigned char* data, unsigned size) {
#if SAMPLE_VERSION_BUILD < 24209
    unsigned sum = 0x5A17u;
    for (unsigned i = 0; i < size; ++i) sum = ((sum << 5) | (sum >> 27)) + data[i];
    return sum;
#else
    unsigned hash = 2166136261u;
    for (unsigned i = 0; i < size; ++i) hash = (hash ^ data[i]) * 16777619u;
#if SAMPLE_VERSION_BUILD >= 24245
    hash ^= size;
    hash *= 16777619u;
#endif
    return hash;
#endif
}

} // namespace sample

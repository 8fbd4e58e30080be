#pragma once
// Layout of templates.dat, the sample product's binary data file. All numbers little-endian.
//
//   header (32 bytes): "VTPL", u16 format, u16 record count, u32 product id, u32 build,
//                      u32 checksum of all record bytes, 12 bytes of zero
//   records (kRecordSize each): char name[32] (NUL-padded), u32 revision,
//                      u32 checksum of the payload, payload (kPayloadSize bytes)
//
// Checksums are sample::Checksum of the build that wrote the file.
#include "sample_identity.h"

namespace sample {

constexpr unsigned kHeaderSize = 32;
constexpr unsigned kRecordSize = 1024;
constexpr unsigned kNameSize = 32;
constexpr unsigned kPayloadOffset = kNameSize + 8;
constexpr unsigned kPayloadSize = kRecordSize - kPayloadOffset;

// The builds add templates: 40, then 42, then 44.
constexpr unsigned kRecordCount =
    SAMPLE_VERSION_BUILD >= 24245 ? 44 : SAMPLE_VERSION_BUILD >= 24209 ? 42 : 40;
constexpr unsigned kFormat = SAMPLE_VERSION_BUILD >= 24209 ? 2 : 1;
constexpr unsigned kFileSize = kHeaderSize + kRecordCount * kRecordSize;

constexpr unsigned ReadU32(const unsigned char* p) {
    return unsigned(p[0]) | unsigned(p[1]) << 8 | unsigned(p[2]) << 16 | unsigned(p[3]) << 24;
}

constexpr unsigned ReadU16(const unsigned char* p) {
    return unsigned(p[0]) | unsigned(p[1]) << 8;
}

} // namespace sample

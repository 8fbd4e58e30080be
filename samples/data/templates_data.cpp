// The bytes of templates.dat for one build, computed at compile time. The build compiles this
// file to an object and copies the ".tpl" section out as the data file, so the file is
// deterministic and needs no generator program at build time.
//
// Between builds most records stay the same (as real template libraries do), a few are
// revised and new ones are appended: patches between builds change some places and add bytes.
#include "sample_checksum.h"
#include "template_format.h"

namespace {

using sample::kFileSize;

struct TemplateFile {
    unsigned char bytes[kFileSize];
};

constexpr void PutU32(unsigned char* p, unsigned value) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<unsigned char>(value >> (8 * i));
}

// How often record `index` has been revised up to this build.
constexpr unsigned Revision([[maybe_unused]] unsigned index) {
    unsigned revision = 0;
#if SAMPLE_VERSION_BUILD >= 24209
    if (index == 5 || index == 17) ++revision;
#endif
#if SAMPLE_VERSION_BUILD >= 24245
    if (index == 5 || index == 9 || index == 30) ++revision;
#endif
    return revision;
}

constexpr void WriteRecord(unsigned char* record, unsigned index) {
    // Name: "<key>-template-NN".
    const char prefix[] = SAMPLE_PRODUCT_KEY "-template-";
    unsigned n = 0;
    for (; prefix[n] != '\0' && n < sample::kNameSize - 3; ++n) record[n] = prefix[n];
    record[n++] = static_cast<unsigned char>('0' + index / 10 % 10);
    record[n++] = static_cast<unsigned char>('0' + index % 10);

    const unsigned revision = Revision(index);
    PutU32(record + sample::kNameSize, revision);

    // Payload: a stream of a seeded xorshift generator, drawn as printable shapes with runs,
    // so it compresses somewhat, like real template data.
    unsigned char* payload = record + sample::kPayloadOffset;
    unsigned state = (SAMPLE_PRODUCT_ID * 0x9E3779B9u) ^ ((index + 1) * 0x85EBCA6Bu) ^
                     (revision * 0xC2B2AE35u) ^ 0x1234567u;
    unsigned i = 0;
    while (i < sample::kPayloadSize) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        const unsigned char value = static_cast<unsigned char>(state >> 24);
        const unsigned run = 1 + (state & 7);
        for (unsigned k = 0; k < run && i < sample::kPayloadSize; ++k) payload[i++] = value;
    }
    PutU32(record + sample::kNameSize + 4, sample::Checksum(payload, sample::kPayloadSize));
}

constexpr TemplateFile Build() {
    TemplateFile file{};
    unsigned char* header = file.bytes;
    header[0] = 'V';
    header[1] = 'T';
    header[2] = 'P';
    header[3] = 'L';
    header[4] = static_cast<unsigned char>(sample::kFormat);
    header[6] = static_cast<unsigned char>(sample::kRecordCount);
    PutU32(header + 8, SAMPLE_PRODUCT_ID);
    PutU32(header + 12, SAMPLE_VERSION_BUILD);
    for (unsigned index = 0; index < sample::kRecordCount; ++index)
        WriteRecord(file.bytes + sample::kHeaderSize + index * sample::kRecordSize, index);
    PutU32(header + 16, sample::Checksum(file.bytes + sample::kHeaderSize,
                                         sample::kRecordCount * sample::kRecordSize));
    return file;
}

} // namespace

// "used" keeps the object in the output even though nothing refers to it.
__attribute__((section(".tpl"), used)) constexpr TemplateFile kTemplateFile = Build();

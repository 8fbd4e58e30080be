// libFuzzer target: the patch-file reader, and the transaction over what it accepts.
// The input is read twice: as it is, and with its size field and digest made right, so that
// the fuzzer reaches the entry table and the contents behind the digest check. Whatever parses
// is then applied to a small in-memory update directory.
#include "engine/patch_apply.h"
#include "engine/rtp_format.h"
#include "engine/sha256.h"
#include "tests/unit/engine/fake_engine_file_system.h"

#include <cstring>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace hotfix::engine;
    PatchModel model;
    std::string error;
    ParsePatchBytes(data, size, model, error);

    if (size < kRtpHeaderSize + kRtpDigestSize) return 0;
    std::vector<std::uint8_t> fixed(data, data + size);
    for (int i = 0; i < 8; ++i) fixed[16 + i] = static_cast<std::uint8_t>(static_cast<std::uint64_t>(size) >> (8 * i));
    Sha256Digest digest = Sha256Of(fixed.data(), size - kRtpDigestSize);
    std::memcpy(fixed.data() + size - kRtpDigestSize, digest.data(), digest.size());
    if (!ParsePatchBytes(fixed.data(), fixed.size(), model, error)) return 0;

    testing::FakeEngineFileSystem fs;
    fs.PutDirectory("lib");
    fs.PutFile("app.exe", "application 1");
    fs.PutFile("lib\\core.dll", "core 1");
    MemoryReadableFile patch(fixed.data(), fixed.size());
    ApplyListener quiet;
    ApplyPatch(fs, patch, quiet);
    return 0;
}

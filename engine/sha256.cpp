#include "engine/sha256.h"

namespace hotfix::engine {

Sha256Digest Sha256Of(const void* data, std::size_t size) {
    Sha256 hasher;
    hasher.Update(data, size);
    return hasher.Finish();
}

std::string DigestHex(const Sha256Digest& digest) {
    static const char kHex[] = "0123456789abcdef";
    std::string text;
    text.reserve(digest.size() * 2);
    for (std::uint8_t byte : digest) {
        text.push_back(kHex[byte >> 4]);
        text.push_back(kHex[byte & 15]);
    }
    return text;
}

} // namespace hotfix::engine

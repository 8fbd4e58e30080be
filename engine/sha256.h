#pragma once
// SHA-256, from the platform's maintained implementation: OpenSSL's libcrypto natively, BCrypt
// on Windows. Portable interface, no platform headers.
#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace hotfix::engine {

using Sha256Digest = std::array<std::uint8_t, 32>;

// Incremental hashing: Update any number of times, then Finish once. A hasher whose platform
// object could not be made (practically never) reports it through Ok(); Finish then returns
// an all-zero digest, which matches no real file because callers always compare sizes too.
class Sha256 {
public:
    Sha256();
    ~Sha256();
    Sha256(const Sha256&) = delete;
    Sha256& operator=(const Sha256&) = delete;

    bool Ok() const;
    void Update(const void* data, std::size_t size);
    Sha256Digest Finish();

    struct State;

private:
    std::unique_ptr<State> m_state;
};

Sha256Digest Sha256Of(const void* data, std::size_t size);

// Lower-case hex, for messages: "e3b0c442...".
std::string DigestHex(const Sha256Digest& digest);

} // namespace hotfix::engine

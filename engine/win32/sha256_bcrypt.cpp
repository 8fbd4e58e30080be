// SHA-256 through the platform's CNG primitives (BCrypt).
#include "engine/sha256.h"

#include <windows.h>
#include <bcrypt.h>

namespace hotfix::engine {

struct Sha256::State {
    BCRYPT_ALG_HANDLE algorithm = nullptr;
    BCRYPT_HASH_HANDLE hash = nullptr;
    bool ok = false;
};

namespace {
bool Succeeded(NTSTATUS status) { return status >= 0; }
} // namespace

Sha256::Sha256() : m_state(std::make_unique<State>()) {
    if (!Succeeded(BCryptOpenAlgorithmProvider(&m_state->algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0))) {
        m_state->algorithm = nullptr;
        return;
    }
    if (!Succeeded(BCryptCreateHash(m_state->algorithm, &m_state->hash, nullptr, 0, nullptr, 0, 0))) {
        m_state->hash = nullptr;
        return;
    }
    m_state->ok = true;
}

Sha256::~Sha256() {
    if (m_state->hash != nullptr) BCryptDestroyHash(m_state->hash);
    if (m_state->algorithm != nullptr) BCryptCloseAlgorithmProvider(m_state->algorithm, 0);
}

bool Sha256::Ok() const { return m_state->ok; }

void Sha256::Update(const void* data, std::size_t size) {
    // BCryptHashData takes a ULONG length: feed large buffers in pieces.
    auto bytes = static_cast<const std::uint8_t*>(data);
    while (m_state->ok && size > 0) {
        ULONG piece = size > 0x40000000u ? 0x40000000u : static_cast<ULONG>(size);
        m_state->ok = Succeeded(BCryptHashData(m_state->hash, const_cast<PUCHAR>(bytes), piece, 0));
        bytes += piece;
        size -= piece;
    }
}

Sha256Digest Sha256::Finish() {
    Sha256Digest digest{};
    if (!m_state->ok || !Succeeded(BCryptFinishHash(m_state->hash, digest.data(), static_cast<ULONG>(digest.size()), 0)))
        digest.fill(0);
    m_state->ok = false;
    return digest;
}

} // namespace hotfix::engine

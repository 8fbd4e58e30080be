// SHA-256 through OpenSSL's EVP interface.
#include "engine/sha256.h"

#include <openssl/evp.h>

namespace hotfix::engine {

struct Sha256::State {
    EVP_MD_CTX* context = nullptr;
    bool ok = false;
};

Sha256::Sha256() : m_state(std::make_unique<State>()) {
    m_state->context = EVP_MD_CTX_new();
    m_state->ok = m_state->context != nullptr && EVP_DigestInit_ex(m_state->context, EVP_sha256(), nullptr) == 1;
}

Sha256::~Sha256() {
    if (m_state->context != nullptr) EVP_MD_CTX_free(m_state->context);
}

bool Sha256::Ok() const { return m_state->ok; }

void Sha256::Update(const void* data, std::size_t size) {
    if (m_state->ok && size > 0) m_state->ok = EVP_DigestUpdate(m_state->context, data, size) == 1;
}

Sha256Digest Sha256::Finish() {
    Sha256Digest digest{};
    unsigned int length = 0;
    if (!m_state->ok || EVP_DigestFinal_ex(m_state->context, digest.data(), &length) != 1 ||
        length != digest.size()) {
        m_state->ok = false;
        digest.fill(0);
    }
    m_state->ok = false; // one Finish per hasher
    return digest;
}

} // namespace hotfix::engine

#include "ZAVSha256.h"

#include <openssl/evp.h>

void ZAVSha256::Free::operator()(evp_md_ctx_st *context) const
{
    EVP_MD_CTX_free(context);
}

ZAVSha256::ZAVSha256() : m_context(EVP_MD_CTX_new())
{
    if (m_context && EVP_DigestInit_ex(m_context.get(), EVP_sha256(), nullptr) != 1)
        m_context.reset();
}

ZAVSha256::~ZAVSha256() = default;
ZAVSha256::ZAVSha256(ZAVSha256 &&) noexcept = default;
ZAVSha256 &ZAVSha256::operator=(ZAVSha256 &&) noexcept = default;

void ZAVSha256::update(const void *data, size_t size)
{
    // A context that could not be made or updated gives no digest, which no expected one matches.
    if (m_context && EVP_DigestUpdate(m_context.get(), data, size) != 1)
        m_context.reset();
}

std::string ZAVSha256::hexDigest()
{
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (!m_context || EVP_DigestFinal_ex(m_context.get(), digest, &length) != 1)
        length = 0;
    m_context.reset();
    static constexpr char kHex[] = "0123456789abcdef";
    std::string hex;
    for (unsigned int i = 0; i < length; ++i) {
        hex += kHex[digest[i] >> 4];
        hex += kHex[digest[i] & 15];
    }
    return hex;
}

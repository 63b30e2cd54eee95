#pragma once

#include <cstddef>
#include <memory>
#include <string>

struct evp_md_ctx_st;

// SHA-256 with OpenSSL's libcrypto (its SHA-NI and AVX2 code), fed in pieces. One thread at a
// time; move-only.
class ZAVSha256 {
public:
    ZAVSha256();
    ~ZAVSha256();
    ZAVSha256(ZAVSha256 &&) noexcept;
    ZAVSha256 &operator=(ZAVSha256 &&) noexcept;

    void update(const void *data, size_t size);
    // 64 lowercase hex digits of everything fed so far; the digest is then spent. Empty when
    // libcrypto failed (never equal to a digest that is expected).
    std::string hexDigest();

private:
    struct Free {
        void operator()(evp_md_ctx_st *context) const;
    };
    std::unique_ptr<evp_md_ctx_st, Free> m_context;
};

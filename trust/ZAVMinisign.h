#pragma once

#include "base/ZAVResult.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

// Detached signatures in the minisign format, checked with libsodium.
//
// A public key is the base64 line of a `.pub` file: "Ed", an 8-byte key id, a 32-byte Ed25519
// key. A signature file has four lines: an untrusted comment, the base64 signature ("ED", the
// key id, 64 bytes of Ed25519 over the BLAKE2b-512 of the data), the trusted comment, and the
// base64 global signature (Ed25519 over the signature followed by the trusted comment). Only
// this prehashed form is accepted: the legacy form signs the data itself ("Ed") and is refused.
//
// Stateless and free of global state but libsodium's own initialisation: any thread.
class ZAVMinisign {
public:
    ZAVMinisign() = delete;

    static constexpr size_t kKeyIdBytes = 8;
    static constexpr size_t kPublicKeyBytes = 32;
    static constexpr size_t kSignatureBytes = 64;
    static constexpr size_t kHashBytes = 64;

    using KeyId = std::array<uint8_t, kKeyIdBytes>;
    using Hash = std::array<uint8_t, kHashBytes>;

    struct PublicKey {
        KeyId keyId{};
        std::array<uint8_t, kPublicKeyBytes> key{};
    };

    struct Signature {
        KeyId keyId{};
        std::array<uint8_t, kSignatureBytes> signature{};
        std::string trustedComment; // the text after "trusted comment: "
        std::array<uint8_t, kSignatureBytes> globalSignature{};
    };

    // What a check found. `status` fails with a sentence for the log as its reason (no path;
    // EBADMSG for a signature that is malformed or does not match, EPERM for one by a key that
    // is not trusted); `keyId` is set as soon as the signature could be read, `trustedComment`
    // only when it verified.
    struct Verification {
        ZAVStatus status;
        std::string keyId;
        std::string trustedComment;
    };

    // BLAKE2b-512 of data fed in pieces, for files too large to hold. Not copyable.
    class Hasher {
    public:
        Hasher();
        ~Hasher();
        Hasher(const Hasher &) = delete;
        Hasher &operator=(const Hasher &) = delete;

        void update(const void *data, size_t size);
        // Once; the hasher is spent afterwards.
        Hash final();

    private:
        struct State;
        std::unique_ptr<State> m_state;
    };

    // A key from the base64 line of a `.pub` file; the whole file's text is accepted too (its
    // comment line is skipped). Fails with EINVAL and a sentence as the reason (no path) when
    // it is not a minisign Ed25519 public key.
    static ZAVResult<PublicKey> parsePublicKey(std::string_view text);
    // The four lines of a `.minisig` file. Fails with EBADMSG and a sentence as the reason (no
    // path) when they are malformed or the signature is not of the prehashed form.
    static ZAVResult<Signature> parseSignature(std::string_view text);

    // Checks `signature` over data whose BLAKE2b-512 is `hash`, by the trusted key of the same
    // key id: the signature, then the global signature over it and the trusted comment. A key
    // id that no trusted key has is refused.
    static Verification verify(const Signature &signature, const Hash &hash,
                               const std::vector<PublicKey> &trustedKeys);
    // Parses `signatureText` and checks it over `data`.
    static Verification verify(std::string_view data, std::string_view signatureText,
                               const std::vector<PublicKey> &trustedKeys);

    // The key id as minisign prints it: 16 upper-case hex digits, last byte first.
    static std::string keyIdText(const KeyId &keyId);
    // The base64 (original alphabet, padded) of `size` bytes, as the key and signature lines
    // hold it.
    static std::string base64(const void *data, size_t size);
};

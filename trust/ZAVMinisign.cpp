#include "ZAVMinisign.h"

#include <sodium.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

constexpr std::string_view kUntrustedPrefix = "untrusted comment: ";
constexpr std::string_view kTrustedPrefix = "trusted comment: ";

void initialiseSodium()
{
    // Idempotent and thread-safe; picks the fastest Ed25519 and BLAKE2b code for this CPU.
    static const int ready = sodium_init();
    (void)ready;
}

// A failure that is about text, not a file: no path, the sentence as the reason.
ZAVFileError refusal(int error, std::string reason)
{
    return {std::string(), error, std::move(reason)};
}

// Exactly `size` bytes from a base64 text of the original alphabet, or false.
bool decodeExactly(std::string_view text, uint8_t *out, size_t size)
{
    // One byte of room beyond `size` tells a longer value from an exact one.
    std::vector<uint8_t> buffer(size + 1);
    size_t length = 0;
    const char *end = nullptr;
    if (sodium_base642bin(buffer.data(), buffer.size(), text.data(), text.size(), nullptr, &length,
                          &end, sodium_base64_VARIANT_ORIGINAL) != 0 ||
        end != text.data() + text.size() || length != size)
        return false;
    std::memcpy(out, buffer.data(), size);
    return true;
}

// The text's lines without their line ends ("\n" or "\r\n").
std::vector<std::string_view> splitLines(std::string_view text)
{
    std::vector<std::string_view> lines;
    while (!text.empty()) {
        const size_t newline = text.find('\n');
        std::string_view line = text.substr(0, newline);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        lines.push_back(line);
        if (newline == std::string_view::npos)
            break;
        text.remove_prefix(newline + 1);
    }
    return lines;
}

std::string_view trimmed(std::string_view text)
{
    constexpr std::string_view blanks = " \t\r\n";
    const size_t first = text.find_first_not_of(blanks);
    if (first == std::string_view::npos)
        return {};
    return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

} // namespace

struct ZAVMinisign::Hasher::State {
    crypto_generichash_state state;
};

ZAVMinisign::Hasher::Hasher() : m_state(std::make_unique<State>())
{
    initialiseSodium();
    crypto_generichash_init(&m_state->state, nullptr, 0, kHashBytes);
}

ZAVMinisign::Hasher::~Hasher() = default;

void ZAVMinisign::Hasher::update(const void *data, size_t size)
{
    crypto_generichash_update(&m_state->state, static_cast<const unsigned char *>(data), size);
}

ZAVMinisign::Hash ZAVMinisign::Hasher::final()
{
    Hash hash{};
    crypto_generichash_final(&m_state->state, hash.data(), hash.size());
    return hash;
}

ZAVResult<ZAVMinisign::PublicKey> ZAVMinisign::parsePublicKey(std::string_view text)
{
    initialiseSodium();
    std::string_view line;
    for (std::string_view candidate : splitLines(text)) {
        candidate = trimmed(candidate);
        if (!candidate.empty() && !candidate.starts_with(kUntrustedPrefix)) {
            line = candidate;
            break;
        }
    }
    uint8_t raw[2 + kKeyIdBytes + kPublicKeyBytes];
    if (!decodeExactly(line, raw, sizeof raw)) {
        return refusal(EINVAL, "not a minisign public key (expected 56 characters of base64)");
    }
    if (raw[0] != 'E' || raw[1] != 'd') {
        return refusal(EINVAL, "not an Ed25519 minisign public key");
    }
    PublicKey key;
    std::memcpy(key.keyId.data(), raw + 2, kKeyIdBytes);
    std::memcpy(key.key.data(), raw + 2 + kKeyIdBytes, kPublicKeyBytes);
    return key;
}

ZAVResult<ZAVMinisign::Signature> ZAVMinisign::parseSignature(std::string_view text)
{
    initialiseSodium();
    std::vector<std::string_view> lines = splitLines(text);
    while (!lines.empty() && lines.back().empty())
        lines.pop_back();
    if (lines.size() != 4 || !lines[0].starts_with(kUntrustedPrefix) ||
        !lines[2].starts_with(kTrustedPrefix)) {
        return refusal(EBADMSG,
                       "the signature file does not have the four lines of a minisign signature");
    }
    uint8_t raw[2 + kKeyIdBytes + kSignatureBytes];
    if (!decodeExactly(lines[1], raw, sizeof raw)) {
        return refusal(EBADMSG, "the signature line is not a minisign signature");
    }
    if (raw[0] == 'E' && raw[1] == 'd') {
        return refusal(EBADMSG, "the signature is of the legacy form, which signs the data "
                                "itself; only prehashed signatures are accepted");
    }
    if (raw[0] != 'E' || raw[1] != 'D') {
        return refusal(EBADMSG, "the signature uses an unknown algorithm");
    }
    Signature signature;
    std::memcpy(signature.keyId.data(), raw + 2, kKeyIdBytes);
    std::memcpy(signature.signature.data(), raw + 2 + kKeyIdBytes, kSignatureBytes);
    signature.trustedComment = std::string(lines[2].substr(kTrustedPrefix.size()));
    if (!decodeExactly(lines[3], signature.globalSignature.data(), kSignatureBytes)) {
        return refusal(EBADMSG, "the global signature line is malformed");
    }
    return signature;
}

ZAVMinisign::Verification ZAVMinisign::verify(const Signature &signature, const Hash &hash,
                                              const std::vector<PublicKey> &trustedKeys)
{
    initialiseSodium();
    Verification result;
    result.keyId = keyIdText(signature.keyId);
    const PublicKey *key = nullptr;
    for (const PublicKey &candidate : trustedKeys) {
        if (candidate.keyId == signature.keyId) {
            key = &candidate;
            break;
        }
    }
    if (!key) {
        result.status =
            refusal(EPERM, "signed by key " + result.keyId + ", which is not a trusted key");
        return result;
    }
    if (crypto_sign_verify_detached(signature.signature.data(), hash.data(), hash.size(),
                                    key->key.data()) != 0) {
        result.status =
            refusal(EBADMSG, "the signature by key " + result.keyId + " does not match the data");
        return result;
    }
    std::vector<uint8_t> signedComment(signature.signature.begin(), signature.signature.end());
    signedComment.insert(signedComment.end(), signature.trustedComment.begin(),
                         signature.trustedComment.end());
    if (crypto_sign_verify_detached(signature.globalSignature.data(), signedComment.data(),
                                    signedComment.size(), key->key.data()) != 0) {
        result.status = refusal(EBADMSG, "the trusted comment's signature by key " + result.keyId +
                                             " is wrong");
        return result;
    }
    result.trustedComment = signature.trustedComment;
    return result;
}

ZAVMinisign::Verification ZAVMinisign::verify(std::string_view data, std::string_view signatureText,
                                              const std::vector<PublicKey> &trustedKeys)
{
    const ZAVResult<Signature> signature = parseSignature(signatureText);
    if (!signature)
        return Verification{signature.status(), {}, {}};
    Hasher hasher;
    hasher.update(data.data(), data.size());
    return verify(*signature, hasher.final(), trustedKeys);
}

std::string ZAVMinisign::keyIdText(const KeyId &keyId)
{
    std::string text;
    for (size_t i = keyId.size(); i-- > 0;) {
        char digits[3];
        std::snprintf(digits, sizeof digits, "%02X", keyId[i]);
        text += digits;
    }
    return text;
}

std::string ZAVMinisign::base64(const void *data, size_t size)
{
    const int variant = sodium_base64_VARIANT_ORIGINAL;
    std::string text(sodium_base64_encoded_len(size, variant), '\0');
    sodium_bin2base64(text.data(), text.size(), static_cast<const unsigned char *>(data), size,
                      variant);
    text.resize(std::strlen(text.c_str()));
    return text;
}

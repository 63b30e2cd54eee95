#include "ZAVVendorKey.h"

#include "ZAVVendorFiles.h"

#include "base/ZAVFd.h"
#include "base/ZAVFileReader.h"
#include "trust/ZAVMinisign.h"

#include <sodium.h>

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <ctime>
#include <iterator>
#include <vector>

namespace {

constexpr char kSignatureAlgorithm[] = "Ed";
constexpr char kPrehashedAlgorithm[] = "ED";
constexpr char kKdfAlgorithm[] = "Sc";
constexpr char kChecksumAlgorithm[] = "B2";
constexpr char kUntrusted[] = "untrusted comment: ";
constexpr char kTrusted[] = "trusted comment: ";

// The secret key file's layout.
constexpr size_t kSaltOffset = 6;
constexpr size_t kOpsOffset = kSaltOffset + crypto_pwhash_scryptsalsa208sha256_SALTBYTES;
constexpr size_t kMemOffset = kOpsOffset + 8;
constexpr size_t kKeynumOffset = kMemOffset + 8;
constexpr size_t kKeynumSize = 8 + crypto_sign_SECRETKEYBYTES + crypto_generichash_BYTES;
constexpr size_t kSecretFileSize = kKeynumOffset + kKeynumSize;
// Larger work factors in a key file than this are refused rather than run.
constexpr unsigned long long kMaxMemLimit = 4ULL << 30;

// Bytes that are wiped when they go.
class Secret {
public:
    explicit Secret(size_t size) : m_bytes(size) {}
    ~Secret() { sodium_memzero(m_bytes.data(), m_bytes.size()); }
    Secret(const Secret &) = delete;
    Secret &operator=(const Secret &) = delete;
    unsigned char *data() { return m_bytes.data(); }
    size_t size() const { return m_bytes.size(); }

private:
    std::vector<unsigned char> m_bytes;
};

bool fromBase64(const std::string &text, unsigned char *out, size_t size)
{
    size_t length = 0;
    return sodium_base642bin(out, size, text.data(), text.size(), nullptr, &length, nullptr,
                             sodium_base64_VARIANT_ORIGINAL) == 0 &&
           length == size;
}

void storeLE64(unsigned char *out, unsigned long long value)
{
    for (int i = 0; i < 8; ++i)
        out[i] = static_cast<unsigned char>(value >> (8 * i));
}

unsigned long long loadLE64(const unsigned char *in)
{
    unsigned long long value = 0;
    for (int i = 7; i >= 0; --i)
        value = (value << 8) | in[i];
    return value;
}

void checksum(const unsigned char *keyId, const unsigned char *secretKey, unsigned char *out)
{
    crypto_generichash_state state;
    crypto_generichash_init(&state, nullptr, 0, crypto_generichash_BYTES);
    crypto_generichash_update(&state, reinterpret_cast<const unsigned char *>(kSignatureAlgorithm),
                              2);
    crypto_generichash_update(&state, keyId, 8);
    crypto_generichash_update(&state, secretKey, crypto_sign_SECRETKEYBYTES);
    crypto_generichash_final(&state, out, crypto_generichash_BYTES);
    sodium_memzero(&state, sizeof state);
}

// XORs the key number block with the stream the password makes.
bool applyPassword(const std::string &password, const unsigned char *salt,
                   unsigned long long opsLimit, size_t memLimit, unsigned char *keynum)
{
    Secret stream(kKeynumSize);
    if (crypto_pwhash_scryptsalsa208sha256(stream.data(), stream.size(), password.data(),
                                           password.size(), salt, opsLimit, memLimit) != 0)
        return false;
    for (size_t i = 0; i < kKeynumSize; ++i)
        keynum[i] ^= stream.data()[i];
    return true;
}

// The second line of a key file: the base64 after the untrusted comment.
std::optional<std::string> keyLine(const std::string &text)
{
    if (!text.starts_with(kUntrusted))
        return std::nullopt;
    const size_t start = text.find('\n');
    if (start == std::string::npos)
        return std::nullopt;
    std::string line = text.substr(start + 1, text.find('\n', start + 1) - start - 1);
    while (!line.empty() && (line.back() == '\r' || line.back() == ' '))
        line.pop_back();
    return line;
}

// A name for the trusted comment: one line, whatever bytes the file name holds.
std::string commentSafe(const std::string &name)
{
    std::string safe = name;
    for (char &c : safe) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
            c = '?';
    }
    return safe.substr(0, 1024);
}

// The terminal settings put back when a signal ends the program at a password prompt. The
// handler uses async-signal-safe calls only: tcsetattr, write, sigaction, raise.
constexpr int kTerminalSignals[] = {SIGINT, SIGTERM, SIGHUP};
termios g_savedTerminal{};
struct sigaction g_previousActions[std::size(kTerminalSignals)];
bool g_handled[std::size(kTerminalSignals)];

void restoreTerminal(int signal)
{
    tcsetattr(STDIN_FILENO, TCSANOW, &g_savedTerminal);
    const ssize_t written = write(STDERR_FILENO, "\n", 1); // the prompt's line ends
    static_cast<void>(written);
    for (size_t i = 0; i < std::size(kTerminalSignals); ++i) {
        if (kTerminalSignals[i] == signal)
            sigaction(signal, &g_previousActions[i], nullptr);
    }
    // Delivered once this handler returns, with the action it had before.
    raise(signal);
}

} // namespace

void ZAVVendorKey::restoreTerminalOnSignal(const termios *saved)
{
    for (size_t i = 0; i < std::size(kTerminalSignals); ++i) {
        if (g_handled[i]) {
            sigaction(kTerminalSignals[i], &g_previousActions[i], nullptr);
            g_handled[i] = false;
        }
    }
    if (!saved)
        return;
    g_savedTerminal = *saved;
    for (size_t i = 0; i < std::size(kTerminalSignals); ++i) {
        struct sigaction action {};
        action.sa_handler = restoreTerminal;
        sigfillset(&action.sa_mask);
        struct sigaction &previous = g_previousActions[i];
        if (sigaction(kTerminalSignals[i], nullptr, &previous) != 0 ||
            previous.sa_handler == SIG_IGN)
            continue;
        g_handled[i] = sigaction(kTerminalSignals[i], &action, nullptr) == 0;
    }
}

ZAVVendorKey::ZAVVendorKey() = default;

ZAVVendorKey::~ZAVVendorKey()
{
    sodium_memzero(m_secretKey.data(), m_secretKey.size());
}

ZAVVendorKey::ZAVVendorKey(ZAVVendorKey &&other) noexcept
    : m_keyId(other.m_keyId), m_publicKey(other.m_publicKey), m_secretKey(other.m_secretKey)
{
    sodium_memzero(other.m_secretKey.data(), other.m_secretKey.size());
}

ZAVVendorKey ZAVVendorKey::generate()
{
    ZAVVendorKey key;
    crypto_sign_keypair(key.m_publicKey.data(), key.m_secretKey.data());
    randombytes_buf(key.m_keyId.data(), key.m_keyId.size());
    return key;
}

ZAVResult<ZAVVendorKey> ZAVVendorKey::load(const std::string &path, const PasswordSource &password)
{
    const ZAVResult<std::string> text = ZAVFileReader::read(path, 4096);
    if (!text)
        return ZAVVendorFiles::sentence(text.errorNumber(),
                                        "cannot read " + text.error().message());
    Secret bytes(kSecretFileSize);
    const std::optional<std::string> line = keyLine(*text);
    if (!line || !fromBase64(*line, bytes.data(), bytes.size()))
        return ZAVVendorFiles::sentence(EINVAL, path + " is not a minisign secret key file");
    const unsigned char *b = bytes.data();
    const bool prehashedAlgorithm = std::memcmp(b, kSignatureAlgorithm, 2) == 0;
    const bool protectedKey = std::memcmp(b + 2, kKdfAlgorithm, 2) == 0;
    if (!prehashedAlgorithm || std::memcmp(b + 4, kChecksumAlgorithm, 2) != 0 ||
        (!protectedKey && (b[2] != 0 || b[3] != 0))) {
        return ZAVFileError{path, ENOTSUP,
                            "unsupported key algorithms (Ed25519, scrypt and BLAKE2b are known)"};
    }
    if (protectedKey) {
        const unsigned long long opsLimit = loadLE64(b + kOpsOffset);
        const unsigned long long memLimit = loadLE64(b + kMemOffset);
        if (memLimit > kMaxMemLimit) {
            return ZAVFileError{path, ENOMEM,
                                "the key asks for more than 4 GiB of memory to open it"};
        }
        std::optional<std::string> secret = password();
        if (!secret) {
            return ZAVVendorFiles::sentence(ECANCELED,
                                            "no password was given for the protected key " + path);
        }
        const bool derived =
            applyPassword(*secret, b + kSaltOffset, opsLimit, static_cast<size_t>(memLimit),
                          bytes.data() + kKeynumOffset);
        sodium_memzero(secret->data(), secret->size());
        if (!derived) {
            return ZAVVendorFiles::sentence(ENOMEM, "not enough memory to open the key " + path);
        }
    }
    ZAVVendorKey key;
    const unsigned char *keynum = b + kKeynumOffset;
    std::memcpy(key.m_keyId.data(), keynum, 8);
    std::memcpy(key.m_secretKey.data(), keynum + 8, key.m_secretKey.size());
    unsigned char expected[crypto_generichash_BYTES];
    checksum(key.m_keyId.data(), key.m_secretKey.data(), expected);
    const unsigned char *stored = keynum + 8 + crypto_sign_SECRETKEYBYTES;
    // minisign leaves the checksum of an unprotected key zero.
    const bool unchecked = !protectedKey && sodium_is_zero(stored, sizeof expected);
    if (!unchecked && sodium_memcmp(stored, expected, sizeof expected) != 0) {
        if (protectedKey)
            return ZAVVendorFiles::sentence(EBADMSG, "wrong password for the key " + path);
        return ZAVFileError{path, EBADMSG, "the secret key is damaged (its checksum differs)"};
    }
    crypto_sign_ed25519_sk_to_pk(key.m_publicKey.data(), key.m_secretKey.data());
    return key;
}

std::string ZAVVendorKey::keyId() const
{
    ZAVMinisign::KeyId id;
    std::copy(m_keyId.begin(), m_keyId.end(), id.begin());
    return ZAVMinisign::keyIdText(id);
}

std::string ZAVVendorKey::publicKey() const
{
    unsigned char bytes[2 + 8 + 32];
    std::memcpy(bytes, kSignatureAlgorithm, 2);
    std::memcpy(bytes + 2, m_keyId.data(), 8);
    std::memcpy(bytes + 10, m_publicKey.data(), 32);
    return ZAVMinisign::base64(bytes, sizeof bytes);
}

std::string ZAVVendorKey::publicKeyFileText() const
{
    return std::string(kUntrusted) + "minisign public key " + keyId() + "\n" + publicKey() + "\n";
}

std::string ZAVVendorKey::secretKeyFileText(const std::optional<std::string> &password) const
{
    Secret bytes(kSecretFileSize);
    unsigned char *b = bytes.data();
    std::memset(b, 0, bytes.size());
    std::memcpy(b, kSignatureAlgorithm, 2);
    std::memcpy(b + 4, kChecksumAlgorithm, 2);
    unsigned char *keynum = b + kKeynumOffset;
    std::memcpy(keynum, m_keyId.data(), 8);
    std::memcpy(keynum + 8, m_secretKey.data(), m_secretKey.size());
    checksum(m_keyId.data(), m_secretKey.data(), keynum + 8 + crypto_sign_SECRETKEYBYTES);
    if (password) {
        std::memcpy(b + 2, kKdfAlgorithm, 2);
        randombytes_buf(b + kSaltOffset, crypto_pwhash_scryptsalsa208sha256_SALTBYTES);
        storeLE64(b + kOpsOffset, kOpsLimit);
        storeLE64(b + kMemOffset, kMemLimit);
        if (!applyPassword(*password, b + kSaltOffset, kOpsLimit, kMemLimit, keynum))
            return {};
    }
    return std::string(kUntrusted) + "minisign encrypted secret key\n" +
           ZAVMinisign::base64(b, bytes.size()) + "\n";
}

ZAVResult<std::string> ZAVVendorKey::signatureFor(const std::string &path,
                                                  const std::string &name) const
{
    ZAVMinisign::Hasher hasher;
    if (const ZAVStatus read = ZAVFileReader::stream(
            path, [&hasher](const char *data, size_t size) { hasher.update(data, size); });
        !read)
        return read.error();
    const ZAVMinisign::Hash hash = hasher.final();

    unsigned char signature[2 + 8 + crypto_sign_BYTES];
    std::memcpy(signature, kPrehashedAlgorithm, 2);
    std::memcpy(signature + 2, m_keyId.data(), 8);
    crypto_sign_detached(signature + 10, nullptr, hash.data(), hash.size(), m_secretKey.data());

    const std::string trusted = "timestamp:" + std::to_string(std::time(nullptr)) +
                                "\tfile:" + commentSafe(name) + "\tprehashed";
    std::vector<unsigned char> signedComment(signature + 10, signature + sizeof signature);
    signedComment.insert(signedComment.end(), trusted.begin(), trusted.end());
    unsigned char global[crypto_sign_BYTES];
    crypto_sign_detached(global, nullptr, signedComment.data(), signedComment.size(),
                         m_secretKey.data());
    return std::string(kUntrusted) + "signature from zav-vendor secret key\n" +
           ZAVMinisign::base64(signature, sizeof signature) + "\n" + kTrusted + trusted + "\n" +
           ZAVMinisign::base64(global, sizeof global) + "\n";
}

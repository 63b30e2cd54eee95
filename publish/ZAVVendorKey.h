#pragma once

#include "base/ZAVResult.h"

#include <array>
#include <functional>
#include <optional>
#include <string>

struct termios;

// A signing key pair in minisign's formats, so that keys and signatures move freely between
// zav-vendor and the minisign tool:
//   public key file: "untrusted comment: minisign public key <ID>" and the base64 of
//       "Ed" | key id (8 bytes) | Ed25519 public key (32);
//   secret key file: "untrusted comment: minisign encrypted secret key" and the base64 of
//       "Ed" | "Sc" (or two zero bytes: unprotected) | "B2" | salt (32) | opslimit (8, LE) |
//       memlimit (8, LE) | key id (8) | Ed25519 secret key (64) | checksum (32),
//       where the checksum is BLAKE2b-256 of "Ed" | key id | secret key, and the last 104
//       bytes are XORed with a scrypt (salsa20/8, SHA-256) stream made from the password;
//   signature file: an untrusted comment, the base64 of "ED" | key id | Ed25519 signature of
//       the file's BLAKE2b-512, the trusted comment, and the base64 of the Ed25519 signature of
//       signature | trusted comment.
// All cryptography is libsodium's. The secret key is wiped from memory when the object goes.
// A value that one thread uses at a time.
class ZAVVendorKey {
public:
    // The work factors of a new protected key: minisign's, libsodium's "sensitive" scrypt
    // limits (about a second and 1 GiB of memory per use).
    static constexpr unsigned long long kOpsLimit = 33554432;
    static constexpr size_t kMemLimit = 1073741824;

    using PasswordSource = std::function<std::optional<std::string>()>;

    ~ZAVVendorKey();
    ZAVVendorKey(const ZAVVendorKey &) = delete;
    ZAVVendorKey &operator=(const ZAVVendorKey &) = delete;
    ZAVVendorKey(ZAVVendorKey &&other) noexcept;

    // A new random key pair (libsodium's random source).
    static ZAVVendorKey generate();
    // Reads a secret key file that zav-vendor or minisign wrote. `password` is asked only for
    // a protected key. Fails on a file that cannot be read (its errno) or is not a secret key
    // (EINVAL), an algorithm other than Ed25519/scrypt/BLAKE2b (ENOTSUP), no password
    // (ECANCELED), too little memory (ENOMEM) or a wrong password or damaged key (EBADMSG, the
    // checksum). The error's message() is the sentence zav-vendor prints: `path` is set when
    // it begins with the path, otherwise the reason names the path itself.
    static ZAVResult<ZAVVendorKey> load(const std::string &path, const PasswordSource &password);

    // The key id as minisign prints it: 16 uppercase hex digits.
    std::string keyId() const;
    // The public key's base64 line ("RWQ..."), what ZAV_TRUSTED_KEYS takes.
    std::string publicKey() const;
    std::string publicKeyFileText() const;
    // Protected by `password` when one is given, otherwise unprotected.
    std::string secretKeyFileText(const std::optional<std::string> &password) const;

    // The signature file's text for the file at `path`, read once in bounded chunks; `name`
    // goes into the trusted comment. Fails with the path and errno when the file cannot be
    // read.
    ZAVResult<std::string> signatureFor(const std::string &path, const std::string &name) const;

    // For the time a password is typed without echo: SIGINT, SIGTERM or SIGHUP put `saved` back
    // on standard input's terminal, then end the program as the signal would have (signals
    // that were ignored stay ignored). nullptr once the terminal is restored. Main thread.
    static void restoreTerminalOnSignal(const termios *saved);

private:
    ZAVVendorKey();

    std::array<unsigned char, 8> m_keyId{};
    std::array<unsigned char, 32> m_publicKey{};
    std::array<unsigned char, 64> m_secretKey{};
};

#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// The installer's stamp: the feed URL, the keys that sign the feed, the serial floor and the
// "unsigned" mark, kept in a reserved section of the installer's executable (kSectionName, kSize
// bytes) so that a built installer can be given its feed without a compiler. The installer reads
// its own section from memory; `zav-vendor bundle` and the build's stamp step write it into the
// file. Layout, integers little-endian:
//   offset  size
//   0       8     magic "ZAVSTAMP"
//   8       4     format version (kVersion)
//   12      4     length L of the content; 0 in an installer not stamped yet
//   16      L     content: serial floor (8) | flags (4; bit 0: unsigned, nothing else set) |
//                 URL length (2) | URL | key count (1) | each key's base64 line (kKeyLength)
//   16 + L        zero bytes up to the checksum
//   kSize - 64    64 lowercase hex digits: SHA-256 of every byte before them
// An installer not stamped yet holds the magic, the version and zeros (the checksum too).
// Keys are present exactly when the unsigned mark is not. Plain functions on bytes; any thread.
namespace ZAVStamp {

constexpr size_t kSize = 4096;
constexpr const char kSectionName[] = ".zav_stamp";
constexpr std::string_view kMagic = "ZAVSTAMP";
constexpr uint32_t kVersion = 1;
constexpr size_t kHeaderSize = 16;
constexpr size_t kChecksumSize = 64;
constexpr size_t kKeyLength = 56;
constexpr size_t kMaxKeys = 4;
constexpr size_t kMaxURLLength = 2048;
// The largest integer a feed's serial (a JSON number) states exactly.
constexpr uint64_t kMaxSerial = (uint64_t(1) << 53) - 1;

struct Content {
    std::string feedURL;
    std::vector<std::string> keys; // base64 lines of minisign public keys, the active key first
    uint64_t minimumSerial = 0;
    bool unsignedFeeds = false;

    bool operator==(const Content &) const = default;
};

enum class State {
    Stamped,
    Unstamped, // as built for the vendor's kit: nothing stamped yet
    Damaged,   // bad magic, version, checksum or content
};

struct Reading {
    State state = State::Damaged;
    Content content;     // when Stamped
    std::string problem; // when Damaged: what is wrong, for one line on standard error
};

// The kSize bytes of a section holding `content`. Empty, with the reason in *error, when the
// content does not fit the layout: an empty URL or one longer than kMaxURLLength, more than
// kMaxKeys keys, a key not of kKeyLength characters, keys together with the unsigned mark or
// neither, a serial above kMaxSerial. Whether the URL and keys are sound is the caller's check.
std::string encode(const Content &content, std::string *error);

// What `size` bytes at `bytes` hold. Only the layout is checked (and that keys and URL are
// printable ASCII); the caller parses the URL and keys.
Reading decode(const unsigned char *bytes, size_t size);

} // namespace ZAVStamp

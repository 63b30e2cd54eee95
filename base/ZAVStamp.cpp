#include "ZAVStamp.h"

#include "ZAVSha256.h"

#include <algorithm>

namespace {

constexpr size_t kChecksumOffset = ZAVStamp::kSize - ZAVStamp::kChecksumSize;
constexpr uint32_t kUnsignedFlag = 1;

void putInteger(std::string &out, uint64_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out += static_cast<char>((value >> (8 * i)) & 0xff);
}

uint64_t getInteger(const unsigned char *at, int bytes)
{
    uint64_t value = 0;
    for (int i = bytes - 1; i >= 0; --i)
        value = (value << 8) | at[i];
    return value;
}

std::string checksum(const void *bytes)
{
    ZAVSha256 sha;
    sha.update(bytes, kChecksumOffset);
    return sha.hexDigest();
}

bool printable(std::string_view text)
{
    return std::all_of(text.begin(), text.end(), [](char c) { return c > ' ' && c < 127; });
}

ZAVStamp::Reading damaged(std::string problem)
{
    return {ZAVStamp::State::Damaged, {}, std::move(problem)};
}

} // namespace

std::string ZAVStamp::encode(const Content &content, std::string *error)
{
    const auto refuse = [error](const char *reason) {
        *error = reason;
        return std::string();
    };
    if (content.feedURL.empty() || content.feedURL.size() > kMaxURLLength)
        return refuse("the feed URL is empty or longer than 2048 bytes");
    if (content.keys.size() > kMaxKeys)
        return refuse("at most four keys fit (the active key and up to three backups)");
    if (content.keys.empty() != content.unsignedFeeds)
        return refuse(content.unsignedFeeds ? "keys cannot go with the unsigned mark"
                                            : "no key given");
    for (const std::string &key : content.keys) {
        if (key.size() != kKeyLength)
            return refuse("a key is not the 56-character line of a minisign public key");
    }
    if (content.minimumSerial > kMaxSerial)
        return refuse("the serial floor is larger than 2^53 - 1");

    std::string body;
    putInteger(body, content.minimumSerial, 8);
    putInteger(body, content.unsignedFeeds ? kUnsignedFlag : 0, 4);
    putInteger(body, content.feedURL.size(), 2);
    body += content.feedURL;
    putInteger(body, content.keys.size(), 1);
    for (const std::string &key : content.keys)
        body += key;

    std::string section(kMagic);
    putInteger(section, kVersion, 4);
    putInteger(section, body.size(), 4);
    section += body;
    section.resize(kChecksumOffset, '\0');
    section += checksum(section.data());
    return section;
}

ZAVStamp::Reading ZAVStamp::decode(const unsigned char *bytes, size_t size)
{
    if (size != kSize)
        return damaged("the section is " + std::to_string(size) + " bytes, not " +
                       std::to_string(kSize));
    if (!std::equal(kMagic.begin(), kMagic.end(), bytes))
        return damaged("bad magic");
    if (getInteger(bytes + 8, 4) != kVersion)
        return damaged("unknown format version " + std::to_string(getInteger(bytes + 8, 4)));
    const uint64_t length = getInteger(bytes + 12, 4);
    if (length == 0 && std::all_of(bytes + kHeaderSize, bytes + kSize,
                                   [](unsigned char byte) { return byte == 0; }))
        return {State::Unstamped, {}, {}};
    if (checksum(bytes) !=
        std::string_view(reinterpret_cast<const char *>(bytes) + kChecksumOffset, kChecksumSize))
        return damaged("checksum mismatch");

    // The checksum holds: what follows was written by encode, unless someone forged it.
    const unsigned char *at = bytes + kHeaderSize;
    const unsigned char *const end = at + std::min<uint64_t>(length, kChecksumOffset - kHeaderSize);
    if (kHeaderSize + length > kChecksumOffset ||
        !std::all_of(end, bytes + kChecksumOffset, [](unsigned char byte) { return byte == 0; }))
        return damaged("malformed content (length)");
    const auto take = [&at, end](size_t count) {
        const unsigned char *from = at;
        if (size_t(end - at) < count)
            return static_cast<const unsigned char *>(nullptr);
        at += count;
        return from;
    };
    Content content;
    const unsigned char *fixed = take(14);
    if (!fixed)
        return damaged("malformed content (too short)");
    content.minimumSerial = getInteger(fixed, 8);
    const uint64_t flags = getInteger(fixed + 8, 4);
    content.unsignedFeeds = flags & kUnsignedFlag;
    const size_t urlLength = getInteger(fixed + 12, 2);
    const unsigned char *url = take(urlLength);
    const unsigned char *count = url ? take(1) : nullptr;
    if (!count)
        return damaged("malformed content (URL)");
    content.feedURL.assign(reinterpret_cast<const char *>(url), urlLength);
    for (unsigned i = 0; i < *count && i <= kMaxKeys; ++i) {
        const unsigned char *key = take(kKeyLength);
        if (!key)
            return damaged("malformed content (keys)");
        content.keys.emplace_back(reinterpret_cast<const char *>(key), kKeyLength);
    }
    if (at != end || (flags & ~uint64_t(kUnsignedFlag)) || content.minimumSerial > kMaxSerial ||
        content.keys.size() > kMaxKeys || content.keys.empty() != content.unsignedFeeds ||
        content.feedURL.empty() || !printable(content.feedURL) ||
        !std::all_of(content.keys.begin(), content.keys.end(), printable))
        return damaged("malformed content");
    return {State::Stamped, std::move(content), {}};
}

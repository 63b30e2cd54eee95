#include "ZAVVendorStamp.h"

#include "ZAVVendorFiles.h"
#include "base/ZAVAtomicFile.h"
#include "base/ZAVFileReader.h"
#include "trust/ZAVMinisign.h"

#include <QString>
#include <QUrl>

#include <elf.h>

#include <cerrno>
#include <cstring>

namespace {

// An installer is a few tens of megabytes; the limit only keeps a wrong file from filling memory.
constexpr size_t kMaximumImageSize = size_t(1) << 30;

ZAVFileError refusal(std::string text)
{
    return ZAVVendorFiles::sentence(EINVAL, std::move(text));
}

template <typename T> bool readAt(std::string_view image, uint64_t offset, T *value)
{
    if (offset > image.size() || image.size() - offset < sizeof(T))
        return false;
    std::memcpy(value, image.data() + offset, sizeof(T));
    return true;
}

// The canonical base64 line of a key: what minisign writes, whatever spacing it came with.
ZAVResult<std::string> canonicalKey(const std::string &text)
{
    const ZAVResult<ZAVMinisign::PublicKey> key = ZAVMinisign::parsePublicKey(text);
    if (!key)
        return key.error();
    unsigned char raw[2 + ZAVMinisign::kKeyIdBytes + ZAVMinisign::kPublicKeyBytes] = {'E', 'd'};
    std::memcpy(raw + 2, key->keyId.data(), ZAVMinisign::kKeyIdBytes);
    std::memcpy(raw + 2 + ZAVMinisign::kKeyIdBytes, key->key.data(), ZAVMinisign::kPublicKeyBytes);
    return ZAVMinisign::base64(raw, sizeof raw);
}

} // namespace

ZAVResult<ZAVStamp::Content> ZAVVendorStamp::content(const std::string &feedURL,
                                                     const std::vector<std::string> &keys,
                                                     const std::string &minimumSerial,
                                                     bool allowUnsigned)
{
    const QUrl url(QString::fromStdString(feedURL), QUrl::StrictMode);
    if (!url.isValid() || url.host().isEmpty() ||
        (url.scheme() != QLatin1String("https") && url.scheme() != QLatin1String("http")))
        return refusal("the feed URL " + feedURL + " is not an absolute http(s) URL");
    if (feedURL.size() > ZAVStamp::kMaxURLLength)
        return refusal("the feed URL is longer than 2048 bytes");
    ZAVStamp::Content content;
    content.feedURL = feedURL;
    if (keys.empty() && !allowUnsigned)
        return refusal("no key given: an installer that does not verify its feed is stamped only "
                       "with --allow-unsigned");
    if (!keys.empty() && allowUnsigned)
        return refusal("--allow-unsigned cannot go with keys");
    if (keys.size() > ZAVStamp::kMaxKeys)
        return refusal(std::to_string(keys.size()) + " keys given; at most four are allowed (the "
                                                     "active key and up to three backups)");
    for (const std::string &key : keys) {
        const ZAVResult<std::string> line = canonicalKey(key);
        if (!line)
            return refusal("the key " + key + " is refused: " + line.error().message());
        content.keys.push_back(*line);
    }
    content.unsignedFeeds = allowUnsigned;
    if (!minimumSerial.empty()) {
        const bool digits = minimumSerial.size() <= 16 &&
                            minimumSerial.find_first_not_of("0123456789") == std::string::npos;
        content.minimumSerial = digits ? std::stoull(minimumSerial) : ZAVStamp::kMaxSerial + 1;
        if (content.minimumSerial > ZAVStamp::kMaxSerial)
            return refusal("the serial floor must be a whole number from 0 to 2^53 - 1, not " +
                           minimumSerial);
    }
    return content;
}

ZAVResult<std::string> ZAVVendorStamp::readPublicKeyFile(const std::string &path)
{
    const ZAVResult<std::string> text = ZAVFileReader::read(path, 4096);
    if (!text)
        return ZAVVendorFiles::sentence(text.errorNumber(),
                                        "cannot read the key " + text.error().message());
    const ZAVResult<std::string> line = canonicalKey(*text);
    if (!line)
        return refusal(path + ": " + line.error().message());
    return line;
}

ZAVResult<size_t> ZAVVendorStamp::locate(std::string_view image)
{
    Elf64_Ehdr header;
    if (!readAt(image, 0, &header) || std::memcmp(header.e_ident, ELFMAG, SELFMAG) != 0 ||
        header.e_ident[EI_CLASS] != ELFCLASS64 || header.e_ident[EI_DATA] != ELFDATA2LSB)
        return refusal("not a 64-bit little-endian ELF file");
    Elf64_Shdr names;
    if (header.e_shentsize != sizeof(Elf64_Shdr) || header.e_shstrndx >= header.e_shnum ||
        !readAt(image, header.e_shoff + uint64_t(header.e_shstrndx) * sizeof(Elf64_Shdr), &names) ||
        names.sh_offset > image.size() || image.size() - names.sh_offset < names.sh_size)
        return refusal("its section headers are damaged or missing");
    const std::string_view table = image.substr(names.sh_offset, names.sh_size);
    const std::string_view wanted(ZAVStamp::kSectionName, sizeof ZAVStamp::kSectionName);
    size_t found = 0;
    int count = 0;
    for (uint64_t i = 0; i < header.e_shnum; ++i) {
        Elf64_Shdr section;
        if (!readAt(image, header.e_shoff + i * sizeof(Elf64_Shdr), &section))
            return refusal("its section headers are cut short");
        if (section.sh_name >= table.size() ||
            table.substr(section.sh_name, wanted.size()) != wanted)
            continue;
        ++count;
        found = section.sh_offset;
        if (section.sh_type != SHT_PROGBITS || section.sh_size != ZAVStamp::kSize ||
            section.sh_offset > image.size() || image.size() - section.sh_offset < ZAVStamp::kSize)
            return refusal("its stamp section is not " + std::to_string(ZAVStamp::kSize) +
                           " bytes of file content");
    }
    if (count != 1)
        return refusal(count == 0
                           ? "it has no stamp section (" + std::string(ZAVStamp::kSectionName) + ")"
                           : "it has more than one stamp section");
    const std::string_view bytes = image.substr(found, ZAVStamp::kHeaderSize);
    if (!bytes.starts_with(ZAVStamp::kMagic) ||
        bytes.substr(8, 4) != std::string_view("\x01\0\0\0", 4))
        return refusal("its stamp section holds no stamp of this format");
    return found;
}

ZAVStatus ZAVVendorStamp::stampImage(std::string &image, const ZAVStamp::Content &content)
{
    const ZAVResult<size_t> offset = locate(image);
    if (!offset)
        return offset.error();
    std::string error;
    const std::string section = ZAVStamp::encode(content, &error);
    if (section.empty())
        return refusal(error);
    image.replace(*offset, section.size(), section);
    return {};
}

ZAVStamp::Reading ZAVVendorStamp::read(std::string_view image)
{
    const ZAVResult<size_t> offset = locate(image);
    if (!offset)
        return {ZAVStamp::State::Damaged, {}, offset.error().message()};
    return ZAVStamp::decode(reinterpret_cast<const unsigned char *>(image.data()) + *offset,
                            ZAVStamp::kSize);
}

ZAVStatus ZAVVendorStamp::stampFile(const std::string &path, const ZAVStamp::Content &content)
{
    ZAVResult<std::string> image = ZAVFileReader::read(path, kMaximumImageSize);
    if (!image)
        return ZAVVendorFiles::sentence(image.errorNumber(),
                                        "cannot read " + image.error().message());
    if (const ZAVStatus stamped = stampImage(*image, content); !stamped)
        return refusal(path + ": " + stamped.error().message());
    if (const ZAVStatus written = ZAVAtomicFile::write(path, *image, 0755); !written)
        return ZAVVendorFiles::sentence(written.errorNumber(),
                                        "cannot write " + written.error().message());
    return {};
}

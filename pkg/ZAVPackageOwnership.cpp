#include "ZAVPackageOwnership.h"

#include "ZAVPackageHome.h"
#include "ZAVPackageRecovery.h"
#include "base/ZAVAtomicFile.h"
#include "base/ZAVDirectory.h"
#include "base/ZAVFileReader.h"
#include "base/ZAVFiles.h"
#include "base/ZAVRename.h"
#include "base/ZAVUserAppLayout.h"

// The one-shot SHA-256 of libcrypto, not its EVP interface: that would pull the providers'
// whole machinery into the static remover (4 MB instead of 1); both run the same assembly.
#define OPENSSL_SUPPRESS_DEPRECATED
#include <openssl/sha.h>

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace {

constexpr char kHeader[] = "zav-owned 2";
constexpr size_t kMaxRecordSize = 1 << 16;

bool number(const std::string &text, uint64_t *value)
{
    if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    errno = 0;
    *value = std::strtoull(text.c_str(), nullptr, 10);
    return errno == 0;
}

} // namespace

std::vector<ZAVPackageOwnership::Place> ZAVPackageOwnership::places(const ZAVUserAppLayout &layout)
{
    return {
        {"application-directory", layout.applicationDirectory(), true},
        {"desktop-entry", layout.desktopEntryPath(), false},
        {"icon-svg", layout.iconPath("svg"), false},
        {"icon-png", layout.iconPath("png"), false},
        {"receipt", layout.receiptPath(), false},
    };
}

ZAVPackageOwnership::Identity ZAVPackageOwnership::identityOf(int dirFd, const std::string &name)
{
    const ZAVFd fd(openat(dirFd, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    struct stat st {};
    if (!fd.valid() || fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode))
        return {};
    SHA256_CTX context;
    SHA256_Init(&context);
    char buffer[1 << 16];
    int64_t size = 0;
    for (;;) {
        const ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return {};
        if (n == 0)
            break;
        SHA256_Update(&context, buffer, static_cast<size_t>(n));
        size += n;
    }
    unsigned char digest[SHA256_DIGEST_LENGTH];
    SHA256_Final(digest, &context);
    static constexpr char kHex[] = "0123456789abcdef";
    std::string hex;
    for (const unsigned char byte : digest) {
        hex += kHex[byte >> 4];
        hex += kHex[byte & 15];
    }
    return {size, hex};
}

std::string ZAVPackageOwnership::recordName(const std::string &id)
{
    return id + ".owned";
}

std::optional<std::vector<ZAVPackageOwnership::Line>>
ZAVPackageOwnership::read(int receiptsFd, const std::string &id)
{
    const ZAVResult<std::string> text = ZAVFileReader::read(
        receiptsFd, recordName(id), kMaxRecordSize, ZAVFileReader::Links::Refuse);
    if (!text)
        return std::nullopt;
    std::vector<Line> lines;
    size_t start = 0;
    bool header = true;
    while (start < text->size()) {
        size_t end = text->find('\n', start);
        if (end == std::string::npos)
            end = text->size();
        const std::string line = text->substr(start, end - start);
        start = end + 1;
        if (header) {
            if (line != kHeader)
                return std::nullopt;
            header = false;
            continue;
        }
        std::vector<std::string> fields;
        for (size_t from = 0; from <= line.size();) {
            size_t space = line.find(' ', from);
            if (space == std::string::npos)
                space = line.size();
            fields.push_back(line.substr(from, space - from));
            from = space + 1;
        }
        uint64_t size = 0;
        if (fields.size() != 3 || !number(fields[1], &size) || fields[2].size() != 64 ||
            fields[2].find_first_not_of("0123456789abcdef") != std::string::npos)
            return std::nullopt;
        lines.push_back({fields[0], {static_cast<int64_t>(size), fields[2]}});
    }
    if (header)
        return std::nullopt;
    return lines;
}

ZAVStatus ZAVPackageOwnership::write(int receiptsFd, const std::string &id,
                                     const std::vector<Line> &lines, std::string *previous)
{
    previous->clear();
    const std::string backup = ZAVFiles::randomName(ZAVPackageRecovery::kTemporaryPrefix);
    if (linkat(receiptsFd, recordName(id).c_str(), receiptsFd, backup.c_str(), 0) == 0)
        *previous = backup;
    std::string text = std::string(kHeader) + '\n';
    for (const Line &line : lines)
        if (!line.identity.sha256.empty())
            text += line.place + ' ' + std::to_string(line.identity.size) + ' ' +
                    line.identity.sha256 + '\n';
    const ZAVStatus written = ZAVAtomicFile::write(receiptsFd, recordName(id), text, 0644);
    if (!written)
        finish(receiptsFd, id, *previous, true);
    return written;
}

void ZAVPackageOwnership::finish(int receiptsFd, const std::string &id, const std::string &previous,
                                 bool committed)
{
    if (committed) {
        if (!previous.empty())
            unlinkat(receiptsFd, previous.c_str(), 0);
    } else if (!previous.empty()) {
        ZAVRename::replace(receiptsFd, previous, receiptsFd, recordName(id));
    } else {
        unlinkat(receiptsFd, recordName(id).c_str(), 0);
    }
}

bool ZAVPackageOwnership::owns(const std::optional<std::vector<Line>> &record, const Place &place,
                               int folderFd, const std::string &name, const struct stat &st)
{
    if (place.directory)
        return S_ISDIR(st.st_mode);
    if (!S_ISREG(st.st_mode))
        return false;
    if (!record)
        return true;
    const Identity identity = identityOf(folderFd, name);
    if (identity.sha256.empty())
        return false;
    for (const Line &line : *record) {
        if (line.place == place.name && line.identity == identity)
            return true;
    }
    return false;
}

std::vector<ZAVPackageOwnership::Line> ZAVPackageOwnership::current(const ZAVPackageHome &home,
                                                                    const ZAVUserAppLayout &layout)
{
    std::optional<std::vector<Line>> record;
    if (const ZAVResult<ZAVFd> receipts = ZAVDirectory::openPath(
            home.fd.get(), ZAVPackageHome::below(layout.receiptsDirectory())))
        record = read(receipts->get(), layout.applicationId());
    std::vector<Line> lines;
    for (const Place &place : places(layout)) {
        struct stat st {};
        const ZAVResult<ZAVFd> folder =
            ZAVDirectory::openPath(home.fd.get(), ZAVPackageHome::folderOf(place.layoutPath));
        if (place.directory || !folder ||
            fstatat(folder->get(), ZAVPackageHome::nameOf(place.layoutPath).c_str(), &st,
                    AT_SYMLINK_NOFOLLOW) != 0)
            continue;
        const std::string name = ZAVPackageHome::nameOf(place.layoutPath);
        if (owns(record, place, folder->get(), name, st))
            lines.push_back({place.name, identityOf(folder->get(), name)});
    }
    return lines;
}

ZAVStatus ZAVPackageOwnership::check(const ZAVPackageHome &home, const ZAVUserAppLayout &layout,
                                     bool *installed, std::vector<std::string> *unowned)
{
    std::optional<std::vector<Line>> record;
    *installed = false;
    if (const ZAVResult<ZAVFd> receipts = ZAVDirectory::openPath(
            home.fd.get(), ZAVPackageHome::below(layout.receiptsDirectory()))) {
        struct stat st {};
        const std::string name = ZAVPackageHome::nameOf(layout.receiptPath());
        *installed = fstatat(receipts->get(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0;
        record = read(receipts->get(), layout.applicationId());
    }
    for (const Place &place : places(layout)) {
        const ZAVResult<ZAVFd> folder =
            ZAVDirectory::openPath(home.fd.get(), ZAVPackageHome::folderOf(place.layoutPath));
        if (!folder) {
            if (folder.errorNumber() == ENOENT)
                continue;
            // A folder on the way that is a link or not a folder: what it leads to is not ours.
            unowned->push_back(home.absolute(place.layoutPath));
            continue;
        }
        struct stat st {};
        if (fstatat(folder->get(), ZAVPackageHome::nameOf(place.layoutPath).c_str(), &st,
                    AT_SYMLINK_NOFOLLOW) != 0) {
            if (errno == ENOENT)
                continue;
            return ZAVFileError{home.absolute(place.layoutPath), errno, {}};
        }
        if (!owns(record, place, folder->get(), ZAVPackageHome::nameOf(place.layoutPath), st))
            unowned->push_back(home.absolute(place.layoutPath));
    }
    return {};
}

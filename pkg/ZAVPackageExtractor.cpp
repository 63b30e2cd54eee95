#include "ZAVPackageExtractor.h"

#include "ZAVPackageEntryRules.h"
#include "ZAVPackageStream.h"
#include "ZAVPkgLog.h"
#include "base/ZAVDirectory.h"
#include "base/ZAVFd.h"
#include "base/ZAVFiles.h"

#include <archive.h>
#include <archive_entry.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>

#include <cerrno>
#include <cstdio>
#include <memory>

namespace {

constexpr char kNotAPackage[] =
    "not a package (a tar archive, plain or compressed with gzip, bzip2, xz or zstd)";
constexpr la_int64_t kTarBlock = 512;

// Why data whose first entry cannot be read (`reason`, libarchive's words) is refused: no
// package at all, or a damaged one when its data does not read to its end with the checks of
// its compression passed (a damaged compressed block can decompress into garbage before its
// check comes).
ZAVPkgError firstEntryUnreadable(ZAVPackageStream &package, const char *reason)
{
    if (package.sha256().empty())
        return ZAVPkgError::unreadable("the package is damaged or cut short: " +
                                       package.errorMessage());
    return ZAVPkgError::unreadable(std::string(kNotAPackage) + ": " +
                                   (reason ? reason : "unknown error"));
}

struct ArchiveDeleter {
    void operator()(archive *a) const { archive_read_free(a); }
};

std::string octal(unsigned mode)
{
    char text[16];
    std::snprintf(text, sizeof text, "%04o", mode);
    return text;
}

bool isSpaceError(int error)
{
    return error == ENOSPC || error == EFBIG || error == EDQUOT;
}

ZAVPkgError writeError(int error, const std::string &what)
{
    if (isSpaceError(error))
        return ZAVPkgError::failed("not enough space left to install the package (" +
                                   ZAVFiles::errorText(error) + " while writing " + what + ")");
    return ZAVPkgError::failed("cannot write " + what + ": " + ZAVFiles::errorText(error));
}

class Extraction {
public:
    Extraction(archive *reader, ZAVPackageStream &package, int rootFd, ZAVPkgLog &log,
               ZAVPackageExtractor::Result *result)
        : m_archive(reader), m_package(package), m_rootFd(rootFd), m_log(log), m_result(result)
    {
        const mode_t mask = umask(0);
        umask(mask);
        m_umask = mask;
    }

    ZAVPkgResult run();

private:
    ZAVPkgResult entry(archive_entry *entry);
    ZAVPkgResult directoryEntry(const std::vector<std::string> &components, mode_t mode);
    ZAVPkgResult fileEntry(archive_entry *entry, const std::vector<std::string> &components,
                           mode_t mode);
    ZAVPkgResult symlinkEntry(archive_entry *entry, const std::vector<std::string> &components);
    ZAVPkgResult hardlinkEntry(archive_entry *entry, const std::vector<std::string> &components);
    // The directory that holds the entry named by `components` (all but the last), created
    // where missing; -1 with *error set when it cannot be.
    int parentDirectory(const std::vector<std::string> &components, ZAVPkgResult *error);
    ZAVPkgResult reserveSpace(int64_t size, const std::string &path);
    ZAVPkgError duplicate(const std::string &path) const;
    ZAVPkgError archiveError(const std::string &context) const;

    struct OpenDirectory {
        std::string name;
        ZAVFd fd;
    };

    archive *m_archive;
    ZAVPackageStream &m_package;
    int m_rootFd;
    ZAVPkgLog &m_log;
    ZAVPackageExtractor::Result *m_result;
    mode_t m_umask = 022;
    // The chain of directories of the last entry: consecutive entries mostly share it.
    std::vector<OpenDirectory> m_openDirectories;
    uint64_t m_freeBytes = 0;
};

ZAVPkgError Extraction::archiveError(const std::string &context) const
{
    const char *text = archive_error_string(m_archive);
    return ZAVPkgError::unreadable(context + ": " + (text ? text : "unknown error"));
}

ZAVPkgError Extraction::duplicate(const std::string &path) const
{
    return ZAVPkgError::refused("entry " + ZAVQuoted(path) +
                                " comes more than once in the package (or clashes with a "
                                "directory of that name)");
}

ZAVPkgResult Extraction::run()
{
    archive_entry *current = nullptr;
    while (true) {
        const int status = archive_read_next_header(m_archive, &current);
        if (status == ARCHIVE_EOF) {
            // libarchive also ends at the end of the data, or after one zero block: a tar
            // archive ends with two, and without them the package was cut at an entry's end.
            const la_int64_t end = archive_filter_bytes(m_archive, 0);
            if (m_result->entryCount > 0 &&
                end - archive_read_header_position(m_archive) < 2 * kTarBlock)
                return ZAVPkgError::unreadable("the package is damaged or cut short after " +
                                               std::to_string(m_result->entryCount) +
                                               " entries: the end-of-archive blocks are missing");
            break;
        }
        if (status < ARCHIVE_WARN) {
            if (m_result->entryCount == 0)
                return firstEntryUnreadable(m_package, archive_error_string(m_archive));
            return archiveError("the package is damaged or cut short after " +
                                std::to_string(m_result->entryCount) + " entries");
        }
        if (status == ARCHIVE_WARN)
            m_log.detail(std::string("libarchive: ") + archive_error_string(m_archive));
        m_result->entryCount += 1;
        if (auto error = entry(current))
            return error;
    }
    return std::nullopt;
}

ZAVPkgResult Extraction::entry(archive_entry *entry)
{
    std::vector<std::string> components;
    if (auto error =
            ZAVPackageEntryRules::checkedComponents(archive_entry_pathname(entry), &components))
        return error;
    const std::string path = ZAVFiles::joined(components);
    const mode_t type = archive_entry_filetype(entry);
    const mode_t mode = archive_entry_mode(entry) & 07777;

    if (components.empty()) {
        if (type == AE_IFDIR && !archive_entry_hardlink(entry))
            return std::nullopt; // the root directory itself
        return ZAVPkgError::refused("entry " + ZAVQuoted(archive_entry_pathname(entry)) +
                                    " has no name");
    }
    if (components.size() == 1 && path.size() > 8 && path.ends_with(".desktop")) {
        if (!m_result->desktopEntryName.empty())
            return ZAVPkgError::refused("two desktop entries at the root, " +
                                        ZAVQuoted(m_result->desktopEntryName) + " and " +
                                        ZAVQuoted(path) + "; a package holds exactly one");
        m_result->desktopEntryName = path;
    }
    if (mode & (S_ISUID | S_ISGID | S_ISVTX))
        m_log.detail("dropping set-user-id, set-group-id and sticky bits of " + ZAVQuoted(path));

    if (archive_entry_hardlink(entry))
        return hardlinkEntry(entry, components);
    switch (type) {
    case AE_IFDIR:
        return directoryEntry(components, mode);
    case AE_IFREG:
        m_result->paths.push_back(path);
        return fileEntry(entry, components, mode);
    case AE_IFLNK:
        m_result->paths.push_back(path);
        return symlinkEntry(entry, components);
    case AE_IFCHR:
    case AE_IFBLK:
        return ZAVPkgError::refused("entry " + ZAVQuoted(path) +
                                    " is a device file; a package may hold only files, "
                                    "directories and links");
    case AE_IFIFO:
        return ZAVPkgError::refused("entry " + ZAVQuoted(path) +
                                    " is a FIFO; a package may hold only files, directories "
                                    "and links");
    case AE_IFSOCK:
        return ZAVPkgError::refused("entry " + ZAVQuoted(path) +
                                    " is a socket; a package may hold only files, directories "
                                    "and links");
    default:
        return ZAVPkgError::refused("entry " + ZAVQuoted(path) +
                                    " is of an unknown type; a package may hold only files, "
                                    "directories and links");
    }
}

int Extraction::parentDirectory(const std::vector<std::string> &components, ZAVPkgResult *error)
{
    const size_t depth = components.size() - 1;
    size_t shared = 0;
    while (shared < depth && shared < m_openDirectories.size() &&
           m_openDirectories[shared].name == components[shared])
        ++shared;
    m_openDirectories.resize(shared);
    for (size_t i = shared; i < depth; ++i) {
        const int parent = i == 0 ? m_rootFd : m_openDirectories[i - 1].fd.get();
        bool created = false;
        ZAVResult<ZAVFd> fd = ZAVDirectory::openOrCreate(parent, components[i], 0755, &created);
        const int errorNumber = fd.errorNumber();
        const std::vector<std::string> head(components.begin(),
                                            components.begin() + static_cast<long>(i) + 1);
        if (!fd) {
            const std::string entry = ZAVQuoted(ZAVFiles::joined(components));
            if (errorNumber == ELOOP || errorNumber == ENOTDIR)
                *error = ZAVPkgError::refused("entry " + entry + " goes through " +
                                              ZAVQuoted(ZAVFiles::joined(head)) +
                                              ", which is a link or a file, not a directory");
            else
                *error = writeError(errorNumber, "directory " + ZAVQuoted(ZAVFiles::joined(head)));
            return -1;
        }
        if (created) {
            m_result->paths.push_back(ZAVFiles::joined(head) + '/');
            m_log.detail("directory " + ZAVFiles::joined(head) + "/");
        }
        m_openDirectories.push_back({components[i], std::move(*fd)});
    }
    return depth == 0 ? m_rootFd : m_openDirectories[depth - 1].fd.get();
}

ZAVPkgResult Extraction::reserveSpace(int64_t size, const std::string &path)
{
    const uint64_t needed = size > 0 ? static_cast<uint64_t>(size) : 0;
    if (needed > m_freeBytes) {
        struct statvfs fs {};
        if (fstatvfs(m_rootFd, &fs) == 0)
            m_freeBytes = static_cast<uint64_t>(fs.f_bavail) * fs.f_frsize;
        else
            m_freeBytes = UINT64_MAX;
        if (needed > m_freeBytes)
            return ZAVPkgError::failed(
                "not enough space left to install the package: " + ZAVQuoted(path) + " needs " +
                std::to_string(needed) + " bytes, " + std::to_string(m_freeBytes) + " are free");
    }
    m_freeBytes -= needed;
    return std::nullopt;
}

ZAVPkgResult Extraction::directoryEntry(const std::vector<std::string> &components, mode_t mode)
{
    ZAVPkgResult error;
    const int parent = parentDirectory(components, &error);
    if (parent < 0)
        return error;
    const std::string &leaf = components.back();
    // Always enterable and writable by the user, so later entries and a later upgrade can
    // fill and remove it.
    const mode_t wanted = (mode & 0777) | 0700;
    bool created = false;
    const ZAVResult<ZAVFd> fd = ZAVDirectory::openOrCreate(parent, leaf, wanted, &created);
    const int errorNumber = fd.errorNumber();
    const std::string path = ZAVFiles::joined(components);
    if (!fd) {
        if (errorNumber == ELOOP || errorNumber == ENOTDIR)
            return duplicate(path);
        return writeError(errorNumber, "directory " + ZAVQuoted(path));
    }
    if (created)
        m_result->paths.push_back(path + '/');
    else if (fchmod(fd->get(), wanted & ~m_umask) != 0)
        return writeError(errno, "directory " + ZAVQuoted(path));
    m_log.detail("directory " + path + "/ mode " + octal(wanted & ~m_umask));
    return std::nullopt;
}

ZAVPkgResult Extraction::fileEntry(archive_entry *entry, const std::vector<std::string> &components,
                                   mode_t mode)
{
    const std::string path = ZAVFiles::joined(components);
    const int64_t size = archive_entry_size_is_set(entry) ? archive_entry_size(entry) : 0;
    if (auto error = reserveSpace(size, path))
        return error;
    ZAVPkgResult error;
    const int parent = parentDirectory(components, &error);
    if (parent < 0)
        return error;
    ZAVFd fd(openat(parent, components.back().c_str(),
                    O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode & 0777));
    if (!fd.valid()) {
        if (errno == EEXIST)
            return duplicate(path);
        return writeError(errno, ZAVQuoted(path));
    }
    const void *block = nullptr;
    size_t length = 0;
    la_int64_t offset = 0;
    int64_t end = 0;
    while (true) {
        const int status = archive_read_data_block(m_archive, &block, &length, &offset);
        if (status == ARCHIVE_EOF)
            break;
        if (status < ARCHIVE_WARN)
            return archiveError("the package is damaged or cut short in " + ZAVQuoted(path));
        if (const ZAVStatus written = ZAVFiles::writeAll(
                fd.get(), std::string_view(static_cast<const char *>(block), length), offset, path);
            !written)
            return writeError(written.errorNumber(), ZAVQuoted(path));
        end = offset + static_cast<int64_t>(length);
        m_result->byteCount += length;
    }
    // A sparse file may end in a hole.
    if (end < size && ftruncate(fd.get(), size) != 0)
        return writeError(errno, ZAVQuoted(path));
    if (archive_entry_mtime_is_set(entry)) {
        const timespec times[2] = {{0, UTIME_OMIT},
                                   {archive_entry_mtime(entry), archive_entry_mtime_nsec(entry)}};
        futimens(fd.get(), times);
    }
    if (close(fd.release()) != 0)
        return writeError(errno, ZAVQuoted(path));
    if (m_log.detailed())
        m_log.detail("file " + path + " " + std::to_string(size) + " bytes mode " +
                     octal((mode & 0777) & ~m_umask));
    return std::nullopt;
}

ZAVPkgResult Extraction::symlinkEntry(archive_entry *entry,
                                      const std::vector<std::string> &components)
{
    const std::string path = ZAVFiles::joined(components);
    const char *target = archive_entry_symlink(entry);
    if (auto error =
            ZAVPackageEntryRules::checkedSymlinkTarget(path, components.size() - 1, target))
        return error;
    ZAVPkgResult error;
    const int parent = parentDirectory(components, &error);
    if (parent < 0)
        return error;
    if (symlinkat(target, parent, components.back().c_str()) != 0) {
        if (errno == EEXIST)
            return duplicate(path);
        return writeError(errno, "symbolic link " + ZAVQuoted(path));
    }
    m_log.detail("link " + path + " -> " + ZAVQuoted(target));
    return std::nullopt;
}

ZAVPkgResult Extraction::hardlinkEntry(archive_entry *entry,
                                       const std::vector<std::string> &components)
{
    const std::string path = ZAVFiles::joined(components);
    const std::string link = "hard link " + ZAVQuoted(path);
    const char *targetName = archive_entry_hardlink(entry);
    if (targetName[0] == '/')
        return ZAVPkgError::refused(link + " -> " + ZAVQuoted(targetName) +
                                    " leaves the application directory (absolute target)");
    std::vector<std::string> target;
    if (auto error = ZAVPackageEntryRules::checkedComponents(targetName, &target))
        return ZAVPkgError::refused(link + " -> " + ZAVQuoted(targetName) +
                                    " leaves the application directory or names no entry");
    if (target.empty())
        return ZAVPkgError::refused(link + " points at the application directory itself");
    const std::string targetPath = ZAVFiles::joined(target);
    const std::vector<std::string> targetParent(target.begin(), target.end() - 1);
    const ZAVResult<ZAVFd> targetDirectory = ZAVDirectory::openPath(m_rootFd, targetParent);
    struct stat st {};
    if (!targetDirectory ||
        fstatat(targetDirectory->get(), target.back().c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 ||
        !S_ISREG(st.st_mode))
        return ZAVPkgError::refused(link + " -> " + ZAVQuoted(targetPath) +
                                    " does not name a regular file that comes before it in "
                                    "the package");
    ZAVPkgResult error;
    const int parent = parentDirectory(components, &error);
    if (parent < 0)
        return error;
    if (linkat(targetDirectory->get(), target.back().c_str(), parent, components.back().c_str(),
               0) != 0) {
        if (errno == EEXIST)
            return duplicate(path);
        return writeError(errno, link);
    }
    m_result->paths.push_back(path);
    m_log.detail("hard link " + path + " -> " + targetPath);
    return std::nullopt;
}

la_ssize_t readStream(archive *reader, void *stream, const void **buffer)
{
    auto *package = static_cast<ZAVPackageStream *>(stream);
    const ssize_t size = package->read(buffer);
    if (size < 0)
        archive_set_error(reader, EIO, "%s", package->errorMessage().c_str());
    return size;
}

} // namespace

ZAVPkgResult ZAVPackageExtractor::extract(ZAVPackageStream &package, int stagingFd, ZAVPkgLog &log,
                                          Result *result)
{
    std::unique_ptr<archive, ArchiveDeleter> reader(archive_read_new());
    if (!reader)
        return ZAVPkgError::failed("cannot set up the archive reader");
    archive_read_support_format_tar(reader.get());
    if (archive_read_open(reader.get(), &package, nullptr, readStream, nullptr) != ARCHIVE_OK)
        return firstEntryUnreadable(package, archive_error_string(reader.get()));
    Extraction extraction(reader.get(), package, stagingFd, log, result);
    return extraction.run();
}

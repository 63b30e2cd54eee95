#include "ZAVPackageTree.h"

#include "base/ZAVDirectory.h"
#include "base/ZAVFd.h"
#include "base/ZAVFileError.h"
#include "base/ZAVFileReader.h"
#include "base/ZAVSha256.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <vector>

unsigned ZAVPackageTree::normalizedMode(Type type, mode_t mode)
{
    switch (type) {
    case Type::Directory:
        return (mode & 0777) | 0700;
    case Type::Link:
        return 0777;
    case Type::File:
        break;
    }
    return mode & 0777;
}

std::string ZAVPackageTree::digest(std::vector<Entry> entries)
{
    std::sort(entries.begin(), entries.end(),
              [](const Entry &a, const Entry &b) { return a.path < b.path; });
    ZAVSha256 sha256;
    const std::string header = "zav-tree 1\n";
    sha256.update(header.data(), header.size());
    std::string line;
    for (const Entry &entry : entries) {
        char mode[8];
        std::snprintf(mode, sizeof mode, "%04o", entry.mode & 07777);
        line.assign(1, static_cast<char>(entry.type));
        line += ' ';
        line += mode;
        line += ' ' + std::to_string(entry.path.size()) + ':' + entry.path;
        if (entry.type == Type::File)
            line += ' ' + entry.sha256;
        else if (entry.type == Type::Link)
            line += ' ' + std::to_string(entry.target.size()) + ':' + entry.target;
        line += '\n';
        sha256.update(line.data(), line.size());
    }
    return sha256.hexDigest();
}

ZAVResult<std::string> ZAVPackageTree::fileDigest(int fd, uint64_t *size)
{
    ZAVSha256 sha256;
    uint64_t total = 0;
    if (const ZAVStatus read = ZAVFileReader::stream(fd,
                                                     [&](const char *data, size_t bytes) {
                                                         sha256.update(data, bytes);
                                                         total += bytes;
                                                     });
        !read)
        return read.error();
    if (size)
        *size = total;
    return sha256.hexDigest();
}

namespace {

ZAVStatus scanDirectory(int fd, const std::string &prefix, std::vector<ZAVPackageTree::Entry> *out)
{
    using Tree = ZAVPackageTree;
    ZAVResult<std::vector<std::string>> names = ZAVDirectory::entries(fd);
    if (!names)
        return names.error();
    for (const std::string &name : *names) {
        const std::string path = prefix.empty() ? name : prefix + '/' + name;
        struct stat st {};
        if (fstatat(fd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
            return ZAVFileError{path, errno, ""};
        Tree::Entry entry;
        entry.path = path;
        if (S_ISDIR(st.st_mode)) {
            entry.type = Tree::Type::Directory;
            entry.mode = Tree::normalizedMode(entry.type, st.st_mode);
            out->push_back(entry);
            ZAVResult<ZAVFd> child = ZAVDirectory::open(fd, name);
            if (!child)
                return ZAVFileError{path, child.errorNumber(), ""};
            if (ZAVStatus scanned = scanDirectory(child->get(), path, out); !scanned)
                return scanned;
        } else if (S_ISLNK(st.st_mode)) {
            entry.type = Tree::Type::Link;
            entry.mode = Tree::normalizedMode(entry.type, st.st_mode);
            std::vector<char> target(static_cast<size_t>(st.st_size) + 2);
            const ssize_t n = readlinkat(fd, name.c_str(), target.data(), target.size());
            if (n < 0 || static_cast<size_t>(n) >= target.size())
                return ZAVFileError{path, n < 0 ? errno : EIO, ""};
            entry.target.assign(target.data(), static_cast<size_t>(n));
            out->push_back(entry);
        } else if (S_ISREG(st.st_mode)) {
            entry.type = Tree::Type::File;
            entry.mode = Tree::normalizedMode(entry.type, st.st_mode);
            const ZAVFd file(
                openat(fd, name.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY));
            if (!file.valid())
                return ZAVFileError{path, errno, ""};
            ZAVResult<std::string> sha256 = Tree::fileDigest(file.get(), &entry.size);
            if (!sha256)
                return ZAVFileError{path, sha256.errorNumber(), ""};
            entry.sha256 = *sha256;
            entry.mtime = st.st_mtim;
            out->push_back(entry);
        } else {
            return ZAVFileError{path, EINVAL, ""};
        }
    }
    return {};
}

} // namespace

ZAVResult<std::vector<ZAVPackageTree::Entry>> ZAVPackageTree::scan(int rootFd)
{
    std::vector<Entry> entries;
    if (ZAVStatus scanned = scanDirectory(rootFd, "", &entries); !scanned)
        return scanned.error();
    std::sort(entries.begin(), entries.end(),
              [](const Entry &a, const Entry &b) { return a.path < b.path; });
    return entries;
}

#include "ZAVDirectory.h"

#include "ZAVFiles.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/stat.h>
#include <sys/syscall.h>

#include <cerrno>
#include <cstring>
#include <memory>

namespace {

constexpr int kDirectoryFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

struct DirCloser {
    void operator()(DIR *dir) const { closedir(dir); }
};

ZAVStatus removeEntry(int dirFd, const std::string &name);

ZAVStatus removeDirectoryContents(int dirFd, const std::string &path)
{
    const ZAVResult<std::vector<std::string>> names = ZAVDirectory::entries(dirFd);
    if (!names)
        return ZAVFileError{path, names.errorNumber(), {}};
    ZAVStatus first;
    for (const std::string &name : *names) {
        const ZAVStatus removed = removeEntry(dirFd, name);
        if (!removed && first)
            first = ZAVFileError{path + '/' + removed.error().path, removed.errorNumber(), {}};
    }
    return first;
}

ZAVStatus removeEntry(int dirFd, const std::string &name)
{
    if (unlinkat(dirFd, name.c_str(), 0) == 0 || errno == ENOENT)
        return {};
    if (errno != EISDIR && errno != EPERM)
        return ZAVFileError::fromErrno(name);
    ZAVResult<ZAVFd> child = ZAVDirectory::open(dirFd, name);
    if (!child)
        return child.errorNumber() == ENOENT ? ZAVStatus() : child.status();
    // A directory we cannot write into (mode 0555 in an old install) cannot be emptied.
    struct stat st {};
    if (fstat(child->get(), &st) == 0 && (st.st_mode & 0700) != 0700)
        fchmod(child->get(), (st.st_mode & 07777) | 0700);
    // Entries removed while the directory is being read may hide others from readdir: list
    // again until the directory goes.
    for (int pass = 0; pass < 3; ++pass) {
        if (ZAVStatus emptied = removeDirectoryContents(child->get(), name); !emptied)
            return emptied;
        if (unlinkat(dirFd, name.c_str(), AT_REMOVEDIR) == 0 || errno == ENOENT)
            return {};
        if (errno != ENOTEMPTY && errno != EEXIST)
            break;
    }
    return ZAVFileError::fromErrno(name);
}

} // namespace

ZAVResult<ZAVFd> ZAVDirectory::open(int dirFd, const std::string &name)
{
    ZAVFd fd(openat(dirFd, name.c_str(), kDirectoryFlags));
    if (!fd.valid())
        return ZAVFileError::fromErrno(name);
    return fd;
}

ZAVResult<ZAVFd> ZAVDirectory::openOrCreate(int dirFd, const std::string &name, mode_t mode,
                                            bool *created)
{
    *created = false;
    if (mkdirat(dirFd, name.c_str(), mode) == 0)
        *created = true;
    else if (errno != EEXIST)
        return ZAVFileError::fromErrno(name);
    return open(dirFd, name);
}

ZAVResult<ZAVFd> ZAVDirectory::openPath(int dirFd, const std::vector<std::string> &components)
{
    ZAVFd current(fcntl(dirFd, F_DUPFD_CLOEXEC, 0));
    if (!current.valid())
        return ZAVFileError::fromErrno(".");
    for (size_t i = 0; i < components.size(); ++i) {
        ZAVResult<ZAVFd> next = open(current.get(), components[i]);
        if (!next)
            return ZAVFileError{
                ZAVFiles::joined({components.begin(), components.begin() + long(i) + 1}),
                next.errorNumber(),
                {}};
        current = std::move(*next);
    }
    return current;
}

ZAVResult<ZAVFd> ZAVDirectory::openBeneath(int rootFd, const std::string &path, int flags)
{
    open_how how{};
    how.flags = static_cast<uint64_t>(flags | O_CLOEXEC);
    how.resolve = RESOLVE_BENEATH | RESOLVE_NO_MAGICLINKS;
    long fd = syscall(SYS_openat2, rootFd, path.c_str(), &how, sizeof how);
    if (fd < 0 && errno == ENOSYS) {
        // Kernels before 5.6: no links at all on the way.
        const std::vector<std::string> parts = ZAVFiles::components(path);
        if (parts.empty())
            return ZAVFileError{path, ENOENT, {}};
        ZAVResult<ZAVFd> parent =
            openPath(rootFd, std::vector<std::string>(parts.begin(), parts.end() - 1));
        if (!parent)
            return ZAVFileError{path, parent.errorNumber(), {}};
        fd = openat(parent->get(), parts.back().c_str(), flags | O_CLOEXEC | O_NOFOLLOW);
    }
    if (fd < 0)
        return ZAVFileError::fromErrno(path);
    return ZAVFd(static_cast<int>(fd));
}

ZAVResult<std::vector<std::string>> ZAVDirectory::entries(int dirFd)
{
    // fdopendir takes over the descriptor it is given, and only when it succeeds: hand it a
    // duplicate, and close that duplicate when it fails.
    ZAVFd listFd(fcntl(dirFd, F_DUPFD_CLOEXEC, 0));
    if (!listFd.valid())
        return ZAVFileError::fromErrno(".");
    std::unique_ptr<DIR, DirCloser> dir(fdopendir(listFd.get()));
    if (!dir)
        return ZAVFileError::fromErrno(".");
    listFd.release();
    // The duplicate shares its offset with `dirFd`'s other duplicates: start at the top.
    rewinddir(dir.get());
    std::vector<std::string> names;
    while (true) {
        errno = 0;
        const dirent *entry = readdir(dir.get());
        if (!entry) {
            if (errno != 0)
                return ZAVFileError::fromErrno(".");
            break;
        }
        if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0)
            names.emplace_back(entry->d_name);
    }
    return names;
}

ZAVStatus ZAVDirectory::removeTree(int dirFd, const std::string &name)
{
    return removeEntry(dirFd, name);
}

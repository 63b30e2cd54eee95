#include "ZAVFileSystem.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <memory>

namespace {

constexpr int kDirectoryFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

int lastError()
{
    return errno != 0 ? errno : EIO;
}

struct DirCloser {
    void operator()(DIR *dir) const { closedir(dir); }
};

int removeDirectoryContents(int dirFd);

int removeEntry(int dirFd, const char *name)
{
    if (unlinkat(dirFd, name, 0) == 0 || errno == ENOENT)
        return 0;
    if (errno != EISDIR && errno != EPERM)
        return errno;
    int error = 0;
    ZAVFd child = ZAVFileSystem::openDirectory(dirFd, name, &error);
    if (!child.valid())
        return error == ENOENT ? 0 : error;
    // A directory we cannot write into (mode 0555 in an old install) cannot be emptied.
    struct stat st {};
    if (fstat(child.get(), &st) == 0 && (st.st_mode & 0700) != 0700)
        fchmod(child.get(), (st.st_mode & 07777) | 0700);
    // Entries removed while the directory is being read may hide others from readdir: list
    // again until the directory goes.
    for (int pass = 0; pass < 3; ++pass) {
        if ((error = removeDirectoryContents(child.get())) != 0)
            return error;
        if (unlinkat(dirFd, name, AT_REMOVEDIR) == 0 || errno == ENOENT)
            return 0;
        if (errno != ENOTEMPTY && errno != EEXIST)
            break;
    }
    return lastError();
}

int removeDirectoryContents(int dirFd)
{
    // fdopendir takes over the descriptor it is given: hand it a duplicate.
    const int listFd = fcntl(dirFd, F_DUPFD_CLOEXEC, 0);
    if (listFd < 0)
        return lastError();
    std::unique_ptr<DIR, DirCloser> dir(fdopendir(listFd));
    if (!dir) {
        const int error = lastError();
        close(listFd);
        return error;
    }
    int firstError = 0;
    while (true) {
        errno = 0;
        const dirent *entry = readdir(dir.get());
        if (!entry) {
            if (errno != 0 && firstError == 0)
                firstError = errno;
            break;
        }
        if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0)
            continue;
        const int error = removeEntry(dirFd, entry->d_name);
        if (error != 0 && firstError == 0)
            firstError = error;
    }
    return firstError;
}

} // namespace

std::string ZAVFileSystem::randomName(const std::string &prefix)
{
    unsigned char bytes[8] = {};
    size_t filled = 0;
    while (filled < sizeof bytes) {
        const ssize_t n = getrandom(bytes + filled, sizeof bytes - filled, 0);
        if (n > 0)
            filled += static_cast<size_t>(n);
        else if (errno != EINTR)
            break;
    }
    static const char digits[] = "0123456789abcdef";
    std::string name = prefix;
    for (const unsigned char byte : bytes) {
        name += digits[byte >> 4];
        name += digits[byte & 0xf];
    }
    return name;
}

ZAVFd ZAVFileSystem::openDirectory(int dirFd, const std::string &name, int *error)
{
    ZAVFd fd(openat(dirFd, name.c_str(), kDirectoryFlags));
    *error = fd.valid() ? 0 : lastError();
    return fd;
}

ZAVFd ZAVFileSystem::openOrCreateDirectory(int dirFd, const std::string &name, mode_t mode,
                                           bool *created, int *error)
{
    *created = false;
    if (mkdirat(dirFd, name.c_str(), mode) == 0)
        *created = true;
    else if (errno != EEXIST) {
        *error = lastError();
        return ZAVFd();
    }
    return openDirectory(dirFd, name, error);
}

ZAVFd ZAVFileSystem::openPath(int dirFd, const std::vector<std::string> &components, int *error)
{
    ZAVFd current(fcntl(dirFd, F_DUPFD_CLOEXEC, 0));
    if (!current.valid()) {
        *error = lastError();
        return current;
    }
    for (const std::string &component : components) {
        current = openDirectory(current.get(), component, error);
        if (!current.valid())
            return current;
    }
    *error = 0;
    return current;
}

int ZAVFileSystem::removeTree(int dirFd, const std::string &name)
{
    return removeEntry(dirFd, name.c_str());
}

int ZAVFileSystem::writeAll(int fd, const char *data, size_t size, off_t offset)
{
    while (size > 0) {
        const ssize_t n = pwrite(fd, data, size, offset);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return lastError();
        }
        if (n == 0)
            return EIO;
        data += n;
        size -= static_cast<size_t>(n);
        offset += n;
    }
    return 0;
}

int ZAVFileSystem::writeNewFile(int dirFd, const std::string &name, std::string_view data,
                                mode_t mode)
{
    ZAVFd fd(openat(dirFd, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                    mode));
    if (!fd.valid())
        return lastError();
    int error = writeAll(fd.get(), data.data(), data.size(), 0);
    if (error == 0 && fsync(fd.get()) != 0)
        error = lastError();
    if (error != 0)
        unlinkat(dirFd, name.c_str(), 0);
    return error;
}

int ZAVFileSystem::copyToNewFile(int sourceFd, int dirFd, const std::string &name, mode_t mode)
{
    ZAVFd fd(openat(dirFd, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                    mode));
    if (!fd.valid())
        return lastError();
    int error = 0;
    char buffer[1 << 16];
    off_t offset = 0;
    while (error == 0) {
        const ssize_t n = pread(sourceFd, buffer, sizeof buffer, offset);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            error = lastError();
        if (n <= 0)
            break;
        error = writeAll(fd.get(), buffer, static_cast<size_t>(n), offset);
        offset += n;
    }
    if (error == 0 && fsync(fd.get()) != 0)
        error = lastError();
    if (error != 0)
        unlinkat(dirFd, name.c_str(), 0);
    return error;
}

std::vector<std::string> ZAVFileSystem::components(std::string_view path)
{
    std::vector<std::string> parts;
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = path.find('/', start);
        if (end == std::string_view::npos)
            end = path.size();
        const std::string_view part = path.substr(start, end - start);
        if (!part.empty() && part != ".")
            parts.emplace_back(part);
        start = end + 1;
    }
    return parts;
}

std::string ZAVFileSystem::joined(const std::vector<std::string> &components)
{
    std::string path;
    for (const std::string &component : components) {
        if (!path.empty())
            path += '/';
        path += component;
    }
    return path;
}

std::string ZAVFileSystem::errorText(int error)
{
    return std::strerror(error);
}

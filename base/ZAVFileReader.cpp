#include "ZAVFileReader.h"

#include "ZAVFd.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

ZAVResult<std::string> ZAVFileReader::read(int dirFd, const std::string &path, size_t maxSize,
                                           Links links)
{
    const int flags =
        O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY | (links == Links::Refuse ? O_NOFOLLOW : 0);
    ZAVFd fd(openat(dirFd, path.c_str(), flags));
    struct stat st {};
    if (!fd.valid() || fstat(fd.get(), &st) != 0)
        return ZAVFileError::fromErrno(path);
    if (!S_ISREG(st.st_mode))
        return ZAVFileError{path, EINVAL, "not a regular file"};
    if (static_cast<unsigned long long>(st.st_size) > maxSize)
        return ZAVFileError{path, EFBIG, "larger than " + std::to_string(maxSize) + " bytes"};
    std::string data(static_cast<size_t>(st.st_size), '\0');
    size_t done = 0;
    while (done < data.size()) {
        const ssize_t n =
            pread(fd.get(), data.data() + done, data.size() - done, static_cast<off_t>(done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return ZAVFileError::fromErrno(path);
        if (n == 0)
            return ZAVFileError{path, EIO, "it shrank while being read"};
        done += static_cast<size_t>(n);
    }
    return data;
}

ZAVResult<std::string> ZAVFileReader::read(const std::string &path, size_t maxSize, Links links)
{
    return read(AT_FDCWD, path, maxSize, links);
}

ZAVStatus ZAVFileReader::stream(const std::string &path,
                                const std::function<void(const char *data, size_t size)> &consume)
{
    ZAVFd fd(open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY));
    if (!fd.valid())
        return ZAVFileError::fromErrno(path);
    if (const ZAVStatus read = stream(fd.get(), consume); !read) {
        ZAVFileError error = read.error();
        error.path = path;
        return error;
    }
    return {};
}

ZAVStatus ZAVFileReader::stream(int fd,
                                const std::function<void(const char *data, size_t size)> &consume)
{
    std::vector<char> buffer(1 << 20);
    for (;;) {
        const ssize_t n = ::read(fd, buffer.data(), buffer.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return ZAVFileError::fromErrno(std::string());
        if (n == 0)
            return {};
        consume(buffer.data(), static_cast<size_t>(n));
    }
}

#include "ZAVFiles.h"

#include <sys/random.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

std::string ZAVFiles::randomName(const std::string &prefix)
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

ZAVStatus ZAVFiles::writeAll(int fd, std::string_view data, off_t offset, const std::string &what)
{
    while (!data.empty()) {
        const ssize_t n = pwrite(fd, data.data(), data.size(), offset);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return ZAVFileError::fromErrno(what);
        }
        if (n == 0)
            return ZAVFileError{what, EIO, {}};
        data.remove_prefix(static_cast<size_t>(n));
        offset += n;
    }
    return {};
}

std::vector<std::string> ZAVFiles::components(std::string_view path)
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

std::string ZAVFiles::joined(const std::vector<std::string> &components)
{
    std::string path;
    for (const std::string &component : components) {
        if (!path.empty())
            path += '/';
        path += component;
    }
    return path;
}

std::string ZAVFiles::errorText(int error)
{
    return std::strerror(error);
}

#include "ZAVVendorFiles.h"

#include "base/ZAVDirectory.h"
#include "base/ZAVFd.h"
#include "base/ZAVSha256.h"

#include <QFile>

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <vector>

std::string ZAVVendorFiles::makeScratchDirectory(const std::string &prefix)
{
    const char *tmpdir = std::getenv("TMPDIR");
    const bool usable = tmpdir && tmpdir[0] == '/' &&
                        QFile::encodeName(QFile::decodeName(tmpdir)) == QByteArray(tmpdir);
    std::string path = std::string(usable ? tmpdir : "/tmp") + '/' + prefix + "XXXXXX";
    return mkdtemp(path.data()) ? path : std::string();
}

void ZAVVendorFiles::removeScratchDirectory(const std::string &path)
{
    ZAVDirectory::removeTree(AT_FDCWD, path);
}

ZAVStatus ZAVVendorFiles::digestFile(const std::string &path, std::string *sha256, uint64_t *size)
{
    ZAVFd fd(open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY));
    if (!fd.valid())
        return ZAVFileError::fromErrno(path);
    ZAVSha256 digest;
    std::vector<char> buffer(1 << 20);
    *size = 0;
    for (;;) {
        const ssize_t n = read(fd.get(), buffer.data(), buffer.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return ZAVFileError::fromErrno(path);
        if (n == 0)
            break;
        digest.update(buffer.data(), static_cast<size_t>(n));
        *size += static_cast<uint64_t>(n);
    }
    *sha256 = digest.hexDigest();
    return {};
}

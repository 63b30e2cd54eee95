#include "ZAVVendorFiles.h"

#include "base/ZAVDirectory.h"
#include "base/ZAVFd.h"
#include "base/ZAVFileReader.h"
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
    ZAVSha256 digest;
    *size = 0;
    if (const ZAVStatus read = ZAVFileReader::stream(path,
                                                     [&](const char *data, size_t bytes) {
                                                         digest.update(data, bytes);
                                                         *size += bytes;
                                                     });
        !read)
        return read.error();
    *sha256 = digest.hexDigest();
    return {};
}

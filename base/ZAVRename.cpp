#include "ZAVRename.h"

#include <fcntl.h>
#include <stdio.h>
#include <unistd.h>

#include <cerrno>

namespace {

bool lacksFlags(int error)
{
    return error == EINVAL || error == ENOSYS;
}

} // namespace

ZAVStatus ZAVRename::replace(int fromDir, const std::string &from, int toDir, const std::string &to)
{
    if (renameat(fromDir, from.c_str(), toDir, to.c_str()) != 0)
        return ZAVFileError::fromErrno(from);
    return {};
}

ZAVStatus ZAVRename::noReplace(int fromDir, const std::string &from, int toDir,
                               const std::string &to)
{
    if (renameat2(fromDir, from.c_str(), toDir, to.c_str(), RENAME_NOREPLACE) == 0)
        return {};
    if (!lacksFlags(errno))
        return ZAVFileError::fromErrno(from);
    // A file (not a directory) is given its second name with link(2), which never replaces
    // anything, and then loses the first.
    if (linkat(fromDir, from.c_str(), toDir, to.c_str(), 0) == 0) {
        unlinkat(fromDir, from.c_str(), 0);
        return {};
    }
    if (errno == EEXIST)
        return ZAVFileError::fromErrno(from);
    if (faccessat(toDir, to.c_str(), F_OK, AT_SYMLINK_NOFOLLOW) == 0)
        return ZAVFileError{from, EEXIST, {}};
    return replace(fromDir, from, toDir, to);
}

ZAVStatus ZAVRename::exchange(int fromDir, const std::string &from, int toDir,
                              const std::string &to)
{
    if (renameat2(fromDir, from.c_str(), toDir, to.c_str(), RENAME_EXCHANGE) != 0)
        return ZAVFileError::fromErrno(from);
    return {};
}

bool ZAVRename::unsupported(const ZAVStatus &status)
{
    return !status && lacksFlags(status.errorNumber());
}

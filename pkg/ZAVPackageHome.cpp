#include "ZAVPackageHome.h"

#include "ZAVPackageRecovery.h"
#include "ZAVPkgLog.h"
#include "base/ZAVFiles.h"

#include <fcntl.h>

#include <cerrno>

ZAVPkgResult ZAVPackageHome::openAndLock(ZAVPkgLog &log)
{
    fd.reset(open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!fd.valid())
        return ZAVPkgError::failed("cannot open the home directory " + ZAVQuoted(path) + ": " +
                                   ZAVFiles::errorText(errno));
    ZAVPackageRecovery::lockHome(fd.get(), log);
    return std::nullopt;
}

std::string ZAVPackageHome::withoutTrailingSlashes(std::string path)
{
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

std::vector<std::string> ZAVPackageHome::below(const std::string &layoutPath)
{
    return ZAVFiles::components(layoutPath);
}

std::vector<std::string> ZAVPackageHome::folderOf(const std::string &layoutPath)
{
    const size_t slash = layoutPath.rfind('/');
    return ZAVFiles::components(slash == std::string::npos ? std::string()
                                                           : layoutPath.substr(0, slash));
}

std::string ZAVPackageHome::nameOf(const std::string &layoutPath)
{
    return layoutPath.substr(layoutPath.rfind('/') + 1);
}

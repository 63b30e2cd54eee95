#include "ZAVPackageHome.h"

#include "base/ZAVFiles.h"

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

#pragma once

#include "ZAVPkgError.h"
#include "base/ZAVFd.h"

#include <string>
#include <vector>

// The home one zav-pkg run installs into: its path as the bytes given (no trailing '/') and a
// descriptor of it that every step below the home starts from, so that nothing below it is
// reached through a link. The layout's paths are taken for the home "/" (ZAVUserAppLayout for
// "/"), which makes them the same relative paths below any home. Main thread.
struct ZAVPackageHome {
    std::string path;
    ZAVFd fd;

    // Opens `path` as the descriptor and takes the home's lock for this run (it waits for
    // another zav-pkg run in the same home). Fails when the home cannot be opened.
    ZAVPkgResult openAndLock(class ZAVPkgLog &log);
    // `path` without the '/' that may end it ("/" stays "/").
    static std::string withoutTrailingSlashes(std::string path);

    // The bytes of `layoutPath` (a path of a layout for the home "/") in this home.
    std::string absolute(const std::string &layoutPath) const
    {
        return (path == "/" ? std::string() : path) + layoutPath;
    }
    // The components of `layoutPath` below the home.
    static std::vector<std::string> below(const std::string &layoutPath);
    // The components of the folder that holds `layoutPath`, below the home.
    static std::vector<std::string> folderOf(const std::string &layoutPath);
    // The last component of `layoutPath`.
    static std::string nameOf(const std::string &layoutPath);
};

#pragma once

#include "ZAVFd.h"
#include "ZAVResult.h"

#include <sys/types.h>

#include <string>
#include <vector>

// Directories opened relative to a directory descriptor, never through a symbolic link the
// caller did not ask to follow: a directory is entered with O_NOFOLLOW, and a tree is removed
// without descending into links. So a link planted in a home or a package redirects nothing.
// Errors name the path as given (relative to the descriptor). Any thread; nothing throws.
class ZAVDirectory {
public:
    // Opens directory `name` inside `dirFd` (AT_FDCWD: the working directory). Fails with
    // ELOOP or ENOTDIR when `name` is a symbolic link or not a directory.
    static ZAVResult<ZAVFd> open(int dirFd, const std::string &name);

    // As open, first creating the directory (mode less the umask) when it is missing;
    // `*created` tells whether it did.
    static ZAVResult<ZAVFd> openOrCreate(int dirFd, const std::string &name, mode_t mode,
                                         bool *created);

    // Opens the directory the relative components name, one component at a time, failing
    // like open on the first that is missing, a link or not a directory. No components: a
    // new descriptor of `dirFd` itself.
    static ZAVResult<ZAVFd> openPath(int dirFd, const std::vector<std::string> &components);

    // Opens `path` inside `rootFd` with `flags` the way a program run from there would see it:
    // links are followed, but the kernel refuses any resolution that leaves `rootFd`
    // (openat2 RESOLVE_BENEATH). On kernels without openat2 no link at all is followed.
    static ZAVResult<ZAVFd> openBeneath(int rootFd, const std::string &path, int flags);

    // The names in directory `dirFd` but "." and "..", in the order readdir gives them.
    // `dirFd` stays open and unmoved (a duplicate is read).
    static ZAVResult<std::vector<std::string>> entries(int dirFd);

    // Removes `name` inside `dirFd`: a file or link is unlinked, a directory is emptied first
    // (made writable when it is not). Missing counts as removed. Links are removed, never
    // followed. On failure what could be removed is gone; the error names the first entry
    // that could not be.
    static ZAVStatus removeTree(int dirFd, const std::string &name);
};

#pragma once

#include "base/ZAVFd.h"

#include <sys/types.h>

#include <string>
#include <string_view>
#include <vector>

// File-system steps relative to directory descriptors that zav-pkg opened itself. None of them
// follows a symbolic link: a directory is entered with O_NOFOLLOW, a file is created with
// O_CREAT|O_EXCL|O_NOFOLLOW, and a tree is removed without descending into links. So a link
// planted in the user's home or in a package can redirect none of zav-pkg's writes.
// Failures come back as errno values (0 for success); nothing throws. Any thread.
class ZAVFileSystem {
public:
    // A name for a new scratch file or directory: prefix followed by 16 random hex digits.
    static std::string randomName(const std::string &prefix);

    // Opens directory `name` inside `dirFd` for use as a directory descriptor. Fails with ELOOP
    // or ENOTDIR when `name` is a symbolic link or not a directory.
    static ZAVFd openDirectory(int dirFd, const std::string &name, int *error);

    // As openDirectory, creating the directory (mode `mode`, less the umask) when it is
    // missing; `*created` tells whether it did.
    static ZAVFd openOrCreateDirectory(int dirFd, const std::string &name, mode_t mode,
                                       bool *created, int *error);

    // Opens the directory that the relative components name, one component at a time, or
    // fails like openDirectory on the first component that is missing, a link or not a
    // directory. No components: a new descriptor of `dirFd` itself.
    static ZAVFd openPath(int dirFd, const std::vector<std::string> &components, int *error);

    // Removes `name` inside `dirFd`: a file or link is unlinked, a directory is emptied first.
    // Missing counts as removed. Links are removed, never followed.
    static int removeTree(int dirFd, const std::string &name);

    // Writes all of `data` at `offset`, retrying short writes.
    static int writeAll(int fd, const char *data, size_t size, off_t offset);

    // Creates the new file `name` inside `dirFd` (mode less the umask), writes `data` to it and
    // flushes it to disk. On failure the partial file is removed.
    static int writeNewFile(int dirFd, const std::string &name, std::string_view data,
                            mode_t mode);

    // As writeNewFile, copying everything `sourceFd` reads from its start.
    static int copyToNewFile(int sourceFd, int dirFd, const std::string &name, mode_t mode);

    // Splits a relative path at '/', dropping empty and "." components.
    static std::vector<std::string> components(std::string_view path);

    static std::string joined(const std::vector<std::string> &components);
    static std::string errorText(int error);
};

#pragma once

#include "ZAVResult.h"

#include <string>

// Renames between two directory descriptors (they may be the same), without following a link
// in either name. Errors name the source. Any thread.
class ZAVRename {
public:
    // renameat(2): `to` is replaced when it exists.
    static ZAVStatus replace(int fromDir, const std::string &from, int toDir,
                             const std::string &to);

    // Fails with EEXIST (or ENOTEMPTY) when `to` exists. renameat2 RENAME_NOREPLACE; where the
    // file system lacks the flag (EINVAL, ENOSYS), a look for `to` and then a plain rename,
    // which another writer racing for `to` could defeat.
    static ZAVStatus noReplace(int fromDir, const std::string &from, int toDir,
                               const std::string &to);

    // Swaps `from` and `to`, both of which exist, in one step (renameat2 RENAME_EXCHANGE).
    // There is no fallback with the same guarantee: where the file system lacks the flag this
    // fails with an error for which unsupported() is true, and the caller moves things in
    // steps of its own.
    static ZAVStatus exchange(int fromDir, const std::string &from, int toDir,
                              const std::string &to);

    // The file system does not know the renameat2 flag asked for.
    static bool unsupported(const ZAVStatus &status);
};

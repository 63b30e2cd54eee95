#pragma once

#include "ZAVPkgError.h"

#include <cstdint>
#include <string>
#include <vector>

class ZAVPackageStream;
class ZAVPkgLog;

// Unpacks a package, entry by entry, into a staging directory, refusing what must not be
// installed. Each entry is checked before anything is created for it:
// - its name is relative, has no ".." component, is UTF-8 without control characters and
//   nests at most 128 directories deep;
// - it is a regular file, a directory, a symbolic link or a hard link: device files, FIFOs and
//   sockets are refused;
// - a symbolic link is relative and stays inside the directory: ".." only at the start of its
//   target and no more of them than the link is deep, so that no chain of links inside the
//   package can resolve outside it;
// - a hard link names an earlier regular file of the package, not through a link;
// - no name comes twice and nothing is created through a link of the package;
// - at most one desktop entry (a name ending in ".desktop") sits at the root.
// Set-user-id, set-group-id and sticky bits are dropped; owners, extended attributes and ACLs
// of the archive are ignored. File contents stream through libarchive's bounded buffers, so
// memory does not grow with the package.
//
// The archive is a tar archive (ustar, pax or GNU), read from the uncompressed bytes that a
// ZAVPackageStream produces. Main thread.
class ZAVPackageExtractor {
public:
    struct Result {
        // Everything unpacked, in the order it was made; directories (those of the archive
        // and those made for its entries) end in '/'.
        std::vector<std::string> paths;
        std::string desktopEntryName; // the desktop entry at the root, empty if none
        uint64_t entryCount = 0;
        uint64_t byteCount = 0; // file contents written
    };

    // Fills the empty directory `stagingFd`. On an error the staging directory holds whatever
    // was unpacked so far; the caller removes it. Unreadable: not an archive, truncated or
    // damaged. Refused: an entry breaks a rule above. Failed: writing failed (no space left,
    // a file larger than the process may write).
    static ZAVPkgResult extract(ZAVPackageStream &package, int stagingFd, ZAVPkgLog &log,
                                Result *result);

    // The deepest nesting of directories an entry may have.
    static constexpr size_t kMaxDepth = 128;
};

#pragma once

#include "base/ZAVResult.h"

#include <sys/types.h>

#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

// The tree digest (pkgTreeSha256): one SHA-256 over every path, type, mode, link target and
// file digest of an application directory as zav-pkg installs it, so that a directory built
// another way (from the installed version and a delta) can be checked to be exactly the one
// the full package gives. The encoding is defined in docs/zav-pkg.md ("The tree digest"):
//   "zav-tree 1\n", then for each entry, sorted by the bytes of its path:
//   <type> ' ' <mode, 4 octal digits> ' ' <length of path>:<path> [' ' <what>] '\n'
// with type 'd' (directory, no <what>), 'f' (regular file, <what> its SHA-256 in lower-case
// hex) or 'l' (symbolic link, <what> <length of target>:<target>). Paths are relative, without
// "." or empty components, as bytes; the root itself is not an entry. Modes are normalized
// the way zav-pkg installs them, before the umask (normalizedMode). No Qt; any thread.
class ZAVPackageTree {
public:
    enum class Type : char { Directory = 'd', File = 'f', Link = 'l' };

    struct Entry {
        std::string path;
        Type type = Type::File;
        unsigned mode = 0;  // normalized
        std::string target; // links
        std::string sha256; // files: 64 lower-case hex digits
        uint64_t size = 0;  // files; not part of the digest
        timespec mtime{};   // files, as scanned; not part of the digest
    };

    // The mode zav-pkg gives an entry of `type` whose archive (or disk) mode is `mode`: the
    // permission bits only (no set-user-id, set-group-id or sticky bit), u+rwx added for a
    // directory, 0777 for a link (its own mode means nothing on Linux).
    static unsigned normalizedMode(Type type, mode_t mode);

    // The digest of `entries` (in any order; sorted here), 64 lower-case hex digits. Empty when
    // libcrypto fails.
    static std::string digest(std::vector<Entry> entries);

    // Every entry below the directory `rootFd`, read without following any link (a link is an
    // entry of its own), each file's SHA-256 read from its contents in bounded chunks, modes
    // normalized from the disk's; sorted by path. A device file, FIFO or socket fails with
    // EINVAL. Memory grows with the number of entries, not with their sizes.
    static ZAVResult<std::vector<Entry>> scan(int rootFd);

    // The SHA-256 of the rest of the file `fd` from its current offset, in bounded chunks;
    // *size gets the byte count.
    static ZAVResult<std::string> fileDigest(int fd, uint64_t *size);
};

#pragma once

#include "base/ZAVResult.h"

#include <cstdint>
#include <string>
#include <utility>

// What zav-vendor needs of files beyond base/ (which writes, reads and removes them): throw-away
// directories and the digest of a package. Paths are the bytes given on the command line,
// passed to the system unchanged. Any thread.
class ZAVVendorFiles {
public:
    // A new private directory (mode 0700) named <prefix>XXXXXX in $TMPDIR (when its name reads
    // back unchanged as text) or /tmp, for throw-away work; empty with errno set on failure.
    // The caller removes it (removeScratchDirectory).
    static std::string makeScratchDirectory(const std::string &prefix);
    // Removes the directory and everything in it, following no link.
    static void removeScratchDirectory(const std::string &path);

    // A failure of zav-vendor whose sentence names its path itself (or has none): no path, the
    // whole sentence as the reason, so that message() is the sentence printed.
    static ZAVFileError sentence(int error, std::string text)
    {
        return {std::string(), error, std::move(text)};
    }

    // SHA-256 (64 lowercase hex digits) and size of the file, read once in bounded chunks.
    static ZAVStatus digestFile(const std::string &path, std::string *sha256, uint64_t *size);
};

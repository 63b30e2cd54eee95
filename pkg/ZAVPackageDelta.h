#pragma once

#include "ZAVPackageExtractor.h"
#include "ZAVPkgError.h"

#include <cstdint>
#include <string>

class ZAVPkgLog;

// A delta: what turns the application directory one package installed into the one another
// package installs, without the files that did not change. It is a tar archive compressed with
// zstd (docs/zav-pkg.md, "Deltas"): first "manifest.json", a JSON object naming the package the
// delta starts from ("fromSha256"), the package it stands for ("packageSha256",
// "packageSize"), that package's tree digest ("treeSha256", ZAVPackageTree) and every entry of
// the new directory in the byte order of its path; then, in the order of the entries that need
// one, a data entry for each file that comes whole or as a zstd patch of the installed file.
//
// Applying builds the new directory in an empty staging directory from the installed one and
// the delta: a directory or link is made as the manifest says, an unchanged file is cloned
// (FICLONE) from the installed one where the file system can, else copied (never hard-linked:
// the installed version stays live), a whole file is written from its data entry, a patched
// one decompressed with the installed file as zstd's reference prefix. Each file's SHA-256 is
// taken on the bytes written into the staging directory, and the digest of the whole result
// must be the tree digest pinned, before anything is swapped in.
//
// Memory: the manifest (at most kMaxManifestSize), libarchive's and zstd's bounded buffers, and
// for the one file being patched the installed file mapped as the prefix plus zstd's window
// (at most the new file's size: the frame states it, and the reader takes no larger window than
// windowLog() allows); no more, whatever the package's size. The unchanged files are copied and
// checked on four threads of its own while the main thread goes on; apply() returns once they are
// done. Main thread.
class ZAVPackageDelta {
public:
    static constexpr char kFormat[] = "zav-delta 1";
    static constexpr char kManifestName[] = "manifest.json";
    static constexpr size_t kMaxManifestSize = 64 << 20;
    // The largest zstd window a patch may use (2 GiB): a patch frame asking for more is damaged.
    static constexpr unsigned kMaxWindowLog = 31;

    struct Pinned {
        std::string treeSha256;    // the tree the result must be (the feed's pkgTreeSha256)
        std::string packageSha256; // the package the delta stands for (the feed's pkgSha256)
    };

    struct Result {
        ZAVPackageExtractor::Result unpacked; // as an unpacking of the full package gives it
        int64_t packageSize = 0;              // the full package's, from the manifest
    };

    // Applies the delta `deltaFd` (read from its start) on the installed directory
    // `installedFd`, whose package had the SHA-256 `installedSha256` (its receipt's), into the
    // empty directory `stagingFd`. On an error the staging directory holds what was made so
    // far; the caller removes it. DoesNotApply: the delta is not for the installed package or
    // not for the pinned one, it is damaged, an installed file it copies or patches is not the
    // one it was made from, an entry's name or link breaks zav-pkg's rules or would be made
    // through a link, or the result is not the pinned tree. Failed: writing failed.
    static ZAVPkgResult apply(int deltaFd, int installedFd, const std::string &installedSha256,
                              int stagingFd, const Pinned &pinned, ZAVPkgLog &log, Result *result);

    // The zstd window (as a power of two) a patch of a file of `newSize` bytes from one of
    // `oldSize` bytes is made with, and the most its reader accepts.
    static unsigned windowLog(uint64_t oldSize, uint64_t newSize);
};

#pragma once

#include "base/ZAVResult.h"

#include <cstdint>
#include <string>

// Makes a delta (pkg/ZAVPackageDelta.h, docs/zav-pkg.md "Deltas") from one package of an
// application to a later one, for the vendor. Main thread (the checks run zav-pkg's installer).
class ZAVVendorDelta {
public:
    struct Result {
        std::string applicationId;
        std::string fromSha256;    // the old package's
        std::string packageSha256; // the new package's
        uint64_t packageSize = 0;
        std::string treeSha256; // the new package's tree digest
        std::string sha256;     // the delta file's
        uint64_t size = 0;
        int unchanged = 0, whole = 0, patched = 0; // files of each source
    };

    // Installs both packages with zav-pkg's checks into throw-away homes, compares the two
    // application directories and writes the delta to `output` (atomically): each file of the
    // new directory is copied from a file of the old one with the same content (by SHA-256),
    // patched from the old file at its path (zstd patch-from, long-distance matching, a window
    // over both files) when that is smaller than the file compressed on its own, or stored
    // whole; files only the old directory has are left out. Then the delta is applied with
    // zav-pkg's own installer on the old installation, which must give the new tree, before it
    // reaches `output`. Memory: as applying, the old file mapped and zstd's window for the one
    // file being patched. Failures are the whole sentence zav-vendor prints.
    static ZAVResult<Result> make(const std::string &oldPackage, const std::string &newPackage,
                                  const std::string &output);

    // The zstd level of patches and of the archive's compression.
    static constexpr int kLevel = 9;
};

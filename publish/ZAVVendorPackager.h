#pragma once

#include "base/ZAVResult.h"
#include "pkg/ZAVPackageInstaller.h"

#include <cstdint>
#include <string>

// Makes a package out of an application directory, and checks a package, for the vendor.
// Main thread (the checks run zav-pkg's installer, which is main-thread code).
class ZAVVendorPackager {
public:
    struct Result {
        std::string applicationId; // from the desktop entry at the package's root
        std::string name;          // that entry's untranslated Name; empty: none
        std::string version;       // its X-Package-Version; empty: none
        std::string sha256;        // 64 lowercase hex digits
        uint64_t size = 0;
        // The tree digest of the application directory zav-pkg installed from it
        // (ZAVPackageTree; the feed's pkgTreeSha256).
        std::string treeSha256;
    };

    // Failures of check() and pack() have no path of their own: the reason is the whole
    // sentence zav-vendor prints (message()), naming the path where there is one, and the
    // errno is the system's where a system call failed, else EINVAL for input the vendor
    // gave and EPERM for a package zav-pkg would refuse.

    // Installs `package` into a throw-away home in the temporary directory with zav-pkg's own
    // installer, so every check zav-pkg makes on a user's machine runs here, then removes that
    // home again. The result, or what zav-pkg would refuse (or why the check could not run).
    // `expected` is what zav-pkg gets as -sha256 and -size, as the installer passes them; when
    // given, the result takes them instead of reading the package once more. The check installs
    // with umask 0, so that the modes in the tree digest are the package's. With `keptHome`
    // the throw-away home is left for the caller (who removes it with
    // ZAVVendorFiles::removeScratchDirectory) and its path stored there.
    static ZAVResult<Result> check(const std::string &package,
                                   const ZAVPackageInstaller::Expected &expected = {},
                                   std::string *keptHome = nullptr);

    // Writes the application directory `appDir` as a tar archive to `output`, compressed with
    // gzip (".tar.gz", ".tgz") or zstd (".tar.zst", ".tzst") by the output's name. The archive
    // is reproducible: entries in byte order of their paths, owner and group 0 without names,
    // every time SOURCE_DATE_EPOCH (else 0), no time in the gzip header. Links inside `appDir`
    // are stored as links, never followed; a hard-linked file is stored as a copy. The package
    // reaches `output` (atomically) only when check() accepts it. File contents stream through
    // a bounded buffer.
    static ZAVResult<Result> pack(const std::string &appDir, const std::string &output);
};

#pragma once

#include "ZAVPkgError.h"

#include <cstdint>
#include <optional>
#include <string>

class ZAVPkgLog;

// Installs one package for one user, the whole of a zav-pkg run after the command line:
//  1. takes an exclusive lock on the home (flock), so that runs for one home take turns;
//  2. cleans what an interrupted earlier run left: staging and old application directories
//     in <home>/.local/opt, temporary files beside desktop entries, icons and receipts;
//  3. unpacks the package into <home>/.local/opt/.zav-staging-<random> (ZAVPackageExtractor)
//     while a second thread reads, digests and decompresses it (ZAVPackageStream);
//  4. checks the result: one desktop entry <id>.desktop with a valid application id (the
//     one asked for, if any), its Exec (and TryExec, and each action's Exec) naming an
//     executable regular file inside the directory;
//  5. checks every place it is about to replace: the application directory, the desktop
//     entry, both icons and the receipt must be missing or be what the receipt of <id> says
//     zav-pkg installed there (of the kind it installs); anything else is refused, or moved
//     aside to <name>.zav-saved-<time> with `replaceUnowned`;
//  6. writes the integrated desktop entry (with the action that runs the shared remover), the
//     remover when the home's is missing or older, the icon and the receipt as flushed
//     temporary files beside their final names;
//  7. swaps the staging directory with <home>/.local/opt/<id> in one renameat2
//     (RENAME_EXCHANGE; a plain rename when nothing was installed);
//  8. loads the new desktop entry back with the desktops' launcher and checks that it runs
//     the programs installed, writes the ownership record (ZAVPackageOwnership), then renames
//     the temporary files over the desktop entry, icon and receipt;
//  9. keeps the previous version for a roll-back, when there is room (ZAVPackageRollback),
//     else removes it.
// A refusal or failure before step 7 leaves the home as it was: what the run created is
// removed again. A failure in step 8 puts the previous version, entry, icon and receipt back
// and is a failure too. A kill at any moment leaves <id> wholly the old or wholly the new
// version; the next run clears the rest. Nothing is written outside the application
// directory, the applications folder, the icon theme folder and the receipts folder of the
// home, and no link is followed below the home. The home is used as the bytes given. Main
// thread.
// Where the steps live: ZAVPackageRecovery (1, 2), ZAVPackageStream and ZAVPackageExtractor (3),
// ZAVPackageIntegration (4, the entry of 6, the check of 8), ZAVPackageReceipt (5, the receipt
// of 6) and ZAVPackageTransaction (the writing of 6, 7, 8, 9 and every roll-back).
class ZAVPackageInstaller {
public:
    // What the caller knows the package file to be (zav-pkg -sha256, -size). The size is
    // checked before unpacking, the SHA-256 on the bytes the unpacking read, both before
    // anything is swapped in; a mismatch refuses the package.
    struct Expected {
        std::string sha256; // 64 lower-case hex digits; empty: not checked
        int64_t size = -1;  // -1: not checked
    };

    // The file is a delta (ZAVPackageDelta), not a package: the new version is built from the
    // installed one of expectedId (which must be given) and the delta, and must be the tree
    // `treeSha256`; the receipt then names the package `packageSha256`. `expected` pins the
    // delta file. Anything that keeps the delta from making that tree here is DoesNotApply,
    // with nothing changed; the rest of the run (steps 4 to 9) is an installation's.
    struct Delta {
        std::string treeSha256;    // 64 lower-case hex digits
        std::string packageSha256; // 64 lower-case hex digits
    };

    struct Options {
        std::string expectedId; // refuse a package of another application id; empty: any
        bool replaceUnowned = false;
        Expected expected;
        std::optional<Delta> delta;
    };

    // `home` is an absolute directory, as bytes. Returns nothing once the package is installed.
    static ZAVPkgResult install(const std::string &packagePath, const std::string &home,
                                const Options &options, ZAVPkgLog &log);
};

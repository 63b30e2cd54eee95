#pragma once

#include "ZAVPkgError.h"

#include <QString>

#include <cstdint>
#include <string>

class ZAVPkgLog;

// Installs one package for one user, the whole of a zav-pkg run after the command line:
//  1. takes an exclusive lock on the home (flock), so that runs for one home take turns;
//  2. cleans what an interrupted earlier run left: staging and old application directories
//     in <home>/.local/opt, temporary files beside desktop entries, icons and receipts;
//  3. unpacks the package into <home>/.local/opt/.zav-staging-<random> (ZAVPackageExtractor)
//     while a second thread reads, digests and decompresses it (ZAVPackageStream);
//  4. checks the result: one desktop entry <id>.desktop with a valid application id, its
//     Exec (and TryExec, and each action's Exec) naming an executable regular file inside
//     the directory;
//  5. writes the integrated desktop entry, the icon and the receipt as flushed temporary
//     files beside their final names;
//  6. swaps the staging directory with <home>/.local/opt/<id> in one renameat2
//     (RENAME_EXCHANGE; a plain rename when nothing was installed);
//  7. renames the temporary files over the desktop entry, icon and receipt;
//  8. removes the previous version.
// A refusal or failure before step 6 leaves the home as it was: what the run created is
// removed again. A kill at any moment leaves <id> wholly the old or wholly the new version;
// the next run clears the rest. Nothing is written outside the application directory, the
// applications folder, the icon theme folder and the receipts folder of the home, and no
// link is followed below the home. Main thread.
class ZAVPackageInstaller {
public:
    // What the caller knows the package file to be (zav-pkg -sha256, -size). The size is
    // checked before unpacking, the SHA-256 on the bytes the unpacking read, both before
    // anything is swapped in; a mismatch refuses the package.
    struct Expected {
        std::string sha256; // 64 lower-case hex digits; empty: not checked
        int64_t size = -1;  // -1: not checked
    };

    // `home` is an absolute directory. Returns nothing once the package is installed.
    static ZAVPkgResult install(const std::string &packagePath, const QString &home,
                                ZAVPkgLog &log, const Expected &expected);
    static ZAVPkgResult install(const std::string &packagePath, const QString &home,
                                ZAVPkgLog &log)
    {
        return install(packagePath, home, log, Expected{});
    }
};

#pragma once

#include <cstddef>

struct ZAVPackageHome;
class ZAVPkgLog;

// What lets runs for one home take turns, and what repairs the traces of a run that was killed.
// A run names everything it makes before the end with one of these prefixes:
//   <opt>/.zav-staging-<random>      the unpacked new version (also the old one after a swap)
//   <opt>/.zav-old-<id>-<random>     the installed version moved aside where the file system
//                                    cannot exchange two directories
//   .zav-tmp-<random>                a desktop entry, icon or receipt not yet in place, beside
//                                    its final name
//   <opt>/.zav-removing-<id>-<random>, .zav-trashing-<id>-<random>
//                                    an application being removed (ZAVPackageRemoval)
// and keeps the version an upgrade replaced, for a roll-back, in <opt>/.previous/<id>/.
// Main thread.
class ZAVPackageRecovery {
public:
    static constexpr char kStagingPrefix[] = ".zav-staging-";
    static constexpr char kOldPrefix[] = ".zav-old-";
    static constexpr char kTemporaryPrefix[] = ".zav-tmp-";
    static constexpr char kKeptFolder[] = ".previous";

    // Takes an exclusive lock (flock) on the home, waiting for a run that holds it. On a file
    // system that locks nothing on directories the run goes on unlocked, with a detail logged.
    static void lockHome(int homeFd, ZAVPkgLog &log);

    // Under the lock, so whatever carries the prefixes above is a leftover of a killed run: an
    // old version whose id is missing is renamed back to <id>; every other staging or old
    // directory is removed, and so are the temporary files beside desktop entries, icons and
    // receipts; a removal that was begun is finished. Failures are logged as details; nothing
    // is reported.
    static void cleanLeftovers(const ZAVPackageHome &home, int optFd, ZAVPkgLog &log);
};

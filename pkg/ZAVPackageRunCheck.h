#pragma once

#include "ZAVPkgError.h"

#include <string>

class ZAVPkgLog;

// Whether the program a package starts can be loaded on this computer, told before anything is
// swapped in and without running any of the program's code:
//  - an ELF program: its interpreter (PT_INTERP) exists. When that interpreter is the C
//    library's loader of the program's machine, the system's loader at that fixed path (never
//    the program's own string as a command, never the bundle's loader) lists what the program
//    needs, in its list mode (--list), with an empty environment, in "/", for at most 10 s and
//    64 KiB of output: every shared library must resolve (from the package through $ORIGIN
//    RUNPATHs, or from the system) and every symbol version it needs (GLIBC_2.34) must be
//    provided. The system's C library version for the sentence comes from that loader
//    (--version) or the system's getconf, not from the C library zav-pkg itself runs on;
//  - a "#!" script: its interpreter exists, and for "#!/usr/bin/env NAME" NAME is found on
//    PATH;
//  - anything else has nothing to check here.
// Main thread.
class ZAVPackageRunCheck {
public:
    // Checks the program at `relativePath` in the unpacked package `stagingFd` (links inside the
    // package are followed, as the system will). A program that cannot be loaded gives a
    // CannotRun error whose message is one sentence for the user that names `product` (from a
    // package: it is escaped) and what is missing. Only what was seen to be missing refuses:
    // when the check cannot be made (no /proc, a loader that fails without saying why, a
    // time-out), a warning goes to standard error and the installation goes on.
    static ZAVPkgResult check(int stagingFd, const std::string &relativePath,
                              const std::string &product, ZAVPkgLog &log);
};

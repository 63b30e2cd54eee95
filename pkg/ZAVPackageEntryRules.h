#pragma once

#include "ZAVPkgError.h"

#include <cstddef>
#include <string>
#include <vector>

// The rules an entry's name and a symbolic link's target must keep before zav-pkg creates
// anything for them; the refusals are what the vendor reads. Any thread.
class ZAVPackageEntryRules {
public:
    // Checks an entry's name: relative, UTF-8 without control characters, no ".." component,
    // no component longer than NAME_MAX, at most ZAVPackageExtractor::kMaxDepth deep. On
    // success `*components` holds it split at '/' without empty and "." components.
    static ZAVPkgResult checkedComponents(const char *name, std::vector<std::string> *components);

    // Checks the target of symbolic link `entry`, `linkDepth` directories deep. A relative link
    // resolves inside the directory whatever other links of the package it passes through, as
    // long as its ".." steps come first (they climb real directories that zav-pkg made, never
    // links) and do not climb above the root.
    static ZAVPkgResult checkedSymlinkTarget(const std::string &entry, size_t linkDepth,
                                             const char *target);
};

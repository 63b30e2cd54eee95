#pragma once

#include "base/ZAVResult.h"
#include "base/ZAVStamp.h"

#include <string>
#include <string_view>

// `zav-vendor bundle`: a stamped .run made from the unstamped installer folder of the vendor's
// kit (the folder scripts/lib/bundle.sh's zav_bundle_folder assembles), without a compiler.
// The folder is read, never changed: its libexec/zav-installer is stamped in memory and the
// folder is packed in the format zav_bundle_pack writes: the stub (bundle/stub.sh, compiled
// into zav-vendor) with its name, offset, lengths, room and folders filled in; a gzip'd tar of
// the folders, the decompressor with the loader, C library and libzstd it runs on, and the
// stamped installer; then the other files as two zstd'd tars of about equal size, which the
// stub unpacks at once. Names in the tars are relative to the folder (the stub unpacks it
// under `name`), so nothing in the halves depends on the stamp or the name: the kit carries
// them made once (<folder>.parts, from zav_bundle_parts), and bundle checks them against what
// their `parts` file records (their sizes and SHA-256, and the size of every file of the
// folder they hold) as it copies them, in about a second. A folder without .parts beside it is
// packed whole here, as zav_bundle_parts would (level 19, with checksums, largest files first,
// each to the lighter half; tens of seconds of two cores). Owners are 0/0, times the files'
// own. One thread calls it.
class ZAVVendorBundler {
public:
    struct Options {
        std::string installerFolder;
        std::string outputFolder; // made when missing (its parent must exist)
        std::string name;         // a plain name (isPlainName)
        ZAVStamp::Content stamp;
    };

    // Writes <outputFolder>/<name>-x86_64.run (mode 0755, atomically: a file there is replaced
    // whole or not at all) and returns its path. Fails with a sentence when the folder is not
    // an installer folder, its installer has no stamp section, its halves are damaged or do not
    // match it, or a file cannot be read or written.
    static ZAVResult<std::string> bundle(const Options &options);

    // The name goes into file names and the stub's shell code: letters, digits, '.', '_' and
    // '-', starting with a letter or digit, at most 64 characters.
    static bool isPlainName(std::string_view name);

    // Where the kit keeps the unstamped installer: installer/ beside this program's
    // executable or one folder up (the kit runs zav-vendor from its root or from a folder in
    // it); empty when neither holds libexec/zav-installer.
    static std::string kitInstallerFolder();
};

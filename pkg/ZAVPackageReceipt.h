#pragma once

#include "ZAVPkgError.h"
#include "base/ZAVFd.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct ZAVPackageHome;
class ZAVUserAppLayout;

// The receipt zav-pkg leaves at <home>/.local/share/zav/receipts/<id>.json once an application
// is installed, and the ownership it stands for: a receipt of ours for <id> owns the
// application directory, the desktop entry, both icon places and the receipt of <id>, each as
// long as it is of the kind zav-pkg makes there (a directory, else a regular file). Anything
// else at those places belongs to the user and is not replaced unasked. Main thread.
class ZAVPackageReceipt {
public:
    struct Contents {
        std::string id;
        std::string version; // empty: none
        std::string packageSha256;
        int64_t packageSize = 0;
        std::string applicationDirectory; // absolute paths, as bytes
        std::string desktopEntry;
        std::optional<std::string> icon;
        std::vector<std::string> files; // what was unpacked, relative to the directory
    };

    // Something at one of the places an installation replaces that no receipt of ours lists.
    struct Unowned {
        ZAVFd folder;     // the folder that holds it
        std::string name; // its name there
        std::string path; // its absolute path, for messages
    };

    // The receipt's text: an indented JSON object that also records the time of writing.
    static std::string text(const Contents &contents);

    // Whether the home holds a receipt of ours for the layout's id: a regular file (not a link,
    // at most 64 MiB) that is a JSON object with that "id" and a "files" array.
    static bool exists(const ZAVPackageHome &home, const ZAVUserAppLayout &layout);

    // The "packageSha256" of the home's receipt of ours for the layout's id (as exists()
    // reads it), or empty when there is none or it names no package digest.
    static std::string packageSha256(const ZAVPackageHome &home, const ZAVUserAppLayout &layout);

    // Looks at each place an installation of the layout's id replaces and fills `*unowned`
    // with what is there without being owned. With `replaceUnowned` that is fine (the caller
    // moves it aside); otherwise a failure names each of them and nothing is changed.
    static ZAVPkgResult findUnowned(const ZAVPackageHome &home, const ZAVUserAppLayout &layout,
                                    bool replaceUnowned, std::vector<Unowned> *unowned);
};

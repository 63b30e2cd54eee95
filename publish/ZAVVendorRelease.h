#pragma once

#include "ZAVVendorFeedWriter.h"
#include "ZAVVendorKey.h"
#include "ZAVVendorPackager.h"
#include "base/ZAVResult.h"

#include <QString>

#include <cstdio>
#include <string>

// One release of an application directory, the way the installer will take it:
//  1. packs `appDir` (ZAVVendorPackager::pack, zstd) and names the package after its content,
//     <id>-<version>-<first 16 hex digits of its SHA-256>.tar.zst, so that a cache may keep it
//     for ever (in the version, characters other than letters, digits and ._+~- become '_');
//  1b. with a previous package, makes the delta from it (ZAVVendorDelta), content-named too;
//  2. writes feed.json from what the package's desktop entry says (Name, the application id,
//     X-Package-Version) unless the options say otherwise, with pkgUrl <baseUrl>/<package> and
//     feedUrl <baseUrl>/feed.json;
//  3. signs it with `key` into feed.json.minisig;
//  4. checks the three files with ZAVVendorVerifier as the installer will check them once they
//     are served at `baseUrl`: the signature (by the public half of `key`, or by the key file
//     `publicKeyPath`), the feed's rules and its URL, the package's size and SHA-256 and
//     zav-pkg's checks.
// The work is done in a new folder beside `outputDir`, which then takes its place in one rename:
// `outputDir` must be missing or an empty folder, and a release that fails at any step leaves
// it as it was (an interrupted one may leave the dot-named work folder beside it, never a
// change to `outputDir`). The checks' lines go to `out`, the first that fails to standard
// error. Main thread (the checks run zav-pkg's installer).
class ZAVVendorRelease {
public:
    struct Options {
        std::string appDir;
        QString baseUrl; // an absolute http(s) URL without query or fragment
        std::string outputDir;
        // product, bundleId and version override what the package says when not empty (a
        // bundleId other than the package's id is refused); pkgUrl and feedUrl are made from
        // baseUrl; the rest is as `zav-vendor feed` takes it.
        ZAVVendorFeedWriter::Options feed;
        // The package of the version released before (or of any earlier one): a delta from it
        // goes beside the package, content-named as <id>-<version>-<16 hex digits>.delta.tar.zst,
        // and into the feed's pkgDeltas. Empty: none.
        std::string previousPackage;
        std::string publicKeyPath; // empty: the signature is checked by the public half of key
        qint64 minimumSerial = 0;  // the installers' serial floor
    };

    struct Result {
        ZAVVendorPackager::Result package;
        // In the order they are to be uploaded: package, feed, signature; paths in outputDir.
        std::string packagePath;
        std::string deltaPath; // empty without a previous package
        std::string feedPath;
        std::string signaturePath;
        QString baseUrl; // where the three go, without a trailing '/'
        QString feedUrl; // the one to build or stamp the installer with
    };

    // What was released, or why not (the sentence zav-vendor prints, as for the packager).
    static ZAVResult<Result> make(const Options &options, const ZAVVendorKey &key, std::FILE *out);

    // The package's file name for what the packager found and the version the feed states.
    static std::string packageFileName(const ZAVVendorPackager::Result &package,
                                       const std::string &version);
};

#pragma once

#include "ZAVVendorPackager.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>
#include <string>

// The feed document for a checked package, written with Qt's JSON writer. Any thread.
class ZAVVendorFeedWriter {
public:
    // One entry of pkgDeltas: a delta (ZAVVendorDelta) from the package `fromSha256` to this
    // feed's package, at `url`, with its own SHA-256 and size.
    struct Delta {
        QString fromSha256;
        QString url;
        QString sha256;
        qint64 size = 0;
    };

    struct Options {
        QString product;
        QString bundleId;
        QString version;
        QString pkgUrl;
        QStringList mirrors; // pkgMirrors: other places of the same package, at most 8
        QString feedUrl;
        QList<Delta> deltas; // pkgDeltas
        bool autoLaunch = false;
        bool displayVersion = false;
        QString expires = QStringLiteral("90d"); // "<N>d" or "<N>h" from now
        std::optional<int64_t> serial;           // default: the current Unix time
        bool allowSerialAhead = false;           // a serial far past the current time
    };

    // The largest serial a feed may carry: the largest integer a JSON number holds exactly.
    static constexpr int64_t kMaxSerial = (int64_t(1) << 53) - 1;
    // How far past the current Unix time a serial may be unless allowSerialAhead: installers
    // that accept a feed refuse every later one signed with the same key and a lower serial,
    // so a serial mistyped far ahead would hold back every feed until that time.
    static constexpr int64_t kMaxSerialAhead = 366 * 86400;

    // The document for `package` (what ZAVVendorPackager::check found), or nothing with the
    // reason in *error: a package whose application id is not the bundle id, a URL that is not
    // an absolute http(s) URL, an empty product or version, a serial outside 1..2^53-1 or
    // more than kMaxSerialAhead past `now`, an expiry that is not a positive duration, a delta
    // whose URL is not an absolute http(s) URL. pkgTreeSha256 is the package's tree digest.
    static std::optional<QByteArray> document(const Options &options,
                                              const ZAVVendorPackager::Result &package,
                                              const QDateTime &now, std::string *error);
};

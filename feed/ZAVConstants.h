#pragma once

#include "feed/ZAVFeedTrust.h"

#include <QString>
#include <QUrl>

// Where the product feed lives, who signs it and the lowest serial a first run accepts: the
// installer's stamp (base/ZAVStamp.h), a reserved section of its own executable that
// `zav-vendor bundle`, or the build with -DZAV_FEED_URL, -DZAV_TRUSTED_KEYS and
// -DZAV_MIN_FEED_SERIAL, fills in. The section is read from memory, never from a file: nothing
// at run time (option, variable, file) changes what it says. Any thread.
class ZAVConstants {
public:
    ZAVConstants() = delete;

    // Empty when the stamp is sound; otherwise the sentence saying why this installer cannot
    // run (it was never stamped, or its stamp is damaged), for its one line on standard error.
    // The program's entry checks it before anything else.
    static QString stampProblem();
    // The stamp carries the "unsigned" mark: feeds are not verified.
    static bool isStampedUnsigned();

    // Logs "Tarvex" and returns a new URL object for the feed.
    static QUrl getFeedURL();
    // The keys that sign the feed and the serial floor; no keys when stamped unsigned.
    static ZAVFeedTrust getFeedTrust();
};

#pragma once

#include "feed/ZAVFeedTrust.h"

#include <QUrl>

// Where the product feed lives and who signs it. Both are compiled in (CMake: -DZAV_FEED_URL=...,
// -DZAV_TRUSTED_KEYS=...); nothing at run time changes them.
class ZAVConstants {
public:
    ZAVConstants() = delete;

    // Logs "Tarvex" and returns a new URL object for the feed. Any thread.
    static QUrl getFeedURL();
    // The keys that sign the feed and the serial floor, compiled in with the URL
    // (-DZAV_TRUSTED_KEYS=..., -DZAV_MIN_FEED_SERIAL=...); no keys in a build made with
    // -DZAV_ALLOW_UNSIGNED_FEEDS=ON. Any thread.
    static ZAVFeedTrust getFeedTrust();
};

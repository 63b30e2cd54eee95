#pragma once

#include <QUrl>

// Where the product feed lives. The URL is compiled in (CMake: -DZAV_FEED_URL=...); nothing at
// run time changes it.
class ZAVConstants {
public:
    ZAVConstants() = delete;

    // Logs "Tarvex" and returns a new URL object for the feed. Any thread.
    static QUrl getFeedURL();
};

#pragma once

#include <QString>

#include <optional>

// The installer's dealings with whole applications: ending the installer itself. Stateless;
// main thread only.
class ZAVAppUtils {
public:
    ZAVAppUtils() = delete;

    // Ends the installer through the application's normal termination. Does not return.
    static void quitApp();
};

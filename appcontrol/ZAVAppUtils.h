#pragma once

#include <QString>

#include <optional>

class ZAVRunningApplication;

// The installer's dealings with whole applications: ending the installer itself, launching the
// installed product, and asking a running copy of the product to quit before it is replaced.
// Stateless, never instantiated; main thread only. Nothing is reported to the caller.
class ZAVAppUtils {
public:
    ZAVAppUtils() = delete;

    // Ends the installer through the application's normal termination. Does not return.
    static void quitApp();

    // Asks the desktop to launch the product `bundleID` without waiting for it, then ends the
    // installer through quitApp(), at once and whether or not anything could be launched.
    static void startAppWithBundleID(const std::optional<QString> &bundleID);

    // When a copy of the product is running, shows the quit alert for `appName` and, on its
    // button, asks the first (oldest) copy to quit. Returns when the alert is gone, or at once
    // when no copy runs. Further copies are neither shown nor asked. Does not wait for the copy
    // to exit.
    static void checkandCloseApplicationWithBundleID(const std::optional<QString> &bundleID,
                                                     const std::optional<QString> &appName);

    // The quit alert, run modally: "Quit and continue installation", "<productName> is
    // currently running. Please close the application to continue installation.", one button
    // "Quit & Install", informational style. On the button (1000) the given copy is sent the
    // ordinary quit request; on any other answer it is left alone. Does not wait for it to exit.
    static void closeRunningApplication(const ZAVRunningApplication &runningApplication,
                                        const std::optional<QString> &productName);
};

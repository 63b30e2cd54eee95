#pragma once

#include "platform/ZAVRunningApplication.h"

#include <QString>

#include <chrono>
#include <functional>
#include <optional>

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
    // when no copy runs, with the copy that was sent the quit request (none when no copy runs,
    // the alert had another answer, or the request reached nobody). Further copies are neither
    // shown nor asked. Does not wait for the copy to exit: waitForApplicationToQuit does.
    static std::optional<ZAVRunningApplication>
    checkandCloseApplicationWithBundleID(const std::optional<QString> &bundleID,
                                         const std::optional<QString> &appName);

    // The quit alert, run modally: "Quit and continue installation", "<productName> is
    // currently running. Please close the application to continue installation.", one button
    // "Quit & Install", informational style. On the button (1000: a click, Return or space) the
    // given copy is sent the ordinary quit request and true is returned when it was sent; on
    // any other answer, closing the alert through the window manager included, the copy is
    // left alone. Escape is no answer: the alert stays up. Does not wait for the copy to exit.
    static bool closeRunningApplication(const ZAVRunningApplication &runningApplication,
                                        const std::optional<QString> &productName);

    // Main thread; returns at once. Watches a copy that has been asked to quit and calls `done`
    // once, later, on the main thread: with true as soon as the copy has exited, with false when
    // it still runs after `limit`. Nothing blocks meanwhile: the copy's pidfd is watched by the
    // event loop (polled every 50 ms where the kernel has none). The copy is never signalled
    // again, nor killed.
    static void waitForApplicationToQuit(const ZAVRunningApplication &runningApplication,
                                         std::chrono::milliseconds limit,
                                         std::function<void(bool quit)> done);
};

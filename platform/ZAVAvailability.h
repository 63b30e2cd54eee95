#pragma once

#include <QString>

// Whether a platform service the installer relies on is there at run time, by its class
// name. "ZAVURLSession" is there when the network stack can speak HTTP.
// Main thread.
bool ZAVClassFromString(const QString &className);

// Tests: make ZAVClassFromString answer false for `className` (an empty name clears it).
void ZAVSetClassUnavailable(const QString &className);

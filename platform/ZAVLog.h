#pragma once

#include "ZAVFormat.h"

#include <QString>

#include <functional>

// The system log. Each line goes to standard error as
//   2026-12-08 08:30:01.123 zav-installer[pid:tid] text
// and to syslog(3). Lines carry no level and have no effect on behaviour.
// Safe on any thread; lines from one thread keep their order.
void ZAVLog(const QString &text);

template <typename... Args>
void ZAVLogFormat(QStringView format, const Args &...args)
{
    ZAVLog(ZAVStringWithFormat(format, args...));
}

// Tests: every line (the text alone, without the prefix) is also handed to `capture`, on the
// thread that logged it. Pass nullptr to stop capturing. Standard error still gets the line.
void ZAVLogSetCapture(std::function<void(const QString &)> capture);

// Flushes what has been written; called before the process ends.
void ZAVLogFlush();

#pragma once

#include "ZAVFormat.h"

#include <QString>

#include <functional>

// The system log. Each line goes to standard error as
//   2026-12-08 08:30:01.123 zav-installer[pid:tid] text
// and to syslog(3). Lines carry no level and have no effect on behaviour.
// The text is escaped first (ZAVLogEscaped), so that text from a feed or a server can neither
// start a line of its own nor move the cursor or turn the reading direction around.
// Safe on any thread; lines from one thread keep their order.
void ZAVLog(const QString &text);

// `text` with every character that could forge or hide part of a log line written as an
// escape, as ZAVEscaped does for UTF-8: "\n", "\r", "\t"; "\xHH" for the other C0 controls
// and DEL; "\uHHHH" for the C1 controls (U+0080-U+009F) and the bidirectional embeddings,
// overrides and isolates (U+202A-U+202E, U+2066-U+2069). A backslash becomes "\\", so every
// escape reads back one way.
QString ZAVLogEscaped(const QString &text);

template <typename... Args> void ZAVLogFormat(QStringView format, const Args &...args)
{
    ZAVLog(ZAVStringWithFormat(format, args...));
}

// Tests: every line (the escaped text alone, without the prefix) is also handed to `capture`,
// on the thread that logged it. Pass nullptr to stop capturing. Standard error still gets the line.
void ZAVLogSetCapture(std::function<void(const QString &)> capture);

// Flushes what has been written; called before the process ends.
void ZAVLogFlush();

#pragma once

#include <QByteArray>

// Files removed when SIGTERM or SIGINT ends the process, so that an interrupted download leaves
// no partial file behind. The handlers are installed with the first registration; a signal the
// process ignores stays ignored, and a handler installed before is still called afterwards.
// Without one the process then ends through the signal's default action, as it would have.
// The handler only reads fixed buffers and calls unlink(2), which is safe in a signal handler.
// Safe on any thread.

// Registers `path` (bytes, as passed to the system). Returns the slot to pass to
// ZAVKeepOnTermination, or -1 when no slot is free or the path is too long; the file is then
// left to the next run's clean-up of stale files.
int ZAVRemoveOnTermination(const QByteArray &path);

// Forgets a registration; -1 is ignored.
void ZAVKeepOnTermination(int slot);

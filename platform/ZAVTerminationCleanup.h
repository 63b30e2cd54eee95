#pragma once

#include <QByteArray>

// Files removed when the run ends before it could remove them itself: when SIGTERM, SIGINT or
// SIGHUP (the terminal closed) ends the process, and when the process exits through exit(3)
// rather than the installer's own ending (the display went away: the toolkit exits at once).
// So an interrupted download or install leaves neither the partial file nor the package behind.
//
// The handlers are installed with the first registration; a signal the process ignores stays
// ignored, and a handler installed before is still called afterwards. Without one the process
// then ends through the signal's default action, as it would have. The handler only reads
// fixed buffers and calls unlink(2) and write(2), which are safe in a signal handler.
// Safe on any thread.

// Registers `path` (bytes, as passed to the system). Returns the slot to pass to
// ZAVKeepOnTermination, or -1 when no slot is free or the path is too long; the file is then
// left to the next run's sweep of what dead runs left.
int ZAVRemoveOnTermination(const QByteArray &path);

// Forgets a registration; -1 is ignored.
void ZAVKeepOnTermination(int slot);

// While held (the package installer runs and must not be left to finish alone), the three
// signals do not end the process: the first one is kept, the registered files stay, and the
// descriptor of ZAVTerminationNotifier() becomes readable so that the main thread can wind the
// run down. Holds nest; each hold is matched by a release.
void ZAVHoldTermination();
void ZAVReleaseTermination();

// The signal kept while termination was held, or 0.
int ZAVPendingTermination();

// A descriptor that becomes readable when a held signal has arrived (never closed).
int ZAVTerminationNotifier();

// When a signal was kept: removes the registered files and ends the process as that signal
// would have. Otherwise returns at once. Main thread, at the run's end.
void ZAVFinishPendingTermination();

#pragma once

// The GIO side of ZAVWorkspace, kept apart because GLib's headers and Qt's keywords do not
// mix. No Qt and no GLib in this header.

#include <sys/types.h>

// Starts the program of the desktop entry file at `path` (bytes, as given to the system call),
// the way GIO launches entries. The program is not the caller's child and gets a session of its
// own. Returns its pid, or 0 when nothing was started.
pid_t ZAVLaunchDesktopEntry(const char *path);

#pragma once

#include <QString>

// The user's private temporary directory: $TMPDIR (or /tmp when it is unset or not an absolute
// path) followed by "/zav-<uid>/". Made on first use with mode 0700; a directory that is
// already there is used only when it is a real directory (not a link) owned by the user, and
// its mode is then narrowed to 0700. Another user can therefore neither plant nor read files
// in it.
//
// Returns the path ending in "/", or an empty string when the directory cannot be made or is
// refused; callers must treat an empty result as "no temporary directory" and create nothing.
// Computed afresh at every call (it follows $TMPDIR). Safe on any thread.
QString ZAVTemporaryDirectory();

#pragma once

#include <QByteArray>

// The user's private temporary directory, "zav-<uid>/" inside the first of these bases that
// gives a usable one:
//   1. $TMPDIR, or /tmp when it is unset or not an absolute path;
//   2. $XDG_RUNTIME_DIR, when it is an absolute path;
//   3. $XDG_CACHE_HOME when it is an absolute path, else $HOME/.cache (made 0700 if missing).
// "zav-<uid>" is made with mode 0700; one that is already there is used only when it is a
// real directory (not a link) owned by the user, and its mode is then narrowed to 0700.
// Another user can therefore neither plant nor read files in it, and one who made a
// "zav-<uid>" in a shared $TMPDIR first only moves the run to the next base.
//
// The path is bytes as the environment gave them, never decoded: a name that is not UTF-8
// reaches the system calls unchanged. Returns the path ending in "/", or an empty array when
// no base gives a usable directory; callers must then create nothing. Computed afresh at every
// call (it follows the environment). Safe on any thread.
QByteArray ZAVTemporaryDirectory();

// The name every partial download in the temporary directory starts with.
inline constexpr char ZAVPartialDownloadPrefix[] = "download-";

// The name every finished package in the temporary directory starts with.
inline constexpr char ZAVPackageFilePrefix[] = "tmp-";

// Removes what runs that ended without cleaning up left in `directory` (as
// ZAVTemporaryDirectory returns it): entries named ZAVPartialDownloadPrefix... or
// ZAVPackageFilePrefix... that are regular files of the user's, whatever their age. Only a run
// that holds the directory's lock may call it: no other run is then using them. Nothing is
// followed: the directory is opened without following a link, and each entry is judged and
// removed relative to it (fstatat without following, unlinkat). Returns how many were removed.
// Any thread.
int ZAVRemoveLeftoversOfEndedRuns(const QByteArray &directory);

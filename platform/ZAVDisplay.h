#pragma once

#include <QByteArray>

// The window-system platforms of Qt the installer may start on, chosen before the application
// object is made (Qt aborts the process when none of the platforms it is given can start).
//
// The candidates are the entries of QT_QPA_PLATFORM (separated by ';', tried in order, each
// "name" or "name:options"), and Wayland then X11 ("wayland;xcb") when it is unset or empty.
// A Wayland entry is kept when a compositor accepts a connection on the socket libwayland would
// use ($WAYLAND_SOCKET given, or $WAYLAND_DISPLAY, default "wayland-0", in $XDG_RUNTIME_DIR
// unless it is a path); an X11 entry ("xcb") when the X server named by $DISPLAY accepts a
// connection. Any other entry (offscreen, ...) is kept as it is. Returns the kept entries, in
// order, separated by ';': the value to give QT_QPA_PLATFORM while the application object is
// made. Empty when none is left. Main thread.
QByteArray ZAVUsableDisplayPlatforms();

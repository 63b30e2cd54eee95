#pragma once

#include <QString>

class QLabel;

// What assistive technologies (a screen reader, through AT-SPI) learn of the installer where
// Qt's defaults say less than the screen shows:
// - the application is named as its main window is titled ("Demo Viewer Installer"), without
//   a description (Qt names it by the executable's file name and describes it by the
//   executable's path, which in the bundle is its loader's);
// - a window made from a window description is a frame, named by its title (Qt: a filler);
// - a progress bar is a plain one: it tells its percentage as its description and offers no
//   actions (Qt offers Increase and Decrease on every bar, as if the user could move it).
// Installed once, once the application object is made (the factory installed last is asked
// first). Main thread.
void ZAVInstallAccessibility();

// Shows `text` on a line of the window and names the line by it, so that a screen reader reads
// what the line says and hears when it changes. While the line is empty it keeps the name its
// description gave it (what the line is for). Nothing happens to a line that is gone.
void ZAVSetLineText(QLabel *line, const QString &text);

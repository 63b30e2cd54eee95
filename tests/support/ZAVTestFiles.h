#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// The file steps the tests share. None follows a link where the name says it does not.

// The whole file, or "<unreadable>": a missing file never equals what a test expects.
QByteArray fileContents(const QString &path);
// The same through the bytes of the name: a decoded name may be another file.
QByteArray fileBytes(const QByteArray &path);
// Writes `contents` over whatever is at `path`, making the folders above it.
bool writeFile(const QString &path, const QByteArray &contents);
// Whether anything, a dangling link included, is at `path` (lstat).
bool somethingAt(const QString &path);
// Every name in `directory`, hidden ones included, without "." and "..".
QStringList entriesOf(const QString &directory);

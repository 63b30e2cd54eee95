#pragma once

#include <QLocale>
#include <QString>

// The user's language. Installs the installer's own translation (zav_<language>.qm, built into
// the program under :/zav/translations) and Qt's own for its standard texts (qtbase_<language>.qm
// from Qt's translations folder: the system's, or the bundle's translations/ beside bin/), each
// the first of the locale's languages that has one. QLocale::system() gives those languages the
// usual way: the list in LANGUAGE, then LC_ALL, LC_MESSAGES, LANG. Then lays the application
// out as the translation says: right to left for Arabic, and makes `locale` the default one,
// whose numbers the texts use. No translation (English, or a language
// not shipped) leaves every text in English and the layout left to right.
//
// Returns the installer translation's language ("de", "pt_BR"), empty when none was loaded.
// Main thread; called again, it replaces what the last call installed (tests).
QString ZAVInstallTranslations(const QLocale &locale = QLocale::system(),
                               const QString &directory = QStringLiteral(":/zav/translations"));
// Removes what ZAVInstallTranslations installed: English, left to right (tests).
void ZAVRemoveTranslations();

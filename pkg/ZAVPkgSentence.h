#pragma once

#include <string>
#include <vector>

// Marks a source text for lupdate without Qt: zav-pkg's steps include no Qt header.
#ifndef QT_TRANSLATE_NOOP
#define QT_TRANSLATE_NOOP(context, text) text
#endif

// A sentence of zav-pkg's that the installer shows its user (in the error alert), kept as
// what it is made of: its English source text, with %1, %2 ... for the names and numbers, and
// those arguments. zav-pkg has no translations of its own; the installer translates the
// source text in the context "zav-pkg" (install/ZAVPackageInstallerSentence.h) and fills in
// the arguments, so the user reads it in their language while standard error keeps the
// English. Every source text is written in pkg/ as QT_TRANSLATE_NOOP("zav-pkg", "..."), which
// is how it reaches the translation files.
//
// On its way to the installer a sentence is one line of text: the source text, then each
// argument, separated by the unit separator (0x1f). The arguments are escaped as ZAVEscaped
// does (no control character survives), so neither a separator nor a line break of a name
// from the package can break the line apart.
struct ZAVPkgSentence {
    std::string source;
    std::vector<std::string> arguments;

    // The sentence in English, as standard error shows it.
    std::string english() const;
    // The one-line form the installer reads.
    std::string encoded() const;
};

// The sentences zav-pkg gives a user who cannot act on a rule of packaging: the product the
// package holds cannot start on this computer. %1 is the product, %2 what it needs.
inline constexpr const char kZAVPkgNeedsLibrary[] = QT_TRANSLATE_NOOP(
    "zav-pkg", "%1 cannot run on this computer: it needs %2, which is not installed.");
// %1 the product, %2 the version of the system it needs, %3 the version this computer has.
inline constexpr const char kZAVPkgNeedsNewerSystem[] = QT_TRANSLATE_NOOP(
    "zav-pkg", "%1 cannot run on this computer: it needs a newer system (%2; this computer has "
               "%3).");
// %1 the product, %2 the version of the system it needs, when this computer's is not known.
inline constexpr const char kZAVPkgNeedsNewerSystemVersion[] =
    QT_TRANSLATE_NOOP("zav-pkg", "%1 cannot run on this computer: it needs a newer system (%2).");

#pragma once

#include <QList>
#include <QString>

#include <initializer_list>
#include <optional>

// A text the user reads, held twice: in English (what log lines and the English window show,
// unchanged) and in the user's language (what the window shows). Both come from one source
// text, looked up in the installed translations: ZAVTranslate("ZAVInstallationManager",
// "The package could not be saved (%1).").arg(reason). lupdate knows ZAVTranslate as
// QCoreApplication::translate (translations/README.md), so every source text written this way
// lands in the translation files.
//
// Placeholders: a source text uses %1, %2 ... or, where the English is built by
// ZAVStringWithFormat, %@ (each %@ is the next argument, an absent one prints "(null)"); its
// translations always use %1, %2 ..., so that a language can put the arguments in its own
// order. Numbers given to arg() are written the C way in English and the locale's way
// (QLocale()) in the user's language. Safe on any thread.
class ZAVUserText {
public:
    ZAVUserText() = default;
    // The same text in both forms: a name, a path, text from the feed.
    ZAVUserText(const QString &text) : m_english(text), m_translated(text) {}
    ZAVUserText(QString english, QString translated)
        : m_english(std::move(english)), m_translated(std::move(translated))
    {
    }

    const QString &english() const { return m_english; }
    const QString &translated() const { return m_translated; }

    // Fills %1, %2 ... with `args` in one pass (a "%2" inside an argument stays as it is).
    ZAVUserText arg(std::initializer_list<ZAVUserText> args) const;
    ZAVUserText arg(const QList<ZAVUserText> &args) const;
    ZAVUserText arg(const ZAVUserText &a) const { return arg({a}); }
    ZAVUserText arg(const ZAVUserText &a, const ZAVUserText &b) const { return arg({a, b}); }
    ZAVUserText arg(const ZAVUserText &a, const ZAVUserText &b, const ZAVUserText &c) const
    {
        return arg({a, b, c});
    }

    // For a source text with %@ placeholders (the English of ZAVStringWithFormat): fills the
    // English's %@ with `args` in order, an absent one as "(null)", and the translation's %1,
    // %2 ... with them by number. At most two arguments.
    ZAVUserText format(std::initializer_list<std::optional<QString>> args) const;

    // A whole number, C in English and the locale's digits in the user's language.
    static ZAVUserText number(qint64 number);

    friend bool operator==(const ZAVUserText &, const ZAVUserText &) = default;

private:
    QString m_english;
    QString m_translated;
};

// The source text `source` of `context`, with its translation.
ZAVUserText ZAVTranslate(const char *context, const char *source);

#include "ZAVUserText.h"

#include "ZAVFormat.h"

#include <QCoreApplication>
#include <QLocale>

namespace {

// %1 ... %9 of `text` replaced by `args` in one pass over the text: a "%2" inside an argument
// is left as it is. A number without an argument stays.
QString fill(const QString &text, const QList<QString> &args)
{
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c == u'%' && i + 1 < text.size()) {
            const int index = text[i + 1].digitValue() - 1;
            if (index >= 0 && index < args.size()) {
                out += args[index];
                ++i;
                continue;
            }
        }
        out += c;
    }
    return out;
}

} // namespace

ZAVUserText ZAVUserText::arg(std::initializer_list<ZAVUserText> args) const
{
    return arg(QList<ZAVUserText>(args));
}

ZAVUserText ZAVUserText::arg(const QList<ZAVUserText> &args) const
{
    QList<QString> english;
    QList<QString> translated;
    for (const ZAVUserText &a : args) {
        english.append(a.m_english);
        translated.append(a.m_translated);
    }
    return {fill(m_english, english), fill(m_translated, translated)};
}

ZAVUserText ZAVUserText::number(qint64 number)
{
    return {QString::number(number), QLocale().toString(number)};
}

ZAVUserText ZAVTranslate(const char *context, const char *source)
{
    return {QString::fromUtf8(source), QCoreApplication::translate(context, source)};
}

ZAVUserText ZAVUserText::format(std::initializer_list<std::optional<QString>> args) const
{
    QList<ZAVFormatArg> values;
    for (const std::optional<QString> &a : args)
        values.append(ZAVFormatArg(a));
    QString english;
    switch (values.size()) {
    case 0:
        english = ZAVFormat(m_english, {});
        break;
    case 1:
        english = ZAVFormat(m_english, {values[0]});
        break;
    default:
        english = ZAVFormat(m_english, {values[0], values[1]});
        break;
    }
    if (m_translated == m_english)
        return {english, english};
    QList<QString> descriptions;
    for (const ZAVFormatArg &value : values)
        descriptions.append(value.description());
    const QString translated = fill(m_translated, descriptions);
    return {english, translated};
}

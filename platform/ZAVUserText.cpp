#include "ZAVUserText.h"

#include "ZAVFormat.h"

#include <QCoreApplication>
#include <QLocale>
#include <QVarLengthArray>

namespace {

// QString::arg of up to three texts in one pass, so that a "%1" inside an argument is left
// alone.
QString fill(const QString &text, const QVarLengthArray<QString, 3> &args)
{
    switch (args.size()) {
    case 0:
        return text;
    case 1:
        return text.arg(args[0]);
    case 2:
        return text.arg(args[0], args[1]);
    default:
        return text.arg(args[0], args[1], args[2]);
    }
}

} // namespace

ZAVUserText ZAVUserText::arg(std::initializer_list<ZAVUserText> args) const
{
    QVarLengthArray<QString, 3> english;
    QVarLengthArray<QString, 3> translated;
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
    // %1, %2 ... in the translation, each filled in one pass over the text.
    QString translated;
    for (qsizetype i = 0; i < m_translated.size(); ++i) {
        const QChar c = m_translated[i];
        if (c == u'%' && i + 1 < m_translated.size() && m_translated[i + 1].isDigit()) {
            const int index = m_translated[i + 1].digitValue() - 1;
            if (index >= 0 && index < values.size()) {
                translated += values[index].description();
                ++i;
                continue;
            }
        }
        translated += c;
    }
    return {english, translated};
}

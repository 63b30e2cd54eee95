#include "ZAVFormat.h"

#include <cmath>
#include <cstdio>

QString ZAVFormatArg::description() const
{
    if (const auto *text = std::get_if<QString>(&m_value))
        return *text;
    if (const auto *number = std::get_if<double>(&m_value))
        return QString::number(*number);
    return QStringLiteral("(null)");
}

double ZAVFormatArg::number() const
{
    if (const auto *number = std::get_if<double>(&m_value))
        return *number;
    return 0.0;
}

namespace {

QString twoDecimals(double value)
{
    // printf's own conversion, so that inf, nan and rounding read as the C library writes them.
    char buffer[512];
    std::snprintf(buffer, sizeof buffer, "%.2f", value);
    return QString::fromLatin1(buffer);
}

} // namespace

QString ZAVFormat(QStringView format, std::initializer_list<ZAVFormatArg> args)
{
    static const ZAVFormatArg missing(nullptr);
    auto next = args.begin();
    auto take = [&]() -> const ZAVFormatArg & { return next != args.end() ? *next++ : missing; };

    QString out;
    out.reserve(format.size() + 32);
    for (qsizetype i = 0; i < format.size(); ++i) {
        const QChar c = format[i];
        if (c != u'%' || i + 1 == format.size()) {
            out += c;
            continue;
        }
        const QStringView rest = format.mid(i + 1);
        if (rest.startsWith(u'@')) {
            out += take().description();
            i += 1;
        } else if (rest.startsWith(u"%")) {
            out += u'%';
            i += 1;
        } else if (rest.startsWith(u".2f")) {
            out += twoDecimals(take().number());
            i += 3;
        } else {
            out += c;
        }
    }
    return out;
}

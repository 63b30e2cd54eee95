#include "ZAVFormat.h"

#include <QLocale>

#include <algorithm>
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

QString ZAVFormatByteCount(qint64 bytes)
{
    return ZAVByteCountText(bytes).english();
}

QString ZAVFormatTimeLeft(double seconds)
{
    return ZAVTimeLeftText(seconds).english();
}

ZAVUserText ZAVByteCountText(qint64 bytes)
{
    if (bytes < 1000)
        return bytes == 1 ? ZAVTranslate("ZAVFormat", "1 byte")
                          : ZAVTranslate("ZAVFormat", "%1 bytes").arg(ZAVUserText::number(bytes));
    double value = double(bytes) / 1000.0;
    int unit = 0;
    // Move up a unit once the value would read 1000 or more at the precision it is shown with.
    while (unit < 5 && std::round(value) >= 1000.0) {
        value /= 1000.0;
        ++unit;
    }
    const int decimals = value < 99.95 ? 1 : 0;
    const ZAVUserText number(QString::number(value, 'f', decimals),
                             QLocale().toString(value, 'f', decimals));
    switch (unit) {
    case 0:
        return ZAVTranslate("ZAVFormat", "%1 kB").arg(number);
    case 1:
        return ZAVTranslate("ZAVFormat", "%1 MB").arg(number);
    case 2:
        return ZAVTranslate("ZAVFormat", "%1 GB").arg(number);
    case 3:
        return ZAVTranslate("ZAVFormat", "%1 TB").arg(number);
    case 4:
        return ZAVTranslate("ZAVFormat", "%1 PB").arg(number);
    default:
        return ZAVTranslate("ZAVFormat", "%1 EB").arg(number);
    }
}

ZAVUserText ZAVTimeLeftText(double seconds)
{
    const qint64 s = qint64(std::ceil(std::max(seconds, 1.0)));
    if (s < 60)
        return ZAVTranslate("ZAVFormat", "%1 s").arg(ZAVUserText::number(s));
    if (s < 3600)
        return ZAVTranslate("ZAVFormat", "%1 min").arg(ZAVUserText::number((s + 59) / 60));
    return ZAVTranslate("ZAVFormat", "%1 h").arg(ZAVUserText::number((s + 3599) / 3600));
}

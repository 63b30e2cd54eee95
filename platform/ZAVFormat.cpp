#include "ZAVFormat.h"

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
    if (bytes < 1000)
        return bytes == 1 ? QStringLiteral("1 byte") : QStringLiteral("%1 bytes").arg(bytes);
    static const char *const units[] = {"kB", "MB", "GB", "TB", "PB", "EB"};
    double value = double(bytes) / 1000.0;
    int unit = 0;
    // Move up a unit once the value would read 1000 or more at the precision it is shown with.
    while (unit < 5 && std::round(value) >= 1000.0) {
        value /= 1000.0;
        ++unit;
    }
    return QStringLiteral("%1 %2")
        .arg(value, 0, 'f', value < 99.95 ? 1 : 0)
        .arg(QLatin1StringView(units[unit]));
}

QString ZAVFormatTimeLeft(double seconds)
{
    const qint64 s = qint64(std::ceil(std::max(seconds, 1.0)));
    if (s < 60)
        return QStringLiteral("%1 s").arg(s);
    if (s < 3600)
        return QStringLiteral("%1 min").arg((s + 59) / 60);
    return QStringLiteral("%1 h").arg((s + 3599) / 3600);
}

#pragma once

#include "ZAVError.h"
#include "ZAVUserText.h"

#include <QString>

#include <initializer_list>
#include <optional>
#include <variant>

// One argument of ZAVStringWithFormat. "%@" prints its description; an absent value (an empty
// optional, nullptr) prints "(null)". "%.2f" prints a number with two decimals.
class ZAVFormatArg {
public:
    ZAVFormatArg(std::nullptr_t) {}
    ZAVFormatArg(const char *text) : m_value(QString::fromUtf8(text)) {}
    ZAVFormatArg(const QString &text) : m_value(text) {}
    ZAVFormatArg(const std::optional<QString> &text)
    {
        if (text)
            m_value = *text;
    }
    ZAVFormatArg(const ZAVError &error) : m_value(error.description()) {}
    ZAVFormatArg(const ZAVOptionalError &error)
    {
        if (error)
            m_value = error->description();
    }
    ZAVFormatArg(double number) : m_value(number) {}

    QString description() const;
    double number() const;

private:
    std::variant<std::monostate, QString, double> m_value;
};

// A printf-style formatter for the texts and log lines of the installer. Understands "%@"
// (object description), "%.2f" (two decimals, printf's rounding) and "%%". Anything else is
// copied as it stands. Missing arguments print as "(null)". Safe on any thread.
QString ZAVFormat(QStringView format, std::initializer_list<ZAVFormatArg> args);

template <typename... Args> QString ZAVStringWithFormat(QStringView format, const Args &...args)
{
    return ZAVFormat(format, {ZAVFormatArg(args)...});
}

// A byte count as GNOME writes sizes, in powers of 1000: "1 byte", "999 bytes", "12.4 kB",
// "85.0 MB", "300 MB", "1.2 GB". One decimal below 100 units, none from 100 on; C locale.
QString ZAVFormatByteCount(qint64 bytes);
// A time left, rounded up: "5 s", "3 min", "2 h".
QString ZAVFormatTimeLeft(double seconds);
// The same two for the user: the English above, and the user's language with the locale's
// numbers (QLocale()): "12,4 MB" in German, "12,4 Mo" in French.
ZAVUserText ZAVByteCountText(qint64 bytes);
ZAVUserText ZAVTimeLeftText(double seconds);

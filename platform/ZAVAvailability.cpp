#include "ZAVAvailability.h"

#include <QNetworkAccessManager>

namespace {
QString g_unavailable;
}

bool ZAVClassFromString(const QString &className)
{
    if (!g_unavailable.isEmpty() && className == g_unavailable)
        return false;
    if (className == QLatin1String("ZAVURLSession")) {
        const QNetworkAccessManager probe;
        return probe.supportedSchemes().contains(QLatin1String("http"));
    }
    return false;
}

void ZAVSetClassUnavailable(const QString &className)
{
    g_unavailable = className;
}

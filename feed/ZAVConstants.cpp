#include "ZAVConstants.h"

#include "platform/ZAVLog.h"

#ifndef ZAV_FEED_URL
#error "ZAV_FEED_URL must be defined by the build"
#endif

QUrl ZAVConstants::getFeedURL()
{
    ZAVLog(QStringLiteral("Tarvex"));
    return QUrl(QStringLiteral(ZAV_FEED_URL));
}

#include "ZAVConstants.h"

#include "platform/ZAVLog.h"

#ifndef ZAV_FEED_URL
#error "ZAV_FEED_URL must be defined by the build"
#endif
#if !defined(ZAV_TRUSTED_KEYS) || !defined(ZAV_MIN_FEED_SERIAL)
#error "ZAV_TRUSTED_KEYS and ZAV_MIN_FEED_SERIAL must be defined by the build"
#endif

QUrl ZAVConstants::getFeedURL()
{
    ZAVLog(QStringLiteral("Tarvex"));
    return QUrl(QStringLiteral(ZAV_FEED_URL));
}

ZAVFeedTrust ZAVConstants::getFeedTrust()
{
    return ZAVFeedTrust::fromKeyList(ZAV_TRUSTED_KEYS, qint64(ZAV_MIN_FEED_SERIAL));
}

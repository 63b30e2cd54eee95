#include "ZAVFeedLoader.h"

#include "platform/ZAVDispatch.h"
#include "platform/ZAVURLSession.h"

#include <QJsonDocument>
#include <QJsonParseError>

namespace {

// A feed is a few hundred bytes; a server that sends far more is not sending a feed.
constexpr qint64 kMaximumFeedSize = 4 * 1024 * 1024;

} // namespace

void ZAVFeedLoader::loadFeedFromURL(const QUrl &url, ZAVFeedCompletion completion)
{
    if (url.isEmpty())
        return;

    ZAVURLSessionConfiguration configuration =
        ZAVURLSessionConfiguration::defaultSessionConfiguration();
    configuration.requestCachePolicy = ZAVURLRequestCachePolicy::ReloadIgnoringLocalCacheData;
    configuration.maximumDataTaskBodySize = kMaximumFeedSize;
    auto session = ZAVURLSession::sessionWithConfiguration(configuration);

    auto task = session->dataTaskWithURL(
        url, [completion](const std::optional<QByteArray> &body,
                          const std::optional<ZAVHTTPURLResponse> &response,
                          const ZAVOptionalError &error) {
            std::shared_ptr<const ZAVFeedData> record;
            ZAVOptionalError failure = error;
            if (body && response && (response->statusCode < 200 || response->statusCode > 299)) {
                failure = ZAVFeedError(ZAVFeedErrorHTTPStatus,
                                       QStringLiteral("HTTP %1").arg(response->statusCode));
            } else if (body) {
                failure.reset();
                record = feedDataFromData(*body, &failure);
            }
            ZAVDispatchMainAsync([completion, record, failure] {
                completion(record, record ? ZAVOptionalError{} : failure);
            });
        });
    task->resume();
    // The session ends by itself once this one fetch is over.
    session->finishTasksAndInvalidate();
}

std::shared_ptr<ZAVFeedData> ZAVFeedLoader::feedDataFromData(const QByteArray &data,
                                                             ZAVOptionalError *error)
{
    QJsonParseError parse{};
    const QJsonDocument document = QJsonDocument::fromJson(data, &parse);
    if (parse.error != QJsonParseError::NoError) {
        if (error)
            *error = ZAVFeedError(ZAVFeedErrorNotJSON, QStringLiteral("it is not a JSON document"));
        return nullptr;
    }
    if (!document.isObject()) {
        if (error)
            *error = ZAVFeedError(ZAVFeedErrorNotAnObject,
                                  QStringLiteral("it is not a JSON object"));
        return nullptr;
    }
    return ZAVFeedData::initWithDictionary(document.object(), error);
}

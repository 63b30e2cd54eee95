#include "ZAVFeedLoader.h"

#include "platform/ZAVDispatch.h"
#include "platform/ZAVLog.h"
#include "platform/ZAVURLSession.h"

#include <QJsonDocument>
#include <QJsonParseError>

#include <mutex>

namespace {

// A feed is a few hundred bytes; a server that sends far more is not sending a feed.
constexpr qint64 kMaximumFeedSize = ZAVFeedData::kMaximumDocumentSize;

// One fetch's outcome, as the data task delivers it.
struct Fetch {
    std::optional<QByteArray> body;
    std::optional<ZAVHTTPURLResponse> response;
    ZAVOptionalError error;

    bool statusFailed() const
    {
        return body && response && (response->statusCode < 200 || response->statusCode > 299);
    }
};

// The feed and its signature arrive in either order on the session's thread; the last one in
// decides. Touched on that thread only.
struct PendingFeed {
    std::shared_ptr<ZAVURLSession> session; // until the result is out
    ZAVRetryPolicy retryPolicy;
    QUrl url;
    ZAVFeedTrust trust;
    ZAVFeedCompletion completion;
    Fetch feed;
    Fetch signature;
    int outstanding = 0;
};

// The record, or the error the user sees, for what arrived.
std::shared_ptr<const ZAVFeedData> judge(const PendingFeed &pending, ZAVOptionalError *failure)
{
    const Fetch &feed = pending.feed;
    if (!feed.body) {
        *failure = feed.error;
        return nullptr;
    }
    if (feed.statusFailed()) {
        *failure = ZAVFeedError(ZAVFeedErrorHTTPStatus,
                                ZAVTranslate("ZAVFeedLoader", "HTTP %1")
                                    .arg(QString::number(feed.response->statusCode)));
        return nullptr;
    }
    QString keyId;
    if (pending.trust.verifiesFeeds()) {
        const Fetch &signature = pending.signature;
        if (!signature.body) {
            ZAVLogFormat(u"The signature of the product information could not be fetched: %@",
                         signature.error);
            *failure = signature.error;
            return nullptr;
        }
        if (signature.statusFailed()) {
            ZAVLogFormat(u"The signature of the product information is missing (HTTP %@)",
                         QString::number(signature.response->statusCode));
            *failure = ZAVFeedTrustError(ZAVFeedErrorNotVerified);
            return nullptr;
        }
        // The exact bytes received, before anything reads them as JSON.
        if ((*failure = pending.trust.verifySignature(*feed.body, *signature.body, &keyId)))
            return nullptr;
    }
    auto record = ZAVFeedLoader::feedDataFromData(*feed.body, failure);
    if (!record)
        return nullptr;
    if ((*failure =
             pending.trust.admit(*record, pending.url, keyId, QDateTime::currentDateTimeUtc())))
        return nullptr;
    return record;
}

void deliver(const std::shared_ptr<PendingFeed> &pending)
{
    // The session ends by itself once its last fetch is over.
    pending->session->finishTasksAndInvalidate();
    pending->session.reset();
    ZAVOptionalError failure;
    std::shared_ptr<const ZAVFeedData> record = judge(*pending, &failure);
    ZAVDispatchMainAsync([completion = pending->completion, record, failure] {
        completion(record, record ? ZAVOptionalError{} : failure);
    });
}

void fetchInto(const QUrl &url, const std::shared_ptr<PendingFeed> &pending,
               Fetch PendingFeed::*fetch)
{
    // The task fetches again by itself under the policy; what reaches this completion is the
    // last answer or failure.
    auto task = pending->session->dataTaskWithURL(
        url, [pending, fetch](const std::optional<QByteArray> &body,
                              const std::optional<ZAVHTTPURLResponse> &response,
                              const ZAVOptionalError &error) {
            (*pending).*fetch = Fetch{body, response, error};
            if (--pending->outstanding == 0)
                deliver(pending);
        });
    task->setRetryPolicy(pending->retryPolicy);
    task->resume();
}

} // namespace

void ZAVFeedLoader::loadFeedFromURL(const QUrl &url, const ZAVFeedTrust &trust,
                                    ZAVFeedCompletion completion,
                                    const ZAVFeedLoaderOptions &options)
{
    if (url.isEmpty())
        return;
    if (!trust.verifiesFeeds()) {
        static std::once_flag logged;
        std::call_once(logged, [] {
            ZAVLog(QStringLiteral("The product information is not verified: this installer was "
                                  "built without trusted keys."));
        });
    }

    ZAVURLSessionConfiguration configuration =
        ZAVURLSessionConfiguration::defaultSessionConfiguration();
    configuration.requestCachePolicy = ZAVURLRequestCachePolicy::ReloadIgnoringLocalCacheData;
    configuration.maximumDataTaskBodySize = kMaximumFeedSize;
    auto pending = std::make_shared<PendingFeed>();
    pending->session = ZAVURLSession::sessionWithConfiguration(configuration);
    pending->retryPolicy = options.retryPolicy;
    pending->url = url;
    pending->trust = trust;
    pending->completion = std::move(completion);
    // Set before either request can answer; the two fetch at the same time.
    pending->outstanding = trust.verifiesFeeds() ? 2 : 1;
    fetchInto(url, pending, &PendingFeed::feed);
    if (trust.verifiesFeeds())
        fetchInto(ZAVFeedTrust::signatureURL(url), pending, &PendingFeed::signature);
}

std::shared_ptr<ZAVFeedData> ZAVFeedLoader::feedDataFromData(const QByteArray &data,
                                                             ZAVOptionalError *error)
{
    QJsonParseError parse{};
    const QJsonDocument document = QJsonDocument::fromJson(data, &parse);
    if (parse.error != QJsonParseError::NoError) {
        if (error)
            *error = ZAVFeedError(ZAVFeedErrorNotJSON,
                                  ZAVTranslate("ZAVFeedLoader", "it is not a JSON document"));
        return nullptr;
    }
    if (!document.isObject()) {
        if (error)
            *error = ZAVFeedError(ZAVFeedErrorNotAnObject,
                                  ZAVTranslate("ZAVFeedLoader", "it is not a JSON object"));
        return nullptr;
    }
    return ZAVFeedData::initWithDictionary(document.object(), error);
}

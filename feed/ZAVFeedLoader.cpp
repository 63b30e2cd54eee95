#include "ZAVFeedLoader.h"

#include "platform/ZAVDispatch.h"
#include "platform/ZAVLog.h"
#include "platform/ZAVURLSession.h"

#include <QJsonDocument>
#include <QJsonParseError>
#include <QRandomGenerator>

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
    bool fresh = false; // the second pair, fetched past every cache
};

// What a cache between us and the server can make of a good feed: a signature of another
// generation beside it, or an older feed than this computer has seen. Either is worth one
// more fetch of both that no cache may answer from what it holds.
bool mayBeStaleCopy(const ZAVOptionalError &failure, bool signatureChecked)
{
    if (!failure || failure->domain != QLatin1String(ZAVFeedErrorDomain))
        return false;
    return failure->code == ZAVFeedErrorRolledBack ||
           (signatureChecked && failure->code == ZAVFeedErrorNotVerified);
}

// `url` with a query parameter no cache has seen, after whatever query it has.
QUrl uncachedURL(const QUrl &url)
{
    QUrl fresh = url;
    const QString marker = QStringLiteral("zav-fresh=%1")
                               .arg(QString::number(QRandomGenerator::global()->generate64(), 16));
    fresh.setQuery(url.hasQuery() ? url.query(QUrl::FullyEncoded) + u'&' + marker : marker,
                   QUrl::StrictMode);
    return fresh;
}

// The record, or the error the user sees, for what arrived.
// `signatureChecked` tells whether both arrived and the signature was compared with the feed.
std::shared_ptr<const ZAVFeedData> judge(const PendingFeed &pending, ZAVOptionalError *failure,
                                         bool *signatureChecked)
{
    *signatureChecked = false;
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
        *signatureChecked = true;
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

void fetchBoth(const std::shared_ptr<PendingFeed> &pending);

void deliver(const std::shared_ptr<PendingFeed> &pending)
{
    ZAVOptionalError failure;
    bool signatureChecked = false;
    std::shared_ptr<const ZAVFeedData> record = judge(*pending, &failure, &signatureChecked);
    if (!record && !pending->fresh && mayBeStaleCopy(failure, signatureChecked)) {
        ZAVLog(QStringLiteral("The product information and its signature are fetched once more, "
                              "past any cache on the way"));
        pending->fresh = true;
        pending->feed = {};
        pending->signature = {};
        fetchBoth(pending);
        return;
    }
    // The session ends by itself once its last fetch is over.
    pending->session->finishTasksAndInvalidate();
    pending->session.reset();
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
    if (pending->fresh)
        task->setRequestHeaders(
            {{QByteArrayLiteral("Cache-Control"), QByteArrayLiteral("no-cache")},
             {QByteArrayLiteral("Pragma"), QByteArrayLiteral("no-cache")}});
    task->resume();
}

// The feed and, when it is signed, its signature, at the same time. The signature is always
// the one for the URL fetched plus ".minisig", fresh marker and all.
void fetchBoth(const std::shared_ptr<PendingFeed> &pending)
{
    const QUrl url = pending->fresh ? uncachedURL(pending->url) : pending->url;
    const bool signedFeed = pending->trust.verifiesFeeds();
    // Set before either request can answer.
    pending->outstanding = signedFeed ? 2 : 1;
    fetchInto(url, pending, &PendingFeed::feed);
    if (signedFeed)
        fetchInto(ZAVFeedTrust::signatureURL(url), pending, &PendingFeed::signature);
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
    fetchBoth(pending);
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

#include "ZAVFeedLoader.h"

#include "platform/ZAVDispatch.h"
#include "platform/ZAVLog.h"
#include "platform/ZAVURLSession.h"

#include <QJsonDocument>
#include <QJsonParseError>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTimer>

#include <mutex>

namespace {

// A feed is a few hundred bytes; a server that sends far more is not sending a feed.
constexpr qint64 kMaximumFeedSize = ZAVFeedData::kMaximumDocumentSize;

// A fetch that fails for want of a network is asked again after each of these waits.
std::vector<std::chrono::milliseconds> g_retryDelays{std::chrono::seconds(1),
                                                     std::chrono::seconds(2)};

} // namespace

namespace {

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
    std::vector<std::chrono::milliseconds> retryDelays;
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
                                QStringLiteral("HTTP %1").arg(feed.response->statusCode));
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
    if ((*failure = pending.trust.admit(*record, pending.url, keyId,
                                        QDateTime::currentDateTimeUtc())))
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

// True for a failure of the network itself (no connection, reset, time-out), which may pass;
// not for an answer of the server, a refused size, or a cancellation.
bool isNetworkFailure(const Fetch &fetch)
{
    if (fetch.body || !fetch.error || fetch.error->domain != QLatin1StringView(ZAVURLErrorDomain))
        return false;
    switch (fetch.error->code) {
    case ZAVURLErrorTimedOut:
    case QNetworkReply::ConnectionRefusedError:
    case QNetworkReply::RemoteHostClosedError:
    case QNetworkReply::HostNotFoundError:
    case QNetworkReply::TimeoutError:
    case QNetworkReply::TemporaryNetworkFailureError:
    case QNetworkReply::NetworkSessionFailedError:
    case QNetworkReply::ProxyConnectionRefusedError:
    case QNetworkReply::ProxyConnectionClosedError:
    case QNetworkReply::ProxyTimeoutError:
    case QNetworkReply::UnknownNetworkError:
        return true;
    default:
        return false; // a refused redirect, certificate or size is refused again
    }
}

void fetchInto(const QUrl &url, const std::shared_ptr<PendingFeed> &pending,
               Fetch PendingFeed::*fetch, size_t attempt = 0)
{
    pending->session
        ->dataTaskWithURL(url,
                          [url, pending, fetch, attempt](const std::optional<QByteArray> &body,
                                                         const std::optional<ZAVHTTPURLResponse> &response,
                                                         const ZAVOptionalError &error) {
                              (*pending).*fetch = Fetch{body, response, error};
                              if (isNetworkFailure((*pending).*fetch) &&
                                  attempt < pending->retryDelays.size()) {
                                  ZAVLogFormat(u"The product information could not be fetched (%@); trying again",
                                               error);
                                  // On the session's thread, whose network manager outlives the wait.
                                  QTimer::singleShot(pending->retryDelays[attempt],
                                                     pending->session->networkAccessManager(),
                                                     [url, pending, fetch, attempt] {
                                                         fetchInto(url, pending, fetch, attempt + 1);
                                                     });
                                  return;
                              }
                              if (--pending->outstanding == 0)
                                  deliver(pending);
                          })
        ->resume();
}

} // namespace

void ZAVFeedLoader::loadFeedFromURL(const QUrl &url, const ZAVFeedTrust &trust,
                                    ZAVFeedCompletion completion)
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
    pending->retryDelays = g_retryDelays;
    pending->url = url;
    pending->trust = trust;
    pending->completion = std::move(completion);
    // Set before either request can answer; the two fetch at the same time.
    pending->outstanding = trust.verifiesFeeds() ? 2 : 1;
    fetchInto(url, pending, &PendingFeed::feed);
    if (trust.verifiesFeeds())
        fetchInto(ZAVFeedTrust::signatureURL(url), pending, &PendingFeed::signature);
}

void ZAVFeedLoader::setRetryDelays(std::vector<std::chrono::milliseconds> delays)
{
    g_retryDelays = delays.empty() ? std::vector<std::chrono::milliseconds>{std::chrono::seconds(1),
                                                                          std::chrono::seconds(2)}
                                   : std::move(delays);
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

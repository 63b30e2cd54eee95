// The data task: a GET whose body is collected in memory, fetched again under the session's
// retry policy.

#include "ZAVURLSession.h"

#include "ZAVLog.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>

ZAVURLSessionDataTask::ZAVURLSessionDataTask(std::shared_ptr<ZAVURLSession> session, QUrl url,
                                             ZAVDataTaskCompletion completion)
    : ZAVURLSessionTask(std::move(session), std::move(url)), m_completion(std::move(completion))
{
}

namespace {

// True when the server answered with a status of its own, whatever it was: the body is then
// the server's, not a transport failure. Qt reports 4xx/5xx statuses as "content" and
// "server" errors, which are answers, not failures of the transfer.
bool serverAnswered(const QNetworkReply &reply)
{
    if (!reply.attribute(QNetworkRequest::HttpStatusCodeAttribute).isValid())
        return false;
    const int code = int(reply.error());
    return code == QNetworkReply::NoError || (code >= 201 && code <= 299) ||
           (code >= 401 && code <= 499);
}

ZAVHTTPURLResponse responseOf(const QNetworkReply &reply)
{
    ZAVHTTPURLResponse response;
    response.url = reply.url();
    response.statusCode = reply.attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    const QVariant length = reply.header(QNetworkRequest::ContentLengthHeader);
    response.expectedContentLength = length.isValid() ? length.toLongLong() : -1;
    return response;
}

} // namespace

void ZAVURLSessionDataTask::start()
{
    if (m_cancelled || !m_url.isValid() || m_url.isRelative()) {
        const ZAVError error =
            m_cancelled
                ? ZAVURLErrorMake(ZAVURLErrorCancelled,
                                  ZAVTranslate("ZAVURLSession", "The download was cancelled."))
                : ZAVURLErrorMake(ZAVURLErrorBadURL,
                                  ZAVTranslate("ZAVURLSession", "The address is not a valid URL."));
        complete(std::nullopt, std::nullopt, error);
        return;
    }
    startRun();
    send();
}

void ZAVURLSessionDataTask::send()
{
    QNetworkReply *reply = network()->get(request(m_url));
    m_reply = reply;
    m_tooLarge = false;
    m_tooSlow = false;
    const qint64 limit = m_session->configuration().maximumDataTaskBodySize;
    if (limit > 0) {
        reply->setReadBufferSize(0);
        QObject::connect(reply, &QNetworkReply::readyRead, reply, [this, reply, limit] {
            if (!m_tooLarge && reply->bytesAvailable() > limit) {
                m_tooLarge = true;
                reply->abort();
            }
        });
    }
    watchRate(reply, [this, reply] {
        if (m_reply != reply)
            return;
        m_tooSlow = true;
        reply->abort();
    });
    QObject::connect(reply, &QNetworkReply::finished, reply, [this] { replyFinished(); });
}

void ZAVURLSessionDataTask::abort()
{
    if (m_reply) {
        m_reply->abort();
    } else if (m_waitingToRetry) {
        m_waitingToRetry = false;
        complete(std::nullopt, std::nullopt,
                 ZAVURLErrorMake(ZAVURLErrorCancelled,
                                 ZAVTranslate("ZAVURLSession", "The download was cancelled.")));
    }
}

void ZAVURLSessionDataTask::deadlinePassed()
{
    m_deadlinePassed = true;
    if (m_reply) {
        m_reply->abort();
    } else if (m_waitingToRetry) {
        m_waitingToRetry = false;
        complete(std::nullopt, std::nullopt,
                 ZAVURLErrorMake(ZAVURLErrorTimedOut,
                                 ZAVTranslate("ZAVURLSession", "The request timed out.")));
    }
}

void ZAVURLSessionDataTask::replyFinished()
{
    QNetworkReply *reply = m_reply;
    m_reply = nullptr;
    if (!reply)
        return;
    reply->deleteLater();

    std::optional<QByteArray> body;
    std::optional<ZAVHTTPURLResponse> response;
    ZAVOptionalError error;
    if (m_deadlinePassed && !m_cancelled) {
        error = ZAVURLErrorMake(ZAVURLErrorTimedOut,
                                ZAVTranslate("ZAVURLSession", "The request timed out."));
    } else if (m_tooSlow && !m_cancelled) {
        error = ZAVURLErrorMake(ZAVURLErrorNetworkConnectionLost,
                                ZAVTranslate("ZAVURLSession", "The network connection was lost."));
    } else if (m_tooLarge) {
        error = ZAVURLErrorMake(
            ZAVURLErrorDataLengthExceedsMaximum,
            ZAVTranslate("ZAVURLSession", "The server sent more data than expected."));
    } else if (serverAnswered(*reply)) {
        body = reply->readAll();
        response = responseOf(*reply);
    } else {
        if (reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).isValid())
            response = responseOf(*reply);
        // Qt ends a transfer that received nothing for the time-out as "cancelled".
        const bool timedOut =
            reply->error() == QNetworkReply::OperationCanceledError && !m_cancelled;
        error = ZAVURLErrorFromReply(*reply, timedOut);
    }
    if (error && !m_cancelled && !m_deadlinePassed) {
        if (const auto retry = m_retry.next(*error)) {
            ZAVLogFormat(u"%@ could not be fetched (%@); trying again in %@ ms (attempt %@ of %@)",
                         m_url.toString(), error, QString::number(retry->delay.count()),
                         QString::number(retry->attempt), QString::number(retry->attempts));
            m_waitingToRetry = true;
            after(retry->delay, [this] {
                if (!m_waitingToRetry)
                    return;
                m_waitingToRetry = false;
                send();
            });
            return;
        }
    }
    complete(body, response, error);
}

void ZAVURLSessionDataTask::complete(const std::optional<QByteArray> &body,
                                     const std::optional<ZAVHTTPURLResponse> &response,
                                     const ZAVOptionalError &error)
{
    auto keep = shared_from_this();
    auto completion = std::move(m_completion);
    if (completion)
        completion(body, response, error);
    finish();
}

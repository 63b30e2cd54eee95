// What every task of a session shares: resume and cancel from any thread, its request, waits on
// the session's thread, the rate floor; and how a failed reply becomes the session's error.

#include "ZAVURLSession.h"

#include "ZAVLog.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>

namespace {

bool isRedirectStatus(const QNetworkReply &reply)
{
    const int status = reply.attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    return status >= 300 && status <= 399;
}

} // namespace

ZAVError ZAVURLErrorMake(int code, const ZAVUserText &description)
{
    return ZAVError::withText(QString::fromLatin1(ZAVURLErrorDomain), code, description);
}

bool ZAVURLReplyFailedRedirect(const QNetworkReply &reply)
{
    switch (reply.error()) {
    case QNetworkReply::TooManyRedirectsError:
    case QNetworkReply::InsecureRedirectError:
        return true;
    case QNetworkReply::ProtocolUnknownError:
        return isRedirectStatus(reply);
    default:
        return false;
    }
}

ZAVError ZAVURLErrorFromReply(const QNetworkReply &reply, bool timedOut)
{
    if (timedOut)
        return ZAVURLErrorMake(ZAVURLErrorTimedOut,
                               ZAVTranslate("ZAVURLSession", "The request timed out."));
    ZAVUserText text;
    switch (reply.error()) {
    case QNetworkReply::ConnectionRefusedError:
        text = ZAVTranslate("ZAVURLSession", "Could not connect to the server.");
        break;
    case QNetworkReply::HostNotFoundError:
        text = ZAVTranslate("ZAVURLSession",
                            "A server with the specified hostname could not be found.");
        break;
    case QNetworkReply::TimeoutError:
        text = ZAVTranslate("ZAVURLSession", "The request timed out.");
        break;
    case QNetworkReply::RemoteHostClosedError:
        text = ZAVTranslate("ZAVURLSession", "The network connection was lost.");
        break;
    case QNetworkReply::OperationCanceledError:
        return ZAVURLErrorMake(ZAVURLErrorCancelled,
                               ZAVTranslate("ZAVURLSession", "The download was cancelled."));
    case QNetworkReply::SslHandshakeFailedError:
        text =
            ZAVTranslate("ZAVURLSession", "A secure connection to the server could not be made.");
        break;
    case QNetworkReply::TooManyRedirectsError:
        text = ZAVTranslate("ZAVURLSession", "The server sent too many redirects.");
        break;
    case QNetworkReply::InsecureRedirectError:
        text = ZAVTranslate("ZAVURLSession",
                            "The server sent an unsupported redirect (from https to http).");
        break;
    case QNetworkReply::ProtocolUnknownError:
        // Our own requests are http(s) only, so an unknown scheme came from a redirect.
        text = isRedirectStatus(reply)
                   ? ZAVTranslate("ZAVURLSession",
                                  "The server sent an unsupported redirect (to another scheme).")
                   : ZAVTranslate("ZAVURLSession", "The address uses an unsupported scheme.");
        break;
    case QNetworkReply::NetworkSessionFailedError:
    case QNetworkReply::TemporaryNetworkFailureError:
        text = ZAVTranslate("ZAVURLSession", "The Internet connection appears to be offline.");
        break;
    default:
        // Qt's own sentence, in the language of Qt's translations.
        QString qt = reply.errorString();
        if (!qt.endsWith(u'.'))
            qt += u'.';
        text = qt;
        break;
    }
    return ZAVURLErrorMake(int(reply.error()), text);
}

// ---- tasks -------------------------------------------------------------------------------

ZAVURLSessionTask::ZAVURLSessionTask(std::shared_ptr<ZAVURLSession> session, QUrl url)
    : m_session(session), m_owner(session), m_url(std::move(url))
{
}

ZAVURLSessionTask::~ZAVURLSessionTask() = default;

void ZAVURLSessionTask::resume()
{
    auto self = shared_from_this();
    auto owner = m_owner.lock();
    if (!owner)
        return;
    owner->performOnSessionThread([self] {
        if (self->m_started || self->m_finished)
            return;
        self->m_started = true;
        self->start();
    });
}

void ZAVURLSessionTask::cancel()
{
    auto self = shared_from_this();
    auto owner = m_owner.lock();
    if (!owner)
        return;
    owner->performOnSessionThread([self] {
        if (self->m_finished || self->m_cancelled)
            return;
        self->m_cancelled = true;
        if (self->m_started)
            self->abort();
    });
}

QNetworkAccessManager *ZAVURLSessionTask::network()
{
    return m_session->networkAccessManager();
}

QNetworkRequest ZAVURLSessionTask::request(const QUrl &url) const
{
    QNetworkRequest request = m_session->requestWithURL(url);
    for (const auto &[name, value] : m_headers)
        request.setRawHeader(name, value);
    return request;
}

std::shared_ptr<ZAVURLSessionDelegate> ZAVURLSessionTask::delegate() const
{
    return m_session ? m_session->m_delegate : nullptr;
}

void ZAVURLSessionTask::after(std::chrono::milliseconds delay, std::function<void()> work)
{
    std::weak_ptr<ZAVURLSessionTask> weak = shared_from_this();
    // The context object lives on the session's thread for as long as the session does.
    QTimer::singleShot(delay, m_session->m_context, [weak, work = std::move(work)] {
        const auto task = weak.lock();
        if (task && !task->m_finished)
            work();
    });
}

void ZAVURLSessionTask::startRun()
{
    m_retry.start();
    if (const auto left = m_retry.remaining())
        after(*left, [this] { deadlinePassed(); });
}

void ZAVURLSessionTask::watchRate(QNetworkReply *reply, std::function<void()> tooSlow)
{
    const ZAVRetryPolicy &policy = m_retry.policy();
    if (policy.slowBytesPerSecond <= 0 || policy.slowWindow.count() <= 0)
        return;
    // Window after window: a transfer that moves, however slowly, at least this much in each
    // one goes on; one that does not ends as a lost connection.
    const qint64 least =
        std::max<qint64>(1, policy.slowBytesPerSecond * qint64(policy.slowWindow.count()) / 1000);
    auto received = std::make_shared<qint64>(0);
    auto counted = std::make_shared<qint64>(0);
    QObject::connect(reply, &QNetworkReply::downloadProgress, reply,
                     [received](qint64 bytes, qint64) { *received = bytes; });
    auto *timer = new QTimer(reply);
    QObject::connect(reply, &QNetworkReply::finished, timer, &QTimer::stop);
    QObject::connect(timer, &QTimer::timeout, reply,
                     [timer, received, counted, least, tooSlow = std::move(tooSlow)] {
                         if (*received - *counted < least) {
                             timer->stop();
                             tooSlow();
                             return;
                         }
                         *counted = *received;
                     });
    timer->start(policy.slowWindow);
}

void ZAVURLSessionTask::finish()
{
    auto keep = shared_from_this();
    m_finished = true;
    auto session = std::move(m_session);
    if (session)
        session->taskDidFinish(this);
}

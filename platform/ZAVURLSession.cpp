#include "ZAVURLSession.h"

#include "ZAVLog.h"
#include "ZAVURLSessionDownloadTask.h"

#include <QNetworkAccessManager>
#include <QNetworkProxyFactory>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <mutex>

namespace {

std::mutex g_registryMutex;
std::vector<std::weak_ptr<ZAVURLSession>> g_registry;

void registerSession(const std::shared_ptr<ZAVURLSession> &session)
{
    std::lock_guard lock(g_registryMutex);
    std::erase_if(g_registry, [](const auto &weak) { return weak.expired(); });
    g_registry.push_back(session);
}

bool isRedirectStatus(const QNetworkReply &reply)
{
    const int status = reply.attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    return status >= 300 && status <= 399;
}

} // namespace

// Delegate defaults: nothing.
void ZAVURLSessionDelegate::URLSession(ZAVURLSession &, const ZAVOptionalError &) {}
void ZAVURLSessionDelegate::URLSession(ZAVURLSession &, ZAVURLSessionTask &,
                                       const ZAVOptionalError &)
{
}
void ZAVURLSessionDelegate::URLSession(ZAVURLSession &, ZAVURLSessionDownloadTask &, int64_t,
                                       int64_t, int64_t)
{
}
void ZAVURLSessionDelegate::URLSession(ZAVURLSession &, ZAVURLSessionDownloadTask &,
                                       const QByteArray &)
{
}
void ZAVURLSessionDelegate::URLSession(ZAVURLSession &, ZAVURLSessionDownloadTask &,
                                       const ZAVDownloadRetry &)
{
}

ZAVError ZAVURLErrorMake(int code, const QString &description)
{
    return ZAVError{QString::fromLatin1(ZAVURLErrorDomain), code, description};
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
        return ZAVURLErrorMake(ZAVURLErrorTimedOut, QStringLiteral("The request timed out."));
    QString text;
    switch (reply.error()) {
    case QNetworkReply::ConnectionRefusedError:
        text = QStringLiteral("Could not connect to the server.");
        break;
    case QNetworkReply::HostNotFoundError:
        text = QStringLiteral("A server with the specified hostname could not be found.");
        break;
    case QNetworkReply::TimeoutError:
        text = QStringLiteral("The request timed out.");
        break;
    case QNetworkReply::RemoteHostClosedError:
        text = QStringLiteral("The network connection was lost.");
        break;
    case QNetworkReply::OperationCanceledError:
        return ZAVURLErrorMake(ZAVURLErrorCancelled, QStringLiteral("The download was cancelled."));
    case QNetworkReply::SslHandshakeFailedError:
        text = QStringLiteral("A secure connection to the server could not be made.");
        break;
    case QNetworkReply::TooManyRedirectsError:
        text = QStringLiteral("The server sent too many redirects.");
        break;
    case QNetworkReply::InsecureRedirectError:
        text = QStringLiteral("The server sent an unsupported redirect (from https to http).");
        break;
    case QNetworkReply::ProtocolUnknownError:
        // Our own requests are http(s) only, so an unknown scheme came from a redirect.
        text = isRedirectStatus(reply)
                   ? QStringLiteral("The server sent an unsupported redirect (to another scheme).")
                   : QStringLiteral("The address uses an unsupported scheme.");
        break;
    case QNetworkReply::NetworkSessionFailedError:
    case QNetworkReply::TemporaryNetworkFailureError:
        text = QStringLiteral("The Internet connection appears to be offline.");
        break;
    default:
        text = reply.errorString();
        if (!text.endsWith(u'.'))
            text += u'.';
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
    return m_session->requestWithURL(url);
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
    const qint64 least = std::max<qint64>(
        1, policy.slowBytesPerSecond * qint64(policy.slowWindow.count()) / 1000);
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
            m_cancelled ? ZAVURLErrorMake(ZAVURLErrorCancelled, QStringLiteral("The download was cancelled."))
                        : ZAVURLErrorMake(ZAVURLErrorBadURL, QStringLiteral("The address is not a valid URL."));
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
                 ZAVURLErrorMake(ZAVURLErrorCancelled, QStringLiteral("The download was cancelled.")));
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
                 ZAVURLErrorMake(ZAVURLErrorTimedOut, QStringLiteral("The request timed out.")));
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
        error = ZAVURLErrorMake(ZAVURLErrorTimedOut, QStringLiteral("The request timed out."));
    } else if (m_tooSlow && !m_cancelled) {
        error = ZAVURLErrorMake(ZAVURLErrorNetworkConnectionLost,
                                QStringLiteral("The network connection was lost."));
    } else if (m_tooLarge) {
        error = ZAVURLErrorMake(ZAVURLErrorDataLengthExceedsMaximum,
                                QStringLiteral("The server sent more data than expected."));
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

// ---- session ------------------------------------------------------------------------------

ZAVURLSession::ZAVURLSession(const ZAVURLSessionConfiguration &configuration,
                             std::shared_ptr<ZAVURLSessionDelegate> delegate)
    : m_configuration(configuration), m_delegate(std::move(delegate))
{
    static std::once_flag proxies;
    std::call_once(proxies, [] { QNetworkProxyFactory::setUseSystemConfiguration(true); });

    m_thread = new QThread;
    m_thread->setObjectName(QStringLiteral("ZAVURLSession"));
    m_context = new QObject;
    m_context->moveToThread(m_thread);
    m_thread->start();
}

ZAVURLSession::~ZAVURLSession()
{
    if (QThread::currentThread() == m_thread) {
        // The last holder let go on our own thread: it cannot wait for itself. The thread has
        // been asked to quit; its object goes once it has finished.
        QThread *thread = m_thread;
        m_context->deleteLater();
        QObject::connect(thread, &QThread::finished, thread, &QObject::deleteLater);
        thread->quit();
        return;
    }
    m_thread->quit();
    m_thread->wait();
    delete m_context; // its thread has finished: nothing can be delivered to it any more
    delete m_thread;
}

std::shared_ptr<ZAVURLSession> ZAVURLSession::make(const ZAVURLSessionConfiguration &configuration,
                                                   std::shared_ptr<ZAVURLSessionDelegate> delegate)
{
    std::shared_ptr<ZAVURLSession> session(new ZAVURLSession(configuration, std::move(delegate)));
    session->m_self = session;
    registerSession(session);
    return session;
}

std::shared_ptr<ZAVURLSession>
ZAVURLSession::sessionWithConfiguration(const ZAVURLSessionConfiguration &configuration)
{
    return make(configuration, nullptr);
}

std::shared_ptr<ZAVURLSession>
ZAVURLSession::sessionWithConfiguration(const ZAVURLSessionConfiguration &configuration,
                                        std::shared_ptr<ZAVURLSessionDelegate> delegate,
                                        std::nullptr_t)
{
    return make(configuration, std::move(delegate));
}

bool ZAVURLSession::isOnSessionThread() const
{
    return QThread::currentThread() == m_thread;
}

void ZAVURLSession::performOnSessionThread(std::function<void()> work)
{
    // Once the thread has ended, work would only pile up on an object no loop serves.
    if (m_ended.load())
        return;
    QMetaObject::invokeMethod(m_context, std::move(work), Qt::QueuedConnection);
}

QNetworkAccessManager *ZAVURLSession::networkAccessManager()
{
    Q_ASSERT(isOnSessionThread());
    if (!m_manager) {
        m_manager = new QNetworkAccessManager;
        m_manager->setAutoDeleteReplies(false);
    }
    return m_manager;
}

QNetworkRequest ZAVURLSession::requestWithURL(const QUrl &url) const
{
    QNetworkRequest request(url);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute,
                         m_configuration.requestCachePolicy ==
                                 ZAVURLRequestCachePolicy::ReloadIgnoringLocalCacheData
                             ? QNetworkRequest::AlwaysNetwork
                             : QNetworkRequest::PreferNetwork);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::NoLessSafeRedirectPolicy);
    request.setTransferTimeout(int(m_configuration.timeoutIntervalForRequest.count()));
    request.setHeader(QNetworkRequest::UserAgentHeader, QByteArrayLiteral("zav-installer/1.0"));
    return request;
}

std::shared_ptr<ZAVURLSessionDownloadTask> ZAVURLSession::downloadTaskWithURL(const QUrl &url)
{
    auto task = std::make_shared<ZAVURLSessionDownloadTask>(shared_from_this(), url);
    addTask(task);
    return task;
}

std::shared_ptr<ZAVURLSessionDataTask> ZAVURLSession::dataTaskWithURL(const QUrl &url,
                                                                      ZAVDataTaskCompletion completion)
{
    auto task = std::make_shared<ZAVURLSessionDataTask>(shared_from_this(), url,
                                                        std::move(completion));
    addTask(task);
    return task;
}

void ZAVURLSession::addTask(const std::shared_ptr<ZAVURLSessionTask> &task)
{
    auto self = shared_from_this();
    performOnSessionThread([self, task] {
        if (self->m_invalidated) {
            // A task made after invalidation never runs; it ends at once as cancelled.
            task->m_cancelled = true;
        }
        self->m_tasks.push_back(task);
    });
}

void ZAVURLSession::taskDidFinish(ZAVURLSessionTask *task)
{
    Q_ASSERT(isOnSessionThread());
    std::erase_if(m_tasks, [task](const auto &t) { return t.get() == task; });
    finishInvalidationIfIdle();
}

void ZAVURLSession::finishTasksAndInvalidate()
{
    invalidate(false);
}

void ZAVURLSession::invalidateAndCancel()
{
    invalidate(true);
}

void ZAVURLSession::invalidate(bool cancel)
{
    auto self = shared_from_this();
    performOnSessionThread([self, cancel] {
        self->m_invalidated = true;
        auto tasks = self->m_tasks;
        for (const auto &task : tasks) {
            if (!task->m_started) {
                // Never resumed: it ends here, as cancelled, so it cannot keep the session alive.
                task->m_cancelled = true;
                task->m_started = true;
                task->start();
            } else if (cancel && !task->m_finished) {
                task->m_cancelled = true;
                task->abort();
            }
        }
        self->finishInvalidationIfIdle();
    });
}

void ZAVURLSession::finishInvalidationIfIdle()
{
    Q_ASSERT(isOnSessionThread());
    if (!m_invalidated || m_notified || !m_tasks.empty())
        return;
    m_notified = true;
    if (auto delegate = std::move(m_delegate))
        delegate->URLSession(*this, ZAVOptionalError{});
    if (m_manager) {
        m_manager->deleteLater();
        m_manager = nullptr;
    }
    // The context object stays until the session goes: a late invalidateAndCancel (the
    // application quitting with the session's owner still alive) must find it.
    m_ended = true;
    m_thread->quit();
    auto self = std::move(m_self); // may be the last reference: nothing after this line
}

void ZAVURLSession::waitUntilInvalidated()
{
    Q_ASSERT(!isOnSessionThread());
    m_thread->wait(5000);
}

void ZAVURLSession::shutdownAll()
{
    std::vector<std::shared_ptr<ZAVURLSession>> live;
    {
        std::lock_guard lock(g_registryMutex);
        for (const auto &weak : g_registry)
            if (auto session = weak.lock())
                live.push_back(session);
        g_registry.clear();
    }
    for (const auto &session : live)
        session->invalidateAndCancel();
    for (const auto &session : live)
        session->waitUntilInvalidated();
}

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

std::shared_ptr<ZAVURLSessionDataTask>
ZAVURLSession::dataTaskWithURL(const QUrl &url, ZAVDataTaskCompletion completion)
{
    auto task =
        std::make_shared<ZAVURLSessionDataTask>(shared_from_this(), url, std::move(completion));
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

#pragma once

#include "ZAVError.h"
#include "ZAVRetryPolicy.h"

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QUrl>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

class QNetworkAccessManager;
class QNetworkReply;
class QNetworkRequest;
class QObject;
class QThread;
class ZAVURLSession;
class ZAVURLSessionTask;
class ZAVURLSessionDownloadTask;

// Error domain of every transport failure a session reports. Codes are QNetworkReply's, or
// one of the session's own below.
inline constexpr auto ZAVURLErrorDomain = "ZAVURLErrorDomain";
enum ZAVURLErrorCode : int {
    ZAVURLErrorCancelled = -999,
    ZAVURLErrorTimedOut = -1001,
    ZAVURLErrorNetworkConnectionLost = -1005,
    ZAVURLErrorBadServerResponse = -1011, // an HTTP status outside 200-299
    ZAVURLErrorDataLengthExceedsMaximum = -1103,
    ZAVURLErrorCannotCreateFile = -3000,
    ZAVURLErrorCannotWriteToFile = -3003,
    ZAVURLErrorCannotMoveFile = -3005,
    ZAVURLErrorDownloadDamaged = -3007, // not the body the caller expected (size, SHA-256)
    ZAVURLErrorNotEnoughSpace = -3010,  // the file system cannot hold the announced body
    ZAVURLErrorBadURL = -1000,
};

enum class ZAVURLRequestCachePolicy {
    UseProtocolCachePolicy = 0,
    ReloadIgnoringLocalCacheData = 1, // always ask the server, never answer from a cache
};

struct ZAVURLSessionConfiguration {
    // The defaults: protocol cache policy, the user's proxy settings, redirects followed (never
    // from https to http), TLS verified against the system's certificates, and a transfer that
    // receives nothing for 60 s fails with a time-out.
    static ZAVURLSessionConfiguration defaultSessionConfiguration() { return {}; }

    ZAVURLRequestCachePolicy requestCachePolicy = ZAVURLRequestCachePolicy::UseProtocolCachePolicy;
    std::chrono::milliseconds timeoutIntervalForRequest{60'000};
    // A data task whose body grows past this many bytes fails instead of buffering on; 0 = none.
    qint64 maximumDataTaskBodySize = 0;
};

// A download task lost its connection and will ask again: attempt `attempt` of `attempts`
// starts after `delay`; `error` is what ended the last piece.
struct ZAVDownloadRetry {
    int attempt = 0;
    int attempts = 0;
    std::chrono::milliseconds delay{0};
    ZAVError error;
};

// What the server answered: the URL after redirects, the status and the announced length
// (-1 when none was announced).
struct ZAVHTTPURLResponse {
    QUrl url;
    int statusCode = 0;
    qint64 expectedContentLength = -1;
};

// The delegate of a session. Every call runs on the session's own serial thread, one at a
// time, in the order of events. The session holds its delegate strongly until it has
// delivered the invalidation notice, then lets go of it.
class ZAVURLSessionDelegate {
public:
    virtual ~ZAVURLSessionDelegate() = default;

    // After invalidateAndCancel or finishTasksAndInvalidate, once every task has ended:
    // exactly one notice, with no error. Last call the session makes.
    virtual void URLSession(ZAVURLSession &session, const ZAVOptionalError &error);
    // A task has ended: no error on success. For a download task, the finished file has been
    // handed over before this call.
    virtual void URLSession(ZAVURLSession &session, ZAVURLSessionTask &task,
                            const ZAVOptionalError &error);
    // Download progress: bytes in this step, bytes so far, total announced or -1.
    virtual void URLSession(ZAVURLSession &session, ZAVURLSessionDownloadTask &downloadTask,
                            int64_t bytesWritten, int64_t totalBytesWritten,
                            int64_t totalBytesExpectedToWrite);
    // A download lost its connection after bytes had arrived and will resume after a wait.
    virtual void URLSession(ZAVURLSession &session, ZAVURLSessionDownloadTask &downloadTask,
                            const ZAVDownloadRetry &retry);
    // The download is complete in a temporary file at `location` (a local path, as bytes for
    // the system calls). The file is deleted when this call returns, unless the delegate has
    // moved it away.
    virtual void URLSession(ZAVURLSession &session, ZAVURLSessionDownloadTask &downloadTask,
                            const QByteArray &location);
};

// Common part of data and download tasks. A task starts suspended; resume() starts it.
// resume and cancel are safe on any thread.
//
// Every task runs under a retry policy (ZAVRetryPolicy.h): a transfer that stays under the
// policy's rate floor for its window ends as a lost connection; a run that passes the policy's
// deadline ends with a time-out (ZAVURLErrorTimedOut), whatever it was doing. Which failures
// are asked again, and how, is each kind of task's own (data tasks fetch again from the start,
// download tasks resume).
class ZAVURLSessionTask : public std::enable_shared_from_this<ZAVURLSessionTask> {
public:
    virtual ~ZAVURLSessionTask();

    void resume();
    void cancel();

    // Before resume(), on the thread that made the task. Data tasks default to no retries,
    // download tasks to ZAVRetryPolicy::packageDownload().
    void setRetryPolicy(const ZAVRetryPolicy &policy) { m_retry = ZAVRetryRun(policy); }
    // Before resume(): header fields sent with every request of the task, besides the session's.
    void setRequestHeaders(QList<QPair<QByteArray, QByteArray>> headers)
    {
        m_headers = std::move(headers);
    }

protected:
    ZAVURLSessionTask(std::shared_ptr<ZAVURLSession> session, QUrl url);

    // Session thread: start the transfer / stop it (cancel) / the run's deadline has passed.
    virtual void start() = 0;
    virtual void abort() = 0;
    virtual void deadlinePassed() = 0;
    void finish();

    // Session thread, for the tasks: the session's network, its request for a URL, its
    // delegate, and a call of `work` after `delay` unless the task has ended by then.
    QNetworkAccessManager *network();
    QNetworkRequest request(const QUrl &url) const;
    std::shared_ptr<ZAVURLSessionDelegate> delegate() const;
    void after(std::chrono::milliseconds delay, std::function<void()> work);
    // Starts the run's clock and its deadline (once).
    void startRun();
    // Calls `tooSlow` when `reply` receives less than the policy's floor over a window.
    void watchRate(QNetworkReply *reply, std::function<void()> tooSlow);

    friend class ZAVURLSession;
    std::shared_ptr<ZAVURLSession> m_session;   // session thread: held until the task ends
    const std::weak_ptr<ZAVURLSession> m_owner; // any thread: where to post resume and cancel
    QUrl m_url;
    QList<QPair<QByteArray, QByteArray>> m_headers;
    ZAVRetryRun m_retry;
    bool m_started = false;
    bool m_cancelled = false;
    bool m_finished = false;
};

using ZAVDataTaskCompletion = std::function<void(const std::optional<QByteArray> &body,
                                                 const std::optional<ZAVHTTPURLResponse> &response,
                                                 const ZAVOptionalError &error)>;

// A GET whose body is collected in memory. The completion runs once, on the session's thread:
// with the body (present even when empty) and the response when the server answered with any
// status; with no body, maybe no response, and the error when the transfer failed.
class ZAVURLSessionDataTask final : public ZAVURLSessionTask {
public:
    ZAVURLSessionDataTask(std::shared_ptr<ZAVURLSession> session, QUrl url,
                          ZAVDataTaskCompletion completion);

private:
    void start() override;
    void abort() override;
    void deadlinePassed() override;
    void send();
    void replyFinished();
    void complete(const std::optional<QByteArray> &body,
                  const std::optional<ZAVHTTPURLResponse> &response, const ZAVOptionalError &error);

    ZAVDataTaskCompletion m_completion;
    QNetworkReply *m_reply = nullptr;
    bool m_tooLarge = false;
    bool m_tooSlow = false;
    bool m_deadlinePassed = false;
    bool m_waitingToRetry = false;
};

// A URL session: one worker thread of its own with its own event loop, on which every
// transfer runs and every completion and delegate call is made (the session's serial queue).
// Made on the main thread. The session keeps itself (and its delegate) alive until it has been
// invalidated and its last task has ended; then its thread stops. A data task whose transfer
// fails for want of a network is fetched again from the start under its retry policy
// (ZAVURLSessionTask::setRetryPolicy); an answer of the server is never asked again.
class ZAVURLSession : public std::enable_shared_from_this<ZAVURLSession> {
public:
    ~ZAVURLSession();

    // A session without a delegate.
    static std::shared_ptr<ZAVURLSession>
    sessionWithConfiguration(const ZAVURLSessionConfiguration &configuration);
    // A session that calls `delegate` on a serial queue of its own making (no queue is given).
    static std::shared_ptr<ZAVURLSession>
    sessionWithConfiguration(const ZAVURLSessionConfiguration &configuration,
                             std::shared_ptr<ZAVURLSessionDelegate> delegate,
                             std::nullptr_t delegateQueue);

    std::shared_ptr<ZAVURLSessionDataTask> dataTaskWithURL(const QUrl &url,
                                                           ZAVDataTaskCompletion completion);
    // A suspended download task (ZAVURLSessionDownloadTask.h) that reports to the session's
    // delegate. Any thread.
    std::shared_ptr<ZAVURLSessionDownloadTask> downloadTaskWithURL(const QUrl &url);

    // Lets running tasks end, refuses new ones, then delivers the invalidation notice.
    void finishTasksAndInvalidate();
    // Cancels running tasks (each ends with a cancellation error), then the notice.
    // After the notice the session does nothing more: a later invalidation, task or resume
    // is ignored.
    void invalidateAndCancel();

    // Main thread: waits until the session has delivered its invalidation notice and its
    // thread has stopped (at most 5 s). Call after invalidateAndCancel.
    void waitUntilInvalidated();

    const ZAVURLSessionConfiguration &configuration() const { return m_configuration; }
    bool isOnSessionThread() const;

    // Application shutdown: cancels every live session and waits until their threads stop.
    static void shutdownAll();

private:
    // For tasks, on the session thread.
    QNetworkAccessManager *networkAccessManager();
    // A GET of `url` with the session's configuration: cache policy, time-out, redirects.
    QNetworkRequest requestWithURL(const QUrl &url) const;
    void performOnSessionThread(std::function<void()> work);

    ZAVURLSession(const ZAVURLSessionConfiguration &configuration,
                  std::shared_ptr<ZAVURLSessionDelegate> delegate);
    static std::shared_ptr<ZAVURLSession> make(const ZAVURLSessionConfiguration &configuration,
                                               std::shared_ptr<ZAVURLSessionDelegate> delegate);
    void addTask(const std::shared_ptr<ZAVURLSessionTask> &task);
    void taskDidFinish(ZAVURLSessionTask *task);
    void invalidate(bool cancel);
    void finishInvalidationIfIdle();

    friend class ZAVURLSessionTask;

    ZAVURLSessionConfiguration m_configuration;
    std::shared_ptr<ZAVURLSessionDelegate> m_delegate; // until the invalidation notice
    std::shared_ptr<ZAVURLSession> m_self;             // until invalidated and idle
    QThread *m_thread = nullptr;
    QObject *m_context = nullptr;     // lives on m_thread; deleted with the session
    std::atomic<bool> m_ended{false}; // the invalidation notice is out and the thread stops
    QNetworkAccessManager *m_manager = nullptr;
    // Session thread only:
    std::vector<std::shared_ptr<ZAVURLSessionTask>> m_tasks;
    bool m_invalidated = false;
    bool m_notified = false;
};

// Turns a failed transfer into the session's error value: QNetworkReply's code, and a
// sentence a user can read ("Could not connect to the server.").
ZAVError ZAVURLErrorFromReply(const QNetworkReply &reply, bool timedOut);
// True when `reply` ended because a redirect could not be followed (a loop or too many, or
// one to an insecure or unsupported address); the status it carries is then the redirect's.
bool ZAVURLReplyFailedRedirect(const QNetworkReply &reply);
ZAVError ZAVURLErrorMake(int code, const ZAVUserText &description);

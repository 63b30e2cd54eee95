#pragma once

#include "feed/ZAVFeedData.h"
#include "platform/ZAVError.h"
#include "platform/ZAVRetryPolicy.h"
#include "platform/ZAVURLSession.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

// Called once on the main thread: the installer file path (decoded, for display: the manager
// itself uses getInstallerPath()'s bytes) and no error, or no path and the error.
using ZAVDownloadCompletion =
    std::function<void(const std::optional<QString> &path, const ZAVOptionalError &error)>;
// Called on the main thread for every progress report: the percentage of the download,
// passed on as computed (negative when the server announces no length).
using ZAVProgressBlock = std::function<void(double)>;
// Called once on the main thread with the result of the installation.
using ZAVInstallCompletion = std::function<void(const ZAVOptionalError &)>;
// Called on the main thread with true when the download has to wait for another installation
// to finish with the temporary directory, and with false when the wait is over.
using ZAVWaitingBlock = std::function<void(bool waiting)>;

class ZAVFileLock;
class QDeadlineTimer;
class QUrl;

// The transfer as the window describes it: bytes in the file so far and the announced total
// (-1 when unknown); while a lost connection waits to be retried, which attempt of how many
// starts after how many seconds (retryAttempt 0: transferring).
struct ZAVTransferState {
    qint64 bytesWritten = 0;
    qint64 totalBytes = -1;
    int retryAttempt = 0;
    int retryAttempts = 0;
    int retryDelaySeconds = 0;
};
// Called on the main thread for every progress report and every retry wait.
using ZAVTransferBlock = std::function<void(const ZAVTransferState &)>;

// How a manager works, fixed when it is made: the package download's retries and rate floor,
// how long it waits for another run's lock, how long for a running copy of the product that was
// asked to quit, and the package installer it runs (empty: zav-pkg beside the running program).
// Tests pass their own; nothing of it is process-wide.
struct ZAVInstallationOptions {
    ZAVRetryPolicy retryPolicy = ZAVRetryPolicy::packageDownload();
    std::chrono::milliseconds lockWait{60'000};
    std::chrono::milliseconds quitWait{15'000};
    QByteArray packageInstallerPath;
};

// Carries the product's package from the server to the package installer. The window makes one
// for the feed record and keeps it for the rest of the run.
//
// Ownership: the manager holds the feed record, its URL session and its download task. The
// session holds the manager (its delegate) until it has been invalidated and has delivered its
// invalidation notice; the manager invalidates it right after delivering the download result,
// which breaks that cycle. Every closure the manager posts to the main thread holds the manager
// until it has run.
//
// Threads: the handler properties are read and written on the main thread only. The four
// delegate operations run on the session's own thread. The feed record never changes and is
// read from both.
class ZAVInstallationManager : public ZAVURLSessionDelegate,
                               public std::enable_shared_from_this<ZAVInstallationManager> {
public:
    // Main thread. A manager for `feedData` with a URL session of its own (default
    // configuration, itself as delegate, the session's own serial thread), working as
    // `options` say. Starts nothing.
    static std::shared_ptr<ZAVInstallationManager>
    initWithFeedData(std::shared_ptr<const ZAVFeedData> feedData,
                     const ZAVInstallationOptions &options = {});

    ~ZAVInstallationManager() override;

    // Main thread; returns at once, called once per manager. Keeps both handlers, takes the
    // lock of the user's temporary directory (a flock on the directory itself), which it holds
    // until the installation's result or a download failure has been delivered, so that two runs
    // never share the installer file. While another run holds it, the waiting handler hears
    // true, the lock is tried again every 100 ms without blocking the thread, and after
    // options.lockWait (a minute) the download fails. With the lock: removes what runs that
    // ended left (partial downloads and packages, ZAVRemoveLeftoversOfEndedRuns), logs "Start
    // download: <pkgUrl>" and starts the download. Later, on the main thread: `progress` for every
    // progress report, then `completion` exactly once. Every failure reaches `completion` as no
    // path and an error, and leaves nothing at the installer file path: a pkgUrl that is missing or
    // not an absolute http or https URL (no request is made), a transfer failure, an HTTP status
    // outside 200-299, a failed redirect, a body cut short, a file that cannot be written or
    // moved into place, the lock not had in time, a body other than the feed pins (pkgSize,
    // pkgSha256: "The downloaded package is damaged or was altered. Nothing was installed."),
    // which is stopped at the first byte past pkgSize.
    // A connection lost after bytes have arrived is first retried and resumed (the rules are
    // the download task's, ZAVURLSessionDownloadTask.h, under options.retryPolicy: five retries
    // in all, after 1, 2, 4, 8 and 16 s), each wait told to the transfer handler; a package
    // whose known size does not fit the temporary directory's or the home's file system fails
    // before the first byte. The download's errors reach `completion` in the installer's
    // words (installerError).
    void startDownloadWithCompletion(ZAVDownloadCompletion completion, ZAVProgressBlock progress);

    // Any thread. The user's temporary directory followed by "tmp-" and a name made from the
    // last segment of pkgUrl's path: query and fragment left out, a trailing "/" ignored,
    // percent-decoded with "/" and control characters made "_", at most 120 bytes (a longer
    // name keeps its start and its extension), "package" for an empty, "." or ".." segment.
    // Bytes, for the system calls. Computed and logged ("path:<path>") at every call. Empty
    // when the temporary directory is refused; nothing is then created or removed there.
    QByteArray getInstallerPath() const;

    // Any thread. Removes whatever is at the installer file path: a file, a directory, or a
    // link (the link itself, never what it points to). Failures are not reported.
    void removeInstallerIfExists() const;

    // Any thread; returns at once. Posts the result to the main thread, where the first result
    // that finds a download-completion handler is delivered: the handler is called, cleared,
    // and the session is invalidated and its tasks cancelled. Later results are dropped.
    void reportCompletionWithURL(const std::optional<QString> &path, const ZAVOptionalError &error);

    // Delegate operations, on the session's thread.
    // The session has become invalid: logs "Failed with error: <error>", then reports no path
    // and that error (dropped when the result has already been delivered, or when the session
    // is one a fall-back from a delta replaced).
    void URLSession(ZAVURLSession &session, const ZAVOptionalError &error) override;
    // The task has ended. Without an error nothing happens (the finished file has already been
    // reported); with one, reports it and logs "pkg failed with error <error>".
    void URLSession(ZAVURLSession &session, ZAVURLSessionTask &task,
                    const ZAVOptionalError &error) override;
    // Progress: posts (totalBytesWritten / totalBytesExpectedToWrite) x 100.0 to the progress
    // handler, unclamped: -1 for an unknown length gives negative values; and the counts to
    // the transfer handler.
    void URLSession(ZAVURLSession &session, ZAVURLSessionDownloadTask &downloadTask,
                    int64_t bytesWritten, int64_t totalBytesWritten,
                    int64_t totalBytesExpectedToWrite) override;
    // A lost connection will be retried: posts the wait to the transfer handler and logs it.
    void URLSession(ZAVURLSession &session, ZAVURLSessionDownloadTask &downloadTask,
                    const ZAVDownloadRetry &retry) override;
    // The finished file: renamed onto the installer file path (replacing whatever is there,
    // a planted link included, without following it), then the path is reported. A failed
    // rename is reported as an error instead, and the file is deleted by the session.
    void URLSession(ZAVURLSession &session, ZAVURLSessionDownloadTask &downloadTask,
                    const QByteArray &location) override;

    // ---- Installation (ZAVInstallationManagerInstall.cpp) ----

    // Main thread, once, after the download has been delivered. Keeps `completion`, offers to
    // quit a running copy of the product (a modal alert, on this thread, when one runs) and
    // returns. When the copy was sent the quit request, the installer run waits, without
    // blocking the thread, until that copy has exited or options.quitWait (15 s) has passed,
    // whichever comes first; a copy still running then is left running and the package is
    // installed all the same. The quit-wait handler hears true when that wait begins and false
    // when it ends. Otherwise the installer run is queued at once. `completion` is called once, on
    // the main thread, after the package installer has exited: no error when it exited with status
    // 0 (the package has then been deleted), packageInstallerError() otherwise (the package is
    // deleted as well: a failed run leaves nothing). While zav-pkg runs, SIGTERM, SIGINT and SIGHUP
    // are held back (ZAVHoldTermination): the window winds the run down once zav-pkg has ended.
    // From the moment the package is in place until it is deleted, a signal or an exit that ends
    // the run removes it (ZAVRemoveOnTermination).
    void startInstallWithCompletion(ZAVInstallCompletion completion);
    // Main thread; returns at once. Runs the package installer on the background queue:
    // "<zav-pkg> -dumplog -verbose -pkg <installer path> -target CurrentUserHomeDirectory
    // -id <bundleId>", the last two only when the feed names an id. When the file is a delta
    // (usesDelta()): "-delta <installer path>" pinned by the delta's -sha256 and -size, with
    // -tree-sha256 and -package-sha256 from the feed; when zav-pkg answers that the delta does
    // not apply here (kDeltaDoesNotApplyStatus), the full package is downloaded (by a new
    // session, to the same path, under the same lock) and installed instead, once; a log line
    // says why.
    void runInstaller();
    // Background thread. Runs the program `args[0]` by its path, with `args` as its argument
    // vector (stdio inherited), and waits for it. No shell or env stands between: a path with
    // "=", blanks or bytes that are not UTF-8 reaches the program as it is. The exit status; a
    // child that could not be started, or that a signal ended, gives a non-zero result (-1, or
    // 128 + the signal), never 0. With `lastErrorLine`, the child's standard error is passed on
    // through a pipe and the last line it wrote there is stored.
    int64_t runShellWithArgs(const QList<QByteArray> &args, QByteArray *lastErrorLine = nullptr);
    // Any thread; returns at once. Delivers `error` to the install-completion handler on the
    // main thread, then clears the handler; dropped when none is stored.
    void reportInstallCompletionWithError(const ZAVOptionalError &error);

    // The one error the installer makes itself: domain "some_domain", code 100,
    // "Installation could not be completed."
    static ZAVError installationError();
    // zav-pkg's exit status when the product cannot start on this computer.
    static constexpr int kCannotRunStatus = 6;
    // zav-pkg's exit status when a delta cannot make the new version from the installed one.
    static constexpr int kDeltaDoesNotApplyStatus = 7;
    // The delta the download takes instead of the package: the feed offers one from the
    // package the installed product's receipt names (in the current user's home) and pins the
    // tree it must make; nullptr otherwise. Any thread.
    const ZAVFeedData::Delta *chooseDelta() const;
    // Whether the file downloaded (or being downloaded) is a delta. Any thread.
    bool usesDelta() const { return m_delta.load() != nullptr; }
    // What a failed zav-pkg run gives the window: for status 6 with a last line on standard
    // error "zav-pkg: <sentence>", domain "zav-pkg", code 6 and the sentence (zav-pkg makes it:
    // "Demo Viewer cannot run on this computer: it needs libfoo.so.3, which is not
    // installed."); installationError() otherwise.
    static ZAVError packageInstallerError(int64_t status, const QByteArray &lastErrorLine);
    // The package installer: options.packageInstallerPath, else zav-pkg beside the running
    // program (as bytes from /proc/self/exe). Any thread.
    QByteArray packageInstallerPath() const;
    // The download's error as the user reads it: "The package could not be saved (...)",
    // "The package could not be downloaded (HTTP 404).", "The downloaded package is damaged or
    // was altered. Nothing was installed."; the transport's own sentence otherwise. Session
    // thread, during the task's completion call.
    static ZAVError installerError(const ZAVError &error, const ZAVURLSessionDownloadTask *task);

    // Properties. feedData is set at creation and never changes; backgroundSession too, except
    // that a fall-back from a delta that zav-pkg could not apply makes a new one (main thread).
    const std::shared_ptr<const ZAVFeedData> &feedData() const { return m_feedData; }
    const std::shared_ptr<ZAVURLSession> &backgroundSession() const { return m_backgroundSession; }
    // Main thread.
    const std::shared_ptr<ZAVURLSessionDownloadTask> &downloadTask() const;
    void setDownloadTask(std::shared_ptr<ZAVURLSessionDownloadTask> task);
    // Main thread. Cleared right after it has been called.
    ZAVDownloadCompletion downloadCompletion() const;
    void setDownloadCompletion(ZAVDownloadCompletion completion);
    // Main thread. Kept until the manager goes.
    ZAVProgressBlock progressBlock() const;
    void setProgressBlock(ZAVProgressBlock progress);
    // Main thread. Kept until the manager goes; set before the download starts.
    ZAVTransferBlock transferBlock() const;
    void setTransferBlock(ZAVTransferBlock transfer);
    // Main thread. Ends a download under way: its transfer stops and every file it wrote is
    // removed before this returns. The completion is not called. Nothing happens once the
    // download has been delivered.
    void cancelDownload();
    // Main thread. Kept for the installation.
    ZAVInstallCompletion installCompletion() const;
    void setInstallCompletion(ZAVInstallCompletion completion);
    // Main thread. Set before the download starts; kept until the manager goes.
    void setWaitingBlock(ZAVWaitingBlock waiting);
    // Main thread. Set before the installation starts; kept until the manager goes.
    void setQuitWaitingBlock(ZAVWaitingBlock waiting) { m_quitWaitingBlock = std::move(waiting); }

private:
    struct Token {};

public:
    ZAVInstallationManager(Token, std::shared_ptr<const ZAVFeedData> feedData,
                           ZAVInstallationOptions options);

private:
    // Main thread: the steps of startDownloadWithCompletion once the address is accepted.
    void waitForLock(const QUrl &url, const QDeadlineTimer &deadline);
    void failToLock(const ZAVError &error);
    void beginDownload(const QUrl &url);
    // Main thread: the download task for `url`, pinned as the feed pins the package (or, for a
    // delta, as the feed pins the delta), with the package's mirrors.
    void startTask(const QUrl &url);
    // The full package instead of the delta, once: after a failed delta download (session
    // thread) or a delta zav-pkg could not apply (background thread). Logs `why`.
    void fallBackToPackage(const QString &why, bool installAfterwards);

    const std::shared_ptr<const ZAVFeedData> m_feedData;
    const ZAVInstallationOptions m_options;
    const std::unique_ptr<ZAVFileLock> m_lock; // main thread
    // The package's registration for removal at termination, from the moment it is in place
    // until it is deleted; -1 when none. Any thread.
    mutable std::atomic<int> m_packageCleanupSlot{-1};
    // The delta being used, nullptr for the package (from then on, after a fall-back). Points
    // into the feed record, which never changes.
    std::atomic<const ZAVFeedData::Delta *> m_delta{nullptr};
    std::shared_ptr<ZAVURLSession> m_backgroundSession;
    // The session whose notices count: m_backgroundSession, read on the sessions' threads.
    std::atomic<const ZAVURLSession *> m_activeSession{nullptr};
    std::shared_ptr<ZAVURLSessionDownloadTask> m_downloadTask;
    ZAVDownloadCompletion m_downloadCompletion;
    ZAVProgressBlock m_progressBlock;
    ZAVTransferBlock m_transferBlock;
    ZAVInstallCompletion m_installCompletion;
    ZAVWaitingBlock m_waitingBlock;
    ZAVWaitingBlock m_quitWaitingBlock;
};

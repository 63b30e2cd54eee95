#include "ZAVInstallationManager.h"

#include "base/ZAVDirectory.h"
#include "base/ZAVFileReader.h"
#include "base/ZAVRename.h"
#include "base/ZAVUserAppLayout.h"
#include "platform/ZAVDispatch.h"
#include "platform/ZAVFileLock.h"
#include "platform/ZAVLog.h"
#include "platform/ZAVTemporaryDirectory.h"
#include "platform/ZAVTerminationCleanup.h"
#include "platform/ZAVURLSessionDownloadTask.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTimer>
#include <QUrl>

#include <fcntl.h>

#include <cerrno>
#include <filesystem>
#include <system_error>

namespace {

// How often a run waiting for another one to finish with the temporary directory looks again.
constexpr int kLockPollMs = 100;
// The longest installer file name, in bytes after "tmp-": far below any file system's limit.
constexpr qsizetype kMaxInstallerNameBytes = 120;

// The last segment of `pkgUrl`'s path, as the installer file's name: the query and fragment
// left out, a trailing "/" ignored, percent-decoded; "/" and control characters (which
// decoding could have made) become "_"; a name too long keeps its start and its extension
// ("Product-1.0.tar.gz"); "package" stands for an empty, "." or ".." segment.
QByteArray installerFileName(const std::optional<QString> &pkgUrl)
{
    QString name;
    if (pkgUrl) {
        const QString path = QUrl(*pkgUrl).path(QUrl::FullyEncoded);
        const QStringList segments = path.split(u'/', Qt::SkipEmptyParts);
        if (!segments.isEmpty())
            name = QUrl::fromPercentEncoding(segments.last().toLatin1());
    }
    for (QChar &c : name) {
        if (c == u'/' || c.unicode() < 0x20 || (c.unicode() >= 0x7f && c.unicode() <= 0x9f))
            c = u'_';
    }
    if (name.isEmpty() || name == u"." || name == u"..")
        return QByteArrayLiteral("package");
    if (name.toUtf8().size() <= kMaxInstallerNameBytes)
        return name.toUtf8();

    static const QRegularExpression extension(QStringLiteral("(\\.tar)?\\.[A-Za-z0-9]{1,8}$"));
    const QRegularExpressionMatch match = extension.match(name);
    const QString suffix = match.hasMatch() ? match.captured() : QString();
    QString stem = name.left(name.size() - suffix.size());
    while (!stem.isEmpty() && (stem.toUtf8().size() + suffix.size() > kMaxInstallerNameBytes ||
                               stem.back().isHighSurrogate()))
        stem.chop(1);
    return (stem + suffix).toUtf8();
}

} // namespace

ZAVInstallationManager::ZAVInstallationManager(Token, std::shared_ptr<const ZAVFeedData> feedData,
                                               ZAVInstallationOptions options)
    : m_feedData(std::move(feedData)), m_options(std::move(options)),
      m_lock(std::make_unique<ZAVFileLock>())
{
}

ZAVInstallationManager::~ZAVInstallationManager() = default;

std::shared_ptr<ZAVInstallationManager>
ZAVInstallationManager::initWithFeedData(std::shared_ptr<const ZAVFeedData> feedData,
                                         const ZAVInstallationOptions &options)
{
    ZAV_ASSERT_MAIN_THREAD();
    auto manager = std::make_shared<ZAVInstallationManager>(Token{}, std::move(feedData), options);
    const ZAVURLSessionConfiguration configuration =
        ZAVURLSessionConfiguration::defaultSessionConfiguration();
    // The session holds the manager as its delegate from here until it is invalidated.
    manager->m_backgroundSession =
        ZAVURLSession::sessionWithConfiguration(configuration, manager, nullptr);
    manager->m_activeSession.store(manager->m_backgroundSession.get());
    return manager;
}

void ZAVInstallationManager::startDownloadWithCompletion(ZAVDownloadCompletion completion,
                                                         ZAVProgressBlock progress)
{
    ZAV_ASSERT_MAIN_THREAD();
    setDownloadCompletion(std::move(completion));
    setProgressBlock(std::move(progress));

    QUrl url;
    if (const ZAVOptionalError error = m_feedData->packageURL(&url)) {
        // No request: the refusal travels the way a failed download does.
        ZAVLogFormat(u"Start download: %@", m_feedData->pkgUrl());
        reportCompletionWithURL(std::nullopt, error);
        ZAVLogFormat(u"pkg failed with error %@", error);
        return;
    }
    const QByteArray directory = ZAVTemporaryDirectory();
    if (directory.isEmpty() || m_lock->tryLock(directory)) {
        // Without a temporary directory the download task reports the failure.
        beginDownload(url);
        return;
    }
    if (m_lock->errorNumber() != EWOULDBLOCK) {
        failToLock(ZAVURLErrorMake(
            ZAVURLErrorCannotCreateFile,
            ZAVTranslate("ZAVInstallationManager", "The temporary folder cannot be used (%1).")
                .arg(qt_error_string(m_lock->errorNumber()))));
        return;
    }
    ZAVLog(QStringLiteral("Waiting for another installation to finish"));
    if (m_waitingBlock)
        m_waitingBlock(true);
    waitForLock(url, QDeadlineTimer(m_options.lockWait));
}

void ZAVInstallationManager::waitForLock(const QUrl &url, const QDeadlineTimer &deadline)
{
    QTimer::singleShot(kLockPollMs, [self = shared_from_this(), url, deadline] {
        const QByteArray directory = ZAVTemporaryDirectory();
        if (directory.isEmpty() || self->m_lock->tryLock(directory)) {
            if (self->m_waitingBlock)
                self->m_waitingBlock(false);
            self->beginDownload(url);
        } else if (self->m_lock->errorNumber() == EWOULDBLOCK && !deadline.hasExpired()) {
            self->waitForLock(url, deadline);
        } else {
            self->failToLock(ZAVURLErrorMake(
                ZAVURLErrorCannotCreateFile,
                ZAVTranslate("ZAVInstallationManager",
                             "Another installation did not finish within a minute.")));
        }
    });
}

void ZAVInstallationManager::failToLock(const ZAVError &error)
{
    ZAVLogFormat(u"Start download: %@", m_feedData->pkgUrl());
    reportCompletionWithURL(std::nullopt, error);
    ZAVLogFormat(u"pkg failed with error %@", error);
}

void ZAVInstallationManager::beginDownload(const QUrl &url)
{
    ZAV_ASSERT_MAIN_THREAD();
    // With the lock, every partial download and package here is a dead run's.
    removeInstallerIfExists();
    if (const int removed = ZAVRemoveLeftoversOfEndedRuns(ZAVTemporaryDirectory()))
        ZAVLogFormat(u"Removed %@ files that ended runs left", QString::number(removed));
    // An update may need only what changed: a delta from the installed package.
    if (const ZAVFeedData::Delta *delta = chooseDelta()) {
        m_delta.store(delta);
        ZAVLogFormat(u"Start download: %@ (a delta from the installed package %@)",
                     delta->url.toString(), delta->fromSha256);
        startTask(delta->url);
        return;
    }
    ZAVLogFormat(u"Start download: %@", m_feedData->pkgUrl());
    startTask(url);
}

void ZAVInstallationManager::startTask(const QUrl &url)
{
    ZAV_ASSERT_MAIN_THREAD();
    setDownloadTask(m_backgroundSession->downloadTaskWithURL(url));
    m_downloadTask->setRetryPolicy(m_options.retryPolicy);
    if (const ZAVFeedData::Delta *delta = m_delta.load()) {
        m_downloadTask->setExpectedContent(delta->size, delta->sha256.toLatin1());
        m_downloadTask->resume();
        return;
    }
    // What the feed pins is checked on the bytes as they arrive.
    if (m_feedData->pkgSize() || m_feedData->pkgSha256())
        m_downloadTask->setExpectedContent(m_feedData->pkgSize().value_or(-1),
                                           m_feedData->pkgSha256().value_or(QString()).toLatin1());
    // Any copy of the pinned bytes will do: the mirrors are tried in order after pkgUrl.
    if (!m_feedData->pkgMirrors().isEmpty())
        m_downloadTask->setMirrors(m_feedData->pkgMirrors());
    m_downloadTask->resume();
}

const ZAVFeedData::Delta *ZAVInstallationManager::chooseDelta() const
{
    const std::optional<QString> &id = m_feedData->bundleId();
    if (m_feedData->pkgDeltas().isEmpty() || !id || id->isEmpty())
        return nullptr;
    const std::optional<ZAVUserAppLayout> layout =
        ZAVUserAppLayout::forApplication(id->toStdString(), ZAVUserAppLayout::currentUserHome());
    if (!layout)
        return nullptr;
    // The receipt zav-pkg wrote names the package the installed version came from.
    const ZAVResult<std::string> text =
        ZAVFileReader::read(layout->receiptPath(), 64 << 20, ZAVFileReader::Links::Refuse);
    if (!text)
        return nullptr;
    const QJsonObject receipt = QJsonDocument::fromJson(QByteArray::fromStdString(*text)).object();
    if (receipt.value(QLatin1String("id")).toString() != *id)
        return nullptr;
    return m_feedData->deltaFrom(receipt.value(QLatin1String("packageSha256")).toString());
}

void ZAVInstallationManager::fallBackToPackage(const QString &why, bool installAfterwards)
{
    ZAVLogFormat(u"%@; downloading the full package instead", why);
    auto self = shared_from_this();
    ZAVDispatchMainAsync([self, installAfterwards] {
        QUrl url;
        if (const ZAVOptionalError error = self->m_feedData->packageURL(&url)) {
            if (installAfterwards)
                self->reportInstallCompletionWithError(error);
            else
                self->reportCompletionWithURL(std::nullopt, error);
            return;
        }
        if (installAfterwards) {
            // The first session delivered the delta and is gone: the package comes through a
            // new one, and the installation goes on when it has arrived.
            self->m_backgroundSession = ZAVURLSession::sessionWithConfiguration(
                ZAVURLSessionConfiguration::defaultSessionConfiguration(), self, nullptr);
            self->m_activeSession.store(self->m_backgroundSession.get());
            self->setDownloadCompletion(
                [self](const std::optional<QString> &, const ZAVOptionalError &error) {
                    if (error)
                        self->reportInstallCompletionWithError(error);
                    else
                        self->runInstaller();
                });
        }
        ZAVLogFormat(u"Start download: %@", self->m_feedData->pkgUrl());
        self->startTask(url);
    });
}

QByteArray ZAVInstallationManager::getInstallerPath() const
{
    const QByteArray directory = ZAVTemporaryDirectory();
    if (directory.isEmpty())
        return {};
    const QByteArray path = directory + "tmp-" + installerFileName(m_feedData->pkgUrl());
    ZAVLogFormat(u"path:%@", QFile::decodeName(path));
    return path;
}

void ZAVInstallationManager::removeInstallerIfExists() const
{
    const QByteArray path = getInstallerPath();
    if (path.isEmpty())
        return;
    std::error_code error;
    // symlink_status: a link counts as something, even when it leads nowhere.
    if (!std::filesystem::exists(std::filesystem::symlink_status(path.toStdString(), error)))
        return;
    const QByteArray again = getInstallerPath();
    if (!again.isEmpty())
        ZAVDirectory::removeTree(AT_FDCWD, again.toStdString()); // follows no link inside
    ZAVKeepOnTermination(m_packageCleanupSlot.exchange(-1));
}

void ZAVInstallationManager::reportCompletionWithURL(const std::optional<QString> &path,
                                                     const ZAVOptionalError &error)
{
    ZAVDispatchMainAsync([self = shared_from_this(), path, error] {
        const ZAVDownloadCompletion completion = self->downloadCompletion();
        if (!completion)
            return;
        if (error)
            self->m_lock->unlock(); // no installation follows
        completion(path, error);
        self->setDownloadCompletion(nullptr);
        self->backgroundSession()->invalidateAndCancel();
    });
}

void ZAVInstallationManager::URLSession(ZAVURLSession &session, const ZAVOptionalError &error)
{
    ZAVLogFormat(u"Failed with error: %@", error);
    // The notice of the session a fall-back to the package replaced says nothing of the
    // package's download.
    if (&session == m_activeSession.load())
        reportCompletionWithURL(std::nullopt, error);
}

void ZAVInstallationManager::URLSession(ZAVURLSession &, ZAVURLSessionTask &task,
                                        const ZAVOptionalError &error)
{
    if (!error)
        return;
    const ZAVError worded =
        installerError(*error, dynamic_cast<const ZAVURLSessionDownloadTask *>(&task));
    // The delta is a shortcut: whatever kept it from arriving whole, the package may still.
    if (error->code != ZAVURLErrorCancelled && m_delta.exchange(nullptr)) {
        fallBackToPackage(QStringLiteral("The delta could not be downloaded (%1)")
                              .arg(worded.localizedDescription),
                          false);
        return;
    }
    reportCompletionWithURL(std::nullopt, worded);
    ZAVLogFormat(u"pkg failed with error %@", worded);
}

ZAVError ZAVInstallationManager::installerError(const ZAVError &error,
                                                const ZAVURLSessionDownloadTask *task)
{
    if (error.domain != QLatin1StringView(ZAVURLErrorDomain))
        return error;
    const int errorNumber = task ? task->fileErrorNumber() : 0;
    ZAVUserText text;
    switch (error.code) {
    case ZAVURLErrorCannotCreateFile:
        text = errorNumber == 0
                   ? ZAVTranslate("ZAVInstallationManager",
                                  "The package could not be saved: the temporary "
                                  "folder cannot be used.")
                   : ZAVTranslate("ZAVInstallationManager", "The package could not be saved (%1).")
                         .arg(qt_error_string(errorNumber));
        break;
    case ZAVURLErrorCannotWriteToFile:
        text = ZAVTranslate("ZAVInstallationManager", "The package could not be saved (%1).")
                   .arg(qt_error_string(errorNumber));
        break;
    case ZAVURLErrorBadServerResponse:
        text =
            ZAVTranslate("ZAVInstallationManager", "The package could not be downloaded (HTTP %1).")
                .arg(QString::number(task ? task->statusCode() : 0));
        break;
    case ZAVURLErrorDownloadDamaged:
        text = ZAVTranslate("ZAVInstallationManager", "The downloaded package is damaged or was "
                                                      "altered. Nothing was installed.");
        break;
    default:
        return error; // the transport's own sentence: "The network connection was lost."
    }
    return ZAVURLErrorMake(int(error.code), text);
}

void ZAVInstallationManager::URLSession(ZAVURLSession &, ZAVURLSessionDownloadTask &, int64_t,
                                        int64_t totalBytesWritten,
                                        int64_t totalBytesExpectedToWrite)
{
    ZAVDispatchMainAsync([self = shared_from_this(), totalBytesWritten, totalBytesExpectedToWrite] {
        const ZAVProgressBlock progress = self->progressBlock();
        if (!progress)
            return;
        const double percent =
            (double(totalBytesWritten) / double(totalBytesExpectedToWrite)) * 100.0;
        progress(percent);
        if (const ZAVTransferBlock transfer = self->transferBlock())
            transfer(ZAVTransferState{totalBytesWritten, totalBytesExpectedToWrite});
    });
}

void ZAVInstallationManager::URLSession(ZAVURLSession &, ZAVURLSessionDownloadTask &,
                                        const ZAVDownloadRetry &retry)
{
    const int seconds = int((retry.delay.count() + 999) / 1000);
    ZAVLog(QStringLiteral("Connection lost (%1); retrying in %2 s (attempt %3 of %4)")
               .arg(retry.error.description())
               .arg(seconds)
               .arg(retry.attempt)
               .arg(retry.attempts));
    ZAVDispatchMainAsync([self = shared_from_this(), retry, seconds] {
        if (const ZAVTransferBlock transfer = self->transferBlock())
            transfer(ZAVTransferState{0, -1, retry.attempt, retry.attempts, seconds});
    });
}

void ZAVInstallationManager::cancelDownload()
{
    ZAV_ASSERT_MAIN_THREAD();
    if (!downloadCompletion())
        return;
    setDownloadCompletion(nullptr);
    // The session's thread ends only after the task has removed its file.
    m_backgroundSession->invalidateAndCancel();
    m_backgroundSession->waitUntilInvalidated();
    removeInstallerIfExists();
}

void ZAVInstallationManager::URLSession(ZAVURLSession &, ZAVURLSessionDownloadTask &,
                                        const QByteArray &location)
{
    const QByteArray destination = getInstallerPath();
    // The rename replaces whatever has that name, a link included, and never follows it.
    int failure = EINVAL;
    if (!destination.isEmpty())
        failure = ZAVRename::replace(AT_FDCWD, location.toStdString(), AT_FDCWD,
                                     destination.toStdString())
                      .errorNumber();
    if (failure != 0) {
        const ZAVError error = ZAVURLErrorMake(
            ZAVURLErrorCannotMoveFile,
            ZAVTranslate("ZAVInstallationManager", "The package could not be put in place (%1).")
                .arg(qt_error_string(failure)));
        reportCompletionWithURL(std::nullopt, error);
        ZAVLogFormat(u"pkg failed with error %@", error);
        return;
    }
    m_packageCleanupSlot.store(ZAVRemoveOnTermination(destination));
    reportCompletionWithURL(QFile::decodeName(getInstallerPath()), std::nullopt);
}

// ---- properties -----------------------------------------------------------------------------

const std::shared_ptr<ZAVURLSessionDownloadTask> &ZAVInstallationManager::downloadTask() const
{
    ZAV_ASSERT_MAIN_THREAD();
    return m_downloadTask;
}

void ZAVInstallationManager::setDownloadTask(std::shared_ptr<ZAVURLSessionDownloadTask> task)
{
    ZAV_ASSERT_MAIN_THREAD();
    m_downloadTask = std::move(task);
}

ZAVDownloadCompletion ZAVInstallationManager::downloadCompletion() const
{
    ZAV_ASSERT_MAIN_THREAD();
    return m_downloadCompletion;
}

void ZAVInstallationManager::setDownloadCompletion(ZAVDownloadCompletion completion)
{
    ZAV_ASSERT_MAIN_THREAD();
    m_downloadCompletion = std::move(completion);
}

ZAVProgressBlock ZAVInstallationManager::progressBlock() const
{
    ZAV_ASSERT_MAIN_THREAD();
    return m_progressBlock;
}

void ZAVInstallationManager::setProgressBlock(ZAVProgressBlock progress)
{
    ZAV_ASSERT_MAIN_THREAD();
    m_progressBlock = std::move(progress);
}

ZAVTransferBlock ZAVInstallationManager::transferBlock() const
{
    ZAV_ASSERT_MAIN_THREAD();
    return m_transferBlock;
}

void ZAVInstallationManager::setTransferBlock(ZAVTransferBlock transfer)
{
    ZAV_ASSERT_MAIN_THREAD();
    m_transferBlock = std::move(transfer);
}

ZAVInstallCompletion ZAVInstallationManager::installCompletion() const
{
    ZAV_ASSERT_MAIN_THREAD();
    return m_installCompletion;
}

void ZAVInstallationManager::setWaitingBlock(ZAVWaitingBlock waiting)
{
    ZAV_ASSERT_MAIN_THREAD();
    m_waitingBlock = std::move(waiting);
}

void ZAVInstallationManager::setInstallCompletion(ZAVInstallCompletion completion)
{
    ZAV_ASSERT_MAIN_THREAD();
    m_installCompletion = std::move(completion);
}

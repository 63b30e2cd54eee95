#include "ZAVInstallationManager.h"

#include "platform/ZAVDispatch.h"
#include "platform/ZAVLog.h"
#include "platform/ZAVTemporaryDirectory.h"
#include "platform/ZAVURLSessionDownloadTask.h"

#include <QFile>
#include <QUrl>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <system_error>

namespace {

// The text after the last "/" of `path`, a trailing "/" ignored; the string is a path here,
// not a URL, so a query or fragment stays in the result.
std::optional<QString> lastPathComponent(const std::optional<QString> &path)
{
    if (!path)
        return std::nullopt;
    QString text = *path;
    while (text.size() > 1 && text.endsWith(u'/'))
        text.chop(1);
    if (text == u"/")
        return text;
    return text.mid(text.lastIndexOf(u'/') + 1);
}

bool isAbsolutePath(const QString &path)
{
    return path.startsWith(u'/');
}

// Why `pkgUrl` cannot be downloaded, or nothing when it names a complete URL.
ZAVOptionalError packageAddressError(const std::optional<QString> &pkgUrl, QUrl *url)
{
    if (!pkgUrl || pkgUrl->trimmed().isEmpty())
        return ZAVURLErrorMake(ZAVURLErrorBadURL,
                               QStringLiteral("The product information gives no package address."));
    *url = QUrl(*pkgUrl);
    const bool web = url->scheme() == u"http" || url->scheme() == u"https";
    if (!url->isValid() || url->isRelative() || (web && url->host().isEmpty()))
        return ZAVURLErrorMake(ZAVURLErrorBadURL,
                               QStringLiteral("The package address is not a complete URL (%1).")
                                   .arg(*pkgUrl));
    return std::nullopt;
}

std::vector<std::chrono::milliseconds> g_retryDelays;

} // namespace

ZAVInstallationManager::ZAVInstallationManager(Token, std::shared_ptr<const ZAVFeedData> feedData)
    : m_feedData(std::move(feedData))
{
}

ZAVInstallationManager::~ZAVInstallationManager() = default;

std::shared_ptr<ZAVInstallationManager>
ZAVInstallationManager::initWithFeedData(std::shared_ptr<const ZAVFeedData> feedData)
{
    ZAV_ASSERT_MAIN_THREAD();
    auto manager = std::make_shared<ZAVInstallationManager>(Token{}, std::move(feedData));
    ZAVURLSessionConfiguration configuration =
        ZAVURLSessionConfiguration::defaultSessionConfiguration();
    if (!g_retryDelays.empty())
        configuration.downloadRetryDelays = g_retryDelays;
    // The session holds the manager as its delegate from here until it is invalidated.
    manager->m_backgroundSession =
        ZAVURLSession::sessionWithConfiguration(configuration, manager, nullptr);
    return manager;
}

void ZAVInstallationManager::startDownloadWithCompletion(ZAVDownloadCompletion completion,
                                                         ZAVProgressBlock progress)
{
    ZAV_ASSERT_MAIN_THREAD();
    removeInstallerIfExists();
    setDownloadCompletion(std::move(completion));
    setProgressBlock(std::move(progress));
    ZAVLogFormat(u"Start download: %@", m_feedData->pkgUrl());

    QUrl url;
    if (const ZAVOptionalError error = packageAddressError(m_feedData->pkgUrl(), &url)) {
        // No request: the refusal travels the way a failed download does.
        reportCompletionWithURL(std::nullopt, error);
        ZAVLogFormat(u"pkg failed with error %@", error);
        return;
    }
    setDownloadTask(m_backgroundSession->downloadTaskWithURL(url));
    // What the feed pins is checked on the bytes as they arrive.
    if (m_feedData->pkgSize() || m_feedData->pkgSha256())
        m_downloadTask->setExpectedContent(m_feedData->pkgSize().value_or(-1),
                                           m_feedData->pkgSha256().value_or(QString()).toLatin1());
    m_downloadTask->resume();
}

QString ZAVInstallationManager::getInstallerPath() const
{
    const QString name = ZAVStringWithFormat(u"tmp-%@", lastPathComponent(m_feedData->pkgUrl()));
    const QString path = ZAVTemporaryDirectory() + name;
    ZAVLogFormat(u"path:%@", path);
    return path;
}

void ZAVInstallationManager::removeInstallerIfExists() const
{
    const QString path = getInstallerPath();
    if (!isAbsolutePath(path))
        return;
    std::error_code error;
    // symlink_status: a link counts as something, even when it leads nowhere.
    if (!std::filesystem::exists(
            std::filesystem::symlink_status(QFile::encodeName(path).toStdString(), error)))
        return;
    const QString again = getInstallerPath();
    if (isAbsolutePath(again))
        std::filesystem::remove_all(QFile::encodeName(again).toStdString(), error);
}

void ZAVInstallationManager::reportCompletionWithURL(const std::optional<QString> &path,
                                                     const ZAVOptionalError &error)
{
    ZAVDispatchMainAsync([self = shared_from_this(), path, error] {
        const ZAVDownloadCompletion completion = self->downloadCompletion();
        if (!completion)
            return;
        completion(path, error);
        self->setDownloadCompletion(nullptr);
        self->backgroundSession()->invalidateAndCancel();
    });
}

void ZAVInstallationManager::URLSession(ZAVURLSession &, const ZAVOptionalError &error)
{
    ZAVLogFormat(u"Failed with error: %@", error);
    reportCompletionWithURL(std::nullopt, error);
}

void ZAVInstallationManager::URLSession(ZAVURLSession &, ZAVURLSessionTask &,
                                        const ZAVOptionalError &error)
{
    if (!error)
        return;
    reportCompletionWithURL(std::nullopt, error);
    ZAVLogFormat(u"pkg failed with error %@", error);
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
                                        const QString &location)
{
    const QString destination = getInstallerPath();
    // rename() replaces whatever has that name, a link included, and never follows it.
    int failure = EINVAL;
    if (isAbsolutePath(destination))
        failure = std::rename(QFile::encodeName(location).constData(),
                              QFile::encodeName(destination).constData()) == 0
                      ? 0
                      : errno;
    if (failure != 0) {
        const ZAVError error = ZAVURLErrorMake(
            ZAVURLErrorCannotMoveFile, QStringLiteral("The package could not be put in place (%1).")
                                           .arg(qt_error_string(failure)));
        reportCompletionWithURL(std::nullopt, error);
        ZAVLogFormat(u"pkg failed with error %@", error);
        return;
    }
    reportCompletionWithURL(getInstallerPath(), std::nullopt);
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

void ZAVInstallationManager::setDownloadRetryDelays(std::vector<std::chrono::milliseconds> delays)
{
    g_retryDelays = std::move(delays);
}

ZAVInstallCompletion ZAVInstallationManager::installCompletion() const
{
    ZAV_ASSERT_MAIN_THREAD();
    return m_installCompletion;
}

void ZAVInstallationManager::setInstallCompletion(ZAVInstallCompletion completion)
{
    ZAV_ASSERT_MAIN_THREAD();
    m_installCompletion = std::move(completion);
}

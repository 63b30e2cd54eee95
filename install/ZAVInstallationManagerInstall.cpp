// The installation half of the manager: the quit question for a running copy and the wait for it
// to exit, then zav-pkg on the downloaded package, on the background queue, with one result for
// the window.

#include "ZAVInstallationManager.h"

#include "ZAVPackageInstallerSentence.h"
#include "appcontrol/ZAVAppUtils.h"
#include "platform/ZAVDispatch.h"
#include "platform/ZAVFileLock.h"
#include "platform/ZAVFormat.h"
#include "platform/ZAVLog.h"
#include "platform/ZAVTask.h"
#include "platform/ZAVTerminationCleanup.h"

#include <climits>

#include <unistd.h>

ZAVError ZAVInstallationManager::installationError()
{
    return ZAVError::withText(
        QStringLiteral("some_domain"), 100,
        ZAVTranslate("ZAVInstallationManager", "Installation could not be completed."));
}

ZAVError ZAVInstallationManager::packageInstallerError(int64_t status,
                                                       const QByteArray &lastErrorLine)
{
    // Status 6: the product cannot start on this computer; zav-pkg's last line is the sentence
    // the user reads, made where the decision was made, in the form that is translated here
    // (-sentence).
    constexpr QByteArrayView kPrefix("zav-pkg: ");
    if (status == kCannotRunStatus && lastErrorLine.startsWith(kPrefix) &&
        lastErrorLine.size() > kPrefix.size())
        return ZAVError::withText(QStringLiteral("zav-pkg"), kCannotRunStatus,
                                  ZAVPackageInstallerSentence(lastErrorLine.mid(kPrefix.size())));
    return installationError();
}

QByteArray ZAVInstallationManager::packageInstallerPath() const
{
    if (!m_options.packageInstallerPath.isEmpty())
        return m_options.packageInstallerPath;
    char self[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self);
    if (n <= 0 || n >= ssize_t(sizeof self))
        return QByteArrayLiteral("zav-pkg"); // not absolute: the run fails, reported as such
    const QByteArray program(self, n);
    return program.left(program.lastIndexOf('/')) + "/zav-pkg";
}

void ZAVInstallationManager::startInstallWithCompletion(ZAVInstallCompletion completion)
{
    ZAV_ASSERT_MAIN_THREAD();
    setInstallCompletion(std::move(completion));
    const std::optional<ZAVRunningApplication> asked =
        ZAVAppUtils::checkandCloseApplicationWithBundleID(m_feedData->bundleId(),
                                                          m_feedData->product());
    if (!asked) {
        runInstaller();
        return;
    }
    // Replacing the files under a copy that is still saving would leave the new version to start
    // beside the old one, or not at all: the swap waits for it, a bounded while.
    const QString pid = QString::number(asked->processIdentifier());
    const QString seconds = QString::number(double(m_options.quitWait.count()) / 1000.0);
    ZAVLogFormat(u"Waiting up to %@ s for pid %@ to quit", seconds, pid);
    if (m_quitWaitingBlock)
        m_quitWaitingBlock(true);
    ZAVAppUtils::waitForApplicationToQuit(
        *asked, m_options.quitWait, [self = shared_from_this(), pid, seconds](bool quit) {
            if (quit)
                ZAVLogFormat(u"pid %@ has quit", pid);
            else
                ZAVLogFormat(u"pid %@ is still running after %@ s; installing all the same", pid,
                             seconds);
            if (self->m_quitWaitingBlock)
                self->m_quitWaitingBlock(false);
            self->runInstaller();
        });
}

void ZAVInstallationManager::runInstaller()
{
    ZAV_ASSERT_MAIN_THREAD();
    const QByteArray installer = packageInstallerPath();
    auto self = shared_from_this();
    ZAVDispatchBackgroundAsync([self, installer] {
        const ZAVFeedData::Delta *delta = self->m_delta.load();
        QList<QByteArray> args{installer,
                               "-dumplog",
                               "-verbose",
                               "-sentence",
                               delta ? "-delta" : "-pkg",
                               self->getInstallerPath(),
                               "-target",
                               "CurrentUserHomeDirectory"};
        // zav-pkg refuses a package whose application id is not the one the feed names.
        if (const std::optional<QString> &id = self->m_feedData->bundleId(); id && !id->isEmpty())
            args << "-id" << id->toUtf8();
        if (delta) {
            // The delta is pinned by its own digest; the tree it makes, by the package's.
            args << "-sha256" << delta->sha256.toUtf8() << "-size"
                 << QByteArray::number(delta->size) << "-tree-sha256"
                 << self->feedData()->pkgTreeSha256()->toUtf8() << "-package-sha256"
                 << self->feedData()->pkgSha256()->toUtf8();
        } else {
            // zav-pkg checks the bytes it reads once more: the file may have changed since.
            if (const auto &sha256 = self->feedData()->pkgSha256())
                args << "-sha256" << sha256->toUtf8();
            if (const auto &size = self->feedData()->pkgSize())
                args << "-size" << QByteArray::number(*size);
        }
        // A signal now would leave zav-pkg to finish alone: it is kept until zav-pkg is done.
        ZAVHoldTermination();
        QByteArray lastErrorLine;
        const int64_t status = self->runShellWithArgs(args, &lastErrorLine);
        ZAVReleaseTermination();
        // Installed or not, the package has served: a failed run leaves nothing either.
        self->removeInstallerIfExists();
        if (status == kDeltaDoesNotApplyStatus && delta && self->m_delta.exchange(nullptr) &&
            !ZAVPendingTermination()) {
            self->fallBackToPackage(QStringLiteral("zav-pkg could not apply the delta (%1)")
                                        .arg(QString::fromUtf8(lastErrorLine)),
                                    true);
            return;
        }
        self->reportInstallCompletionWithError(
            status == 0 ? ZAVOptionalError() : packageInstallerError(status, lastErrorLine));
    });
}

int64_t ZAVInstallationManager::runShellWithArgs(const QList<QByteArray> &args,
                                                 QByteArray *lastErrorLine)
{
    if (args.isEmpty())
        return -1;
    ZAVTask task;
    task.setLaunchPath(args.first());
    task.setArguments(args.mid(1));
    task.setKeepsLastErrorLine(lastErrorLine != nullptr);
    if (!task.launch())
        return -1;
    task.waitUntilExit();
    if (lastErrorLine)
        *lastErrorLine = task.lastErrorLine();
    if (task.terminationReason() != ZAVTask::TerminationReason::Exit)
        return 128 + qMax(1, task.terminationStatus());
    return task.terminationStatus();
}

void ZAVInstallationManager::reportInstallCompletionWithError(const ZAVOptionalError &error)
{
    auto self = shared_from_this();
    ZAVDispatchMainAsync([self, error] {
        ZAVInstallCompletion completion = self->installCompletion();
        if (!completion)
            return;
        self->m_lock->unlock(); // the installer file is done with
        completion(error);
        self->setInstallCompletion(nullptr);
    });
}

// The installation half of the manager: the quit question for a running copy, then zav-pkg on
// the downloaded package, on the background queue, with one result for the window.

#include "ZAVInstallationManager.h"

#include "appcontrol/ZAVAppUtils.h"
#include "platform/ZAVDispatch.h"
#include "platform/ZAVTask.h"

#include <QCoreApplication>

namespace {
QString g_packageInstallerPath;
}

ZAVError ZAVInstallationManager::installationError()
{
    return ZAVError{QStringLiteral("some_domain"), 100,
                    QStringLiteral("Installation could not be completed.")};
}

QString ZAVInstallationManager::packageInstallerPath()
{
    if (!g_packageInstallerPath.isEmpty())
        return g_packageInstallerPath;
    return QCoreApplication::applicationDirPath() + QStringLiteral("/zav-pkg");
}

void ZAVInstallationManager::setPackageInstallerPath(const QString &path)
{
    g_packageInstallerPath = path;
}

void ZAVInstallationManager::startInstallWithCompletion(ZAVInstallCompletion completion)
{
    ZAV_ASSERT_MAIN_THREAD();
    setInstallCompletion(std::move(completion));
    ZAVAppUtils::checkandCloseApplicationWithBundleID(m_feedData->bundleId(),
                                                      m_feedData->product());
    runInstaller();
}

void ZAVInstallationManager::runInstaller()
{
    ZAV_ASSERT_MAIN_THREAD();
    const QString installer = packageInstallerPath();
    auto self = shared_from_this();
    ZAVDispatchBackgroundAsync([self, installer] {
        QStringList args{installer,
                         QStringLiteral("-dumplog"),
                         QStringLiteral("-verbose"),
                         QStringLiteral("-pkg"),
                         self->getInstallerPath(),
                         QStringLiteral("-target"),
                         QStringLiteral("CurrentUserHomeDirectory")};
        // zav-pkg checks the bytes it reads once more: the file may have changed since.
        if (const auto &sha256 = self->feedData()->pkgSha256())
            args << QStringLiteral("-sha256") << *sha256;
        if (const auto &size = self->feedData()->pkgSize())
            args << QStringLiteral("-size") << QString::number(*size);
        const int64_t status = self->runShellWithArgs(args);
        if (status != 0) {
            self->reportInstallCompletionWithError(installationError());
            return;
        }
        self->removeInstallerIfExists();
        self->reportInstallCompletionWithError(std::nullopt);
    });
}

int64_t ZAVInstallationManager::runShellWithArgs(const QStringList &args)
{
    ZAVTask task;
    task.setLaunchPath(QStringLiteral("/usr/bin/env"));
    task.setArguments(args);
    if (!task.launch())
        return -1;
    task.waitUntilExit();
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
        completion(error);
        self->setInstallCompletion(nullptr);
    });
}

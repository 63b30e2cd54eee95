#include "ZAVAppUtils.h"

#include "platform/ZAVAlert.h"
#include "platform/ZAVApplication.h"
#include "platform/ZAVDispatch.h"
#include "platform/ZAVFormat.h"
#include "platform/ZAVRunningApplication.h"
#include "platform/ZAVWorkspace.h"

#include <QCoreApplication>

void ZAVAppUtils::quitApp()
{
    ZAVApplication::sharedApplication().terminate("ZAVAppUtils");
}

void ZAVAppUtils::startAppWithBundleID(const std::optional<QString> &bundleID)
{
    ZAV_ASSERT_MAIN_THREAD();
    // Whether anything was started makes no difference: the installer's work is done.
    ZAVWorkspace::sharedWorkspace().launchAppWithBundleIdentifier(bundleID);
    quitApp();
}

void ZAVAppUtils::checkandCloseApplicationWithBundleID(const std::optional<QString> &bundleID,
                                                       const std::optional<QString> &appName)
{
    ZAV_ASSERT_MAIN_THREAD();
    const std::vector<ZAVRunningApplication> running =
        ZAVRunningApplication::runningApplicationsWithBundleIdentifier(bundleID);
    if (!running.empty())
        closeRunningApplication(running.front(), appName);
}

void ZAVAppUtils::closeRunningApplication(const ZAVRunningApplication &runningApplication,
                                          const std::optional<QString> &productName)
{
    ZAV_ASSERT_MAIN_THREAD();
    ZAVAlert alert;
    alert.setMessageText(
        QCoreApplication::translate("ZAVAppUtils", "Quit and continue installation"));
    alert.setInformativeText(
        ZAVTranslate(
            "ZAVAppUtils",
            "%@ is currently running. Please close the application to continue installation.")
            .format({productName})
            .translated());
    alert.addButtonWithTitle(QCoreApplication::translate("ZAVAppUtils", "Quit & Install"));
    alert.setAlertStyle(ZAVInformationalAlertStyle);
    if (alert.runModal() == ZAVAlertFirstButtonReturn)
        runningApplication.terminate();
}

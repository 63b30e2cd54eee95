#include "ZAVWorkspace.h"

#include "ZAVDesktopLaunch.h"
#include "ZAVDispatch.h"
#include "base/ZAVUserAppLayout.h"

#include <QFile>

ZAVWorkspace &ZAVWorkspace::sharedWorkspace()
{
    static ZAVWorkspace workspace;
    return workspace;
}

bool ZAVWorkspace::launchAppWithBundleIdentifier(const std::optional<QString> &bundleIdentifier,
                                                 qint64 *launchIdentifier)
{
    ZAV_ASSERT_MAIN_THREAD();
    if (launchIdentifier)
        *launchIdentifier = 0;
    // The id becomes a file name: the layout refuses anything that is not an application id.
    if (!bundleIdentifier)
        return false;
    const std::optional<ZAVUserAppLayout> layout = ZAVUserAppLayout::forApplication(
        bundleIdentifier->toStdString(), ZAVUserAppLayout::currentUserHome());
    if (!layout)
        return false;
    const pid_t pid = ZAVLaunchDesktopEntry(layout->desktopEntryPath().c_str());
    if (launchIdentifier)
        *launchIdentifier = pid;
    return pid > 0;
}

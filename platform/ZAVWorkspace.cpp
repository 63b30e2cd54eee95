#include "ZAVWorkspace.h"

#include "ZAVDesktopLaunch.h"
#include "ZAVDispatch.h"
#include "pkg/ZAVUserAppLayout.h"

#include <QFile>

ZAVWorkspace &ZAVWorkspace::sharedWorkspace() {
    static ZAVWorkspace workspace;
    return workspace;
}

bool ZAVWorkspace::launchAppWithBundleIdentifier(const std::optional<QString> &bundleIdentifier,
                                                 unsigned long, const void *,
                                                 qint64 *launchIdentifier) {
    ZAV_ASSERT_MAIN_THREAD();
    if (launchIdentifier)
        *launchIdentifier = 0;
    // The id becomes a file name: refuse anything that is not an application id first.
    if (!bundleIdentifier || !ZAVUserAppLayout::isValidApplicationId(*bundleIdentifier))
        return false;
    const std::optional<ZAVUserAppLayout> layout =
        ZAVUserAppLayout::forApplication(*bundleIdentifier, ZAVUserAppLayout::currentUserHome());
    if (!layout)
        return false;
    const pid_t pid =
        ZAVLaunchDesktopEntry(QFile::encodeName(layout->desktopEntryPath()).constData());
    if (launchIdentifier)
        *launchIdentifier = pid;
    return pid > 0;
}

#include "ZAVDesktopLaunch.h"

#include <gio/gdesktopappinfo.h>

#include <unistd.h>

namespace {

// Runs in the started program before exec: leave the installer's session and process group,
// so that a terminal closing after the installer has gone takes nothing with it.
void leaveSession(gpointer)
{
    setsid();
}

void recordPid(GDesktopAppInfo *, GPid pid, gpointer data)
{
    pid_t *started = static_cast<pid_t *>(data);
    if (*started == 0)
        *started = pid;
}

} // namespace

pid_t ZAVLaunchDesktopEntry(const char *path)
{
    // By its file, never by its id: an entry of the same id elsewhere on the XDG data path
    // (planted, or left by another install) must not be what starts. GIO refuses a hidden
    // entry and one whose TryExec program is missing.
    GDesktopAppInfo *info = g_desktop_app_info_new_from_filename(path);
    if (!info)
        return 0;

    pid_t started = 0;
    GError *error = nullptr;
    // Without G_SPAWN_DO_NOT_REAP_CHILD GLib starts the program through an intermediate child
    // that it reaps at once: the program is handed to init and needs nothing from us.
    const gboolean launched = g_desktop_app_info_launch_uris_as_manager(
        info, nullptr, nullptr, G_SPAWN_SEARCH_PATH, leaveSession, nullptr, recordPid, &started,
        &error);
    if (error)
        g_error_free(error);
    g_object_unref(info);
    return launched ? started : 0;
}

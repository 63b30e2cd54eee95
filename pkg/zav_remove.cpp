// zav-remove: what the "Uninstall" action of a desktop entry written by zav-pkg runs.
//   zav-remove -id ID [-verbose] [-target CurrentUserHomeDirectory|DIR]
// Removes the application ID as zav-pkg -uninstall does, but moves its application directory
// to the user's trash (when the trash is on the same file system), so that a mis-click can be
// undone. Exit status as zav-pkg's (see docs/zav-pkg.md).
//
// Installed once per home, at <home>/.local/share/zav/bin/zav-remove, and shared by every
// application zav-pkg installed there; it goes with the last of them. Linked statically from
// the removal code alone (no Qt, no libarchive), so that it runs on any system the bundle
// supports long after the installer and its folder are gone.

#include "ZAVPackageRemoval.h"
#include "ZAVPkgLog.h"
#include "base/ZAVUserAppLayout.h"

#include <sys/stat.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

int usage(const char *message)
{
    std::fprintf(stderr,
                 "zav-remove: %s\nusage: zav-remove -id ID [-verbose] "
                 "[-target CurrentUserHomeDirectory|DIR]\n",
                 message);
    return ZAVPkgError(ZAVPkgError::usage(message)).exitStatus();
}

} // namespace

int main(int argc, char **argv)
{
    std::signal(SIGPIPE, SIG_IGN);
    const mode_t mask = umask(0);
    umask(mask & 077);
    std::string id;
    std::string target = "CurrentUserHomeDirectory";
    bool verbose = false;
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        if (option == "-verbose") {
            verbose = true;
        } else if ((option == "-id" || option == "-target") && i + 1 < argc) {
            (option == "-id" ? id : target) = argv[++i];
        } else {
            return usage("unknown option or missing value");
        }
    }
    if (!ZAVUserAppLayout::isValidApplicationId(id))
        return usage("-id needs a valid application id (such as org.example.App)");
    std::string home = target;
    if (target == "CurrentUserHomeDirectory") {
        // $HOME only: a static program cannot ask the system's user database safely.
        const char *value = std::getenv("HOME");
        if (!value || value[0] != '/')
            return usage("$HOME is not an absolute path");
        home = value;
    } else if (home.empty() || home.front() != '/') {
        return usage("the target must be an absolute directory");
    }
    ZAVPkgLog log(verbose, false, "zav-remove");
    if (const ZAVPkgResult error =
            ZAVPackageRemoval::uninstall(home, id, ZAVPackageRemoval::Directory::Trash, log)) {
        log.message("removal failed: " + error->message);
        return error->exitStatus();
    }
    return 0;
}

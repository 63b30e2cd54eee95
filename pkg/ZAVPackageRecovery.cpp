#include "ZAVPackageRecovery.h"

#include "ZAVPackageHome.h"
#include "ZAVPackageRemoval.h"
#include "ZAVPkgLog.h"
#include "base/ZAVDirectory.h"
#include "base/ZAVFiles.h"
#include "base/ZAVRename.h"
#include "base/ZAVUserAppLayout.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>

#include <cerrno>
#include <string_view>

namespace {

// Length of the "-<16 hex digits>" that ends an old directory's name.
constexpr size_t kRandomSuffixLength = 17;

void cleanTemporaryFiles(const ZAVPackageHome &home, const std::vector<std::string> &components,
                         ZAVPkgLog &log)
{
    const ZAVResult<ZAVFd> directory = ZAVDirectory::openPath(home.fd.get(), components);
    if (!directory)
        return;
    const ZAVResult<std::vector<std::string>> names = ZAVDirectory::entries(directory->get());
    if (!names)
        return;
    for (const std::string &name : *names) {
        if (!name.starts_with(ZAVPackageRecovery::kTemporaryPrefix))
            continue;
        unlinkat(directory->get(), name.c_str(), 0);
        log.detail("removed " + ZAVFiles::joined(components) + "/" + name +
                   " left by an interrupted installation");
    }
}

// A record whose receipt is missing: a first installation killed between the two.
void cleanRecords(const ZAVPackageHome &home, const std::vector<std::string> &components,
                  ZAVPkgLog &log)
{
    const ZAVResult<ZAVFd> directory = ZAVDirectory::openPath(home.fd.get(), components);
    if (!directory)
        return;
    const ZAVResult<std::vector<std::string>> names = ZAVDirectory::entries(directory->get());
    if (!names)
        return;
    constexpr std::string_view suffix = ".owned";
    for (const std::string &name : *names) {
        if (!name.ends_with(suffix))
            continue;
        const std::string receipt = name.substr(0, name.size() - suffix.size()) + ".json";
        struct stat st {};
        if (fstatat(directory->get(), receipt.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 &&
            errno == ENOENT && unlinkat(directory->get(), name.c_str(), 0) == 0)
            log.detail("removed " + name + " left by an interrupted installation");
    }
}

} // namespace

void ZAVPackageRecovery::lockHome(int homeFd, ZAVPkgLog &log)
{
    while (flock(homeFd, LOCK_EX) != 0) {
        if (errno != EINTR) {
            // Some network file systems lock nothing on directories; go on unlocked.
            log.detail("no lock on the home: " + ZAVFiles::errorText(errno));
            break;
        }
    }
}

void ZAVPackageRecovery::cleanLeftovers(const ZAVPackageHome &home, int optFd, ZAVPkgLog &log)
{
    const ZAVResult<std::vector<std::string>> entries = ZAVDirectory::entries(optFd);
    std::vector<std::string> names;
    if (entries) {
        for (const std::string &name : *entries) {
            if (name.starts_with(kStagingPrefix) || name.starts_with(kOldPrefix))
                names.push_back(name);
            else if (name.starts_with(ZAVPackageRemoval::kRemovingPrefix) ||
                     name.starts_with(ZAVPackageRemoval::kTrashingPrefix)) {
                log.message("finishing the removal of " + name + " that an earlier run began");
                ZAVPackageRemoval::finish(home, optFd, name, log);
            }
        }
    }
    constexpr size_t oldPrefixLength = std::string_view(kOldPrefix).size();
    for (const std::string &name : names) {
        if (name.starts_with(kOldPrefix) && name.size() > oldPrefixLength + kRandomSuffixLength) {
            // Moved aside by a run without RENAME_EXCHANGE that died before the new version
            // took its place: put it back.
            const std::string id =
                name.substr(oldPrefixLength, name.size() - oldPrefixLength - kRandomSuffixLength);
            struct stat st {};
            if (ZAVUserAppLayout::isValidApplicationId(id) &&
                fstatat(optFd, id.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 && errno == ENOENT &&
                ZAVRename::replace(optFd, name, optFd, id)) {
                log.message("restored " + id + " from an interrupted installation");
                continue;
            }
        }
        const ZAVStatus removed = ZAVDirectory::removeTree(optFd, name);
        log.detail("removed " + name + " left by an interrupted installation" +
                   (removed ? std::string() : ": " + removed.error().reasonText()));
    }
    const ZAVUserAppLayout folders = *ZAVUserAppLayout::forApplication("zav.folders", "/");
    cleanTemporaryFiles(home, ZAVPackageHome::below(folders.applicationsDirectory()), log);
    cleanTemporaryFiles(home, ZAVPackageHome::below(folders.receiptsDirectory()), log);
    cleanRecords(home, ZAVPackageHome::below(folders.receiptsDirectory()), log);
    for (const char *extension : {"png", "svg"})
        cleanTemporaryFiles(home, ZAVPackageHome::folderOf(folders.iconPath(extension)), log);
}

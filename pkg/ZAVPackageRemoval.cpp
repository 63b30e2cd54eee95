#include "ZAVPackageRemoval.h"

#include "ZAVPackageHome.h"
#include "ZAVPackageOwnership.h"
#include "ZAVPackageRecovery.h"
#include "ZAVPkgLog.h"
#include "base/ZAVAtomicFile.h"
#include "base/ZAVDirectory.h"
#include "base/ZAVFiles.h"
#include "base/ZAVRename.h"
#include "base/ZAVUserAppLayout.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>
#include <string_view>

namespace {

// Length of the "-<16 hex digits>" that ends a journal directory's name.
constexpr size_t kRandomSuffixLength = 17;
constexpr char kTrashFolder[] = ".local/share/Trash";

// `path` for the Path key of a trash info file: percent-encoded as a URI path.
std::string uriPath(const std::string &path)
{
    static const char hex[] = "0123456789ABCDEF";
    std::string encoded;
    for (const unsigned char c : path) {
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                           (c >= '0' && c <= '9') ||
                           std::string_view("/-_.~").find(c) != std::string_view::npos;
        if (plain) {
            encoded += static_cast<char>(c);
        } else {
            encoded += '%';
            encoded += hex[c >> 4];
            encoded += hex[c & 15];
        }
    }
    return encoded;
}

// Moves `name` in `optFd` to the user's trash as the freedesktop trash layout has it: the
// info file Trash/info/<n>.trashinfo is made first, under a name no other file has (its
// rename never replaces), then the directory becomes Trash/files/<n>. False, with nothing
// moved, when the trash cannot be made or lies on another file system.
bool moveToTrash(const ZAVPackageHome &home, int optFd, const std::string &name,
                 const std::string &originalPath, const std::string &trashName, ZAVPkgLog &log)
{
    ZAVFd current(fcntl(home.fd.get(), F_DUPFD_CLOEXEC, 0));
    for (const std::string &component : ZAVFiles::components(kTrashFolder)) {
        bool created = false;
        ZAVResult<ZAVFd> next =
            ZAVDirectory::openOrCreate(current.get(), component, 0700, &created);
        if (!next)
            return false;
        current = std::move(*next);
    }
    bool created = false;
    ZAVResult<ZAVFd> files = ZAVDirectory::openOrCreate(current.get(), "files", 0700, &created);
    ZAVResult<ZAVFd> info = ZAVDirectory::openOrCreate(current.get(), "info", 0700, &created);
    struct stat trash {};
    struct stat opt {};
    if (!files || !info || fstat(files->get(), &trash) != 0 || fstat(optFd, &opt) != 0 ||
        trash.st_dev != opt.st_dev)
        return false;

    char date[32] = {};
    const time_t now = time(nullptr);
    tm local{};
    strftime(date, sizeof date, "%Y-%m-%dT%H:%M:%S", localtime_r(&now, &local));
    const std::string text =
        "[Trash Info]\nPath=" + uriPath(originalPath) + "\nDeletionDate=" + date + "\n";
    for (int attempt = 1; attempt <= 100; ++attempt) {
        const std::string candidate =
            attempt == 1 ? trashName : trashName + '.' + std::to_string(attempt);
        const std::string infoName = candidate + ".trashinfo";
        const ZAVStatus written = ZAVAtomicFile::write(info->get(), infoName, text, 0600,
                                                       ZAVAtomicFile::Commit::NoReplace);
        if (!written) {
            if (written.errorNumber() == EEXIST)
                continue;
            return false;
        }
        const ZAVStatus moved = ZAVRename::noReplace(optFd, name, files->get(), candidate);
        if (moved) {
            fsync(files->get());
            log.phase("moved " + originalPath + " to the trash as " + candidate);
            return true;
        }
        unlinkat(info->get(), infoName.c_str(), 0);
        if (moved.errorNumber() != EEXIST && moved.errorNumber() != ENOTEMPTY)
            return false;
    }
    return false;
}

// Whether any receipt is left in the home.
bool anyReceipt(const ZAVPackageHome &home)
{
    const ZAVUserAppLayout folders = *ZAVUserAppLayout::forApplication("zav.folders", "/");
    const ZAVResult<ZAVFd> receipts =
        ZAVDirectory::openPath(home.fd.get(), ZAVPackageHome::below(folders.receiptsDirectory()));
    if (!receipts)
        return false;
    const ZAVResult<std::vector<std::string>> names = ZAVDirectory::entries(receipts->get());
    if (!names)
        return true;
    for (const std::string &name : *names) {
        if (name.ends_with(".json") && !name.starts_with("."))
            return true;
    }
    return false;
}

} // namespace

ZAVPkgResult ZAVPackageRemoval::uninstall(const std::string &homePath, const std::string &id,
                                          Directory how, ZAVPkgLog &log)
{
    ZAVPackageHome home;
    home.path = ZAVPackageHome::withoutTrailingSlashes(homePath);
    const std::optional<ZAVUserAppLayout> layout = ZAVUserAppLayout::forApplication(id, "/");
    if (!layout || home.path.empty() || home.path.front() != '/')
        return ZAVPkgError::usage("an application id and an absolute home are needed");
    if (ZAVPkgResult error = home.openAndLock(log))
        return error;
    ZAVResult<ZAVFd> opt =
        ZAVDirectory::openPath(home.fd.get(), ZAVPackageHome::below(layout->optDirectory()));
    if (opt)
        ZAVPackageRecovery::cleanLeftovers(home, opt->get(), log);

    bool installed = false;
    std::vector<std::string> unowned;
    if (const ZAVStatus looked = ZAVPackageOwnership::check(home, *layout, &installed, &unowned);
        !looked)
        return ZAVPkgError::failed("cannot look at " + ZAVQuoted(looked.error().path),
                                   looked.error());
    if (!installed)
        return ZAVPkgError::failed(id + " is not installed in " + home.path +
                                   " (it has no receipt " +
                                   ZAVQuoted(home.absolute(layout->receiptPath())) + ")");
    if (!unowned.empty()) {
        std::string names;
        for (const std::string &path : unowned)
            names += (names.empty() ? "" : ", ") + ZAVQuoted(path);
        return ZAVPkgError::failed(names + (unowned.size() == 1 ? " is" : " are") +
                                   " not what zav-pkg installed there; nothing was removed. "
                                   "Move it away and run the removal again");
    }
    if (!opt)
        return ZAVPkgError::failed("cannot open " + home.absolute(layout->optDirectory()),
                                   opt.error());

    // The step of no return: from here on the next run finishes what this one began.
    const std::string journal = ZAVFiles::randomName(
        std::string(how == Directory::Trash ? kTrashingPrefix : kRemovingPrefix) + id + '-');
    struct stat st {};
    if (fstatat(opt->get(), id.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
        if (const ZAVStatus moved = ZAVRename::noReplace(opt->get(), id, opt->get(), journal);
            !moved)
            return ZAVPkgError::failed("cannot begin the removal of " +
                                           home.absolute(layout->applicationDirectory()),
                                       moved.error());
    } else if (mkdirat(opt->get(), journal.c_str(), 0700) != 0) {
        return ZAVPkgError::failed("cannot begin the removal of " + id + ": " +
                                   ZAVFiles::errorText(errno));
    }
    fsync(opt->get());
    log.phase("removing " + id);
    finish(home, opt->get(), journal, log);
    log.phase("removed " + id + " from " + home.path);
    return std::nullopt;
}

void ZAVPackageRemoval::finish(const ZAVPackageHome &home, int optFd, const std::string &journal,
                               ZAVPkgLog &log)
{
    const bool trash = journal.starts_with(kTrashingPrefix);
    const size_t prefix = std::string_view(trash ? kTrashingPrefix : kRemovingPrefix).size();
    if (journal.size() <= prefix + kRandomSuffixLength)
        return;
    const std::string id = journal.substr(prefix, journal.size() - prefix - kRandomSuffixLength);
    const std::optional<ZAVUserAppLayout> layout = ZAVUserAppLayout::forApplication(id, "/");
    if (!layout) {
        ZAVDirectory::removeTree(optFd, journal);
        return;
    }

    // The files first, the receipt last of them and its record after it: a run killed on the
    // way still finds the record that tells which files are ours.
    std::optional<std::vector<ZAVPackageOwnership::Line>> record;
    ZAVResult<ZAVFd> receipts =
        ZAVDirectory::openPath(home.fd.get(), ZAVPackageHome::below(layout->receiptsDirectory()));
    if (receipts)
        record = ZAVPackageOwnership::read(receipts->get(), id);
    for (const ZAVPackageOwnership::Place &place : ZAVPackageOwnership::places(*layout)) {
        if (place.directory)
            continue;
        const ZAVResult<ZAVFd> folder =
            ZAVDirectory::openPath(home.fd.get(), ZAVPackageHome::folderOf(place.layoutPath));
        const std::string name = ZAVPackageHome::nameOf(place.layoutPath);
        struct stat st {};
        if (!folder || fstatat(folder->get(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
            continue;
        if (!ZAVPackageOwnership::owns(record, place, folder->get(), name, st)) {
            log.message("kept " + ZAVQuoted(home.absolute(place.layoutPath)) +
                        ", which zav-pkg did not install");
            continue;
        }
        if (unlinkat(folder->get(), name.c_str(), 0) == 0) {
            fsync(folder->get());
            log.detail("removed " + home.absolute(place.layoutPath));
        }
    }
    if (receipts) {
        unlinkat(receipts->get(), ZAVPackageOwnership::recordName(id).c_str(), 0);
        fsync(receipts->get());
    }

    if (const ZAVResult<ZAVFd> kept =
            ZAVDirectory::openPath(optFd, {ZAVPackageRecovery::kKeptFolder})) {
        if (ZAVDirectory::removeTree(kept->get(), id))
            unlinkat(optFd, ZAVPackageRecovery::kKeptFolder, AT_REMOVEDIR);
    }
    const std::string directory = home.absolute(layout->applicationDirectory());
    if (!trash || !moveToTrash(home, optFd, journal, directory, id, log)) {
        if (const ZAVStatus removed = ZAVDirectory::removeTree(optFd, journal); !removed)
            log.message("warning: cannot remove all of " + directory + " (" +
                        removed.error().reasonText() + "); the next run goes on");
        else
            log.detail("removed " + directory);
    }
    fsync(optFd);

    // The remover goes with the last application, and so do zav-pkg's own folders (the
    // remover's, the receipts' and the one holding both) when nothing else is in them.
    if (!anyReceipt(home)) {
        const std::vector<std::string> components = ZAVFiles::components(kRemoverFolder);
        if (const ZAVResult<ZAVFd> bin = ZAVDirectory::openPath(home.fd.get(), components)) {
            unlinkat(bin->get(), kRemoverName, 0);
            log.detail("removed the remover, which no application needs any more");
        }
        const std::vector<std::string> ours(components.begin(), components.end() - 1);
        if (const ZAVResult<ZAVFd> folder = ZAVDirectory::openPath(home.fd.get(), ours)) {
            unlinkat(folder->get(), components.back().c_str(), AT_REMOVEDIR);
            unlinkat(folder->get(), ZAVPackageHome::nameOf(layout->receiptsDirectory()).c_str(),
                     AT_REMOVEDIR);
        }
        if (const ZAVResult<ZAVFd> share = ZAVDirectory::openPath(
                home.fd.get(), std::vector<std::string>(ours.begin(), ours.end() - 1)))
            unlinkat(share->get(), ours.back().c_str(), AT_REMOVEDIR);
    }
}

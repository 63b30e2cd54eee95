#include "ZAVPackageRollback.h"

#include "ZAVPackageHome.h"
#include "ZAVPackageOwnership.h"
#include "ZAVPackageRecovery.h"
#include "ZAVPackageTransaction.h"
#include "ZAVPkgLog.h"
#include "base/ZAVAtomicFile.h"
#include "base/ZAVDirectory.h"
#include "base/ZAVFiles.h"
#include "base/ZAVRename.h"
#include "base/ZAVUserAppLayout.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>

namespace {

constexpr char kApplicationFolder[] = "app";
constexpr char kFilesFolder[] = "files";

// The bytes the tree `name` in `dirFd` takes on disk.
uint64_t treeSize(int dirFd, const std::string &name)
{
    struct stat st {};
    if (fstatat(dirFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
        return 0;
    uint64_t size = static_cast<uint64_t>(st.st_blocks) * 512;
    if (!S_ISDIR(st.st_mode))
        return size;
    const ZAVResult<ZAVFd> directory = ZAVDirectory::open(dirFd, name);
    if (!directory)
        return size;
    if (const ZAVResult<std::vector<std::string>> names = ZAVDirectory::entries(directory->get()))
        for (const std::string &entry : *names)
            size += treeSize(directory->get(), entry);
    return size;
}

// The file `name` in the folder at `components` below the home, opened for reading without
// following a link; -1 when it is not a regular file there.
ZAVFd openFile(int homeFd, const std::vector<std::string> &components, const std::string &name)
{
    const ZAVResult<ZAVFd> folder = ZAVDirectory::openPath(homeFd, components);
    if (!folder)
        return ZAVFd();
    ZAVFd fd(openat(folder->get(), name.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK));
    struct stat st {};
    if (!fd.valid() || fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode))
        return ZAVFd();
    return fd;
}

// The entry, icons and receipt of a layout for "/", with their names.
std::vector<std::string> integrationPaths(const ZAVUserAppLayout &layout)
{
    return {layout.desktopEntryPath(), layout.iconPath("svg"), layout.iconPath("png"),
            layout.receiptPath()};
}

} // namespace

ZAVPackageRollback::Keeping::~Keeping()
{
    if (!m_name.empty())
        ZAVDirectory::removeTree(m_optFd, m_name);
}

void ZAVPackageRollback::Keeping::prepare(const ZAVPackageHome &home, int optFd,
                                          const ZAVUserAppLayout &layout, ZAVPkgLog &log)
{
    m_log = &log;
    m_optFd = optFd;
    m_id = layout.applicationId();
    ZAVFd receipt = openFile(home.fd.get(), ZAVPackageHome::folderOf(layout.receiptPath()),
                             ZAVPackageHome::nameOf(layout.receiptPath()));
    if (!receipt.valid())
        return;
    const std::string name = ZAVFiles::randomName(ZAVPackageRecovery::kStagingPrefix);
    if (mkdirat(optFd, name.c_str(), 0700) != 0)
        return;
    m_name = name;
    bool created = false;
    ZAVResult<ZAVFd> gathering = ZAVDirectory::open(optFd, name);
    ZAVResult<ZAVFd> files =
        gathering.status().ok()
            ? ZAVDirectory::openOrCreate(gathering->get(), kFilesFolder, 0700, &created)
            : ZAVResult<ZAVFd>(gathering.error());
    if (!files) {
        ZAVDirectory::removeTree(optFd, name);
        m_name.clear();
        return;
    }
    for (const std::string &path : integrationPaths(layout)) {
        const ZAVFd source =
            openFile(home.fd.get(), ZAVPackageHome::folderOf(path), ZAVPackageHome::nameOf(path));
        if (!source.valid())
            continue;
        ZAVResult<ZAVAtomicFile> copy =
            ZAVAtomicFile::create(files->get(), ZAVPackageHome::nameOf(path), 0644);
        ZAVStatus copied = copy.status();
        if (copied)
            copied = copy->copyFrom(source.get());
        if (copied)
            copied = copy->commit(ZAVAtomicFile::Commit::NoReplace);
        if (!copied) {
            log.detail("cannot keep a copy of " + home.absolute(path) + ": " +
                       copied.error().reasonText());
            ZAVDirectory::removeTree(optFd, name);
            m_name.clear();
            return;
        }
    }
    m_fd = std::move(*gathering);
}

bool ZAVPackageRollback::Keeping::keep(int folderFd, const std::string &name)
{
    if (m_name.empty() || name.empty())
        return false;
    // The kept copy of the version before goes at this upgrade, whatever becomes of this one.
    bool created = false;
    ZAVResult<ZAVFd> kept =
        ZAVDirectory::openOrCreate(m_optFd, ZAVPackageRecovery::kKeptFolder, 0700, &created);
    if (!kept)
        return false;
    ZAVDirectory::removeTree(kept->get(), m_id);
    struct statvfs fs {};
    const uint64_t size = treeSize(folderFd, name);
    const uint64_t free =
        fstatvfs(m_optFd, &fs) == 0 ? static_cast<uint64_t>(fs.f_bavail) * fs.f_frsize : 0;
    if (free < size) {
        m_log->phase("no room to keep the previous version for a roll-back (" +
                     std::to_string(size) + " bytes, " + std::to_string(free) + " free)");
        unlinkat(m_optFd, ZAVPackageRecovery::kKeptFolder, AT_REMOVEDIR);
        return false;
    }
    if (!ZAVRename::noReplace(folderFd, name, m_fd.get(), kApplicationFolder))
        return false;
    fsync(m_fd.get());
    if (!ZAVRename::noReplace(m_optFd, m_name, kept->get(), m_id))
        return false; // the version is inside the gathering folder, which goes with it
    m_name.clear();
    fsync(kept->get());
    fsync(m_optFd);
    m_log->phase("removed the previous version from its place and kept it for a roll-back in " +
                 std::string(ZAVPackageRecovery::kKeptFolder) + "/" + m_id);
    return true;
}

ZAVPkgResult ZAVPackageRollback::rollBack(const std::string &homePath, const std::string &id,
                                          ZAVPkgLog &log)
{
    ZAVPackageHome home;
    home.path = ZAVPackageHome::withoutTrailingSlashes(homePath);
    const std::optional<ZAVUserAppLayout> layout = ZAVUserAppLayout::forApplication(id, "/");
    if (!layout || home.path.empty() || home.path.front() != '/')
        return ZAVPkgError::usage("an application id and an absolute home are needed");
    if (ZAVPkgResult error = home.openAndLock(log))
        return error;

    // Declared before the transaction, which uses them while it rolls back.
    ZAVFd optFd, applicationsFd, receiptsFd, keptFd, filesFd, stagingParentFd;
    std::vector<ZAVFd> iconFolders;
    std::string stagingName;
    ZAVPackageTransaction transaction(home, log);
    if (auto error =
            transaction.openHomeDirectory(ZAVPackageHome::below(layout->optDirectory()), &optFd))
        return error;
    ZAVPackageRecovery::cleanLeftovers(home, optFd.get(), log);

    bool installed = false;
    std::vector<std::string> unowned;
    if (const ZAVStatus looked = ZAVPackageOwnership::check(home, *layout, &installed, &unowned);
        !looked)
        return ZAVPkgError::failed("cannot look at " + ZAVQuoted(looked.error().path),
                                   looked.error());
    if (!installed)
        return ZAVPkgError::failed(id + " is not installed in " + home.path);
    if (!unowned.empty())
        return ZAVPkgError::failed(ZAVQuoted(unowned.front()) +
                                   " is not what zav-pkg installed there; nothing was changed");
    ZAVResult<ZAVFd> kept = ZAVDirectory::openPath(optFd.get(), {ZAVPackageRecovery::kKeptFolder});
    ZAVFd files;
    if (kept && ZAVDirectory::openPath(kept->get(), {id, kApplicationFolder})) {
        if (ZAVResult<ZAVFd> opened = ZAVDirectory::openPath(kept->get(), {id, kFilesFolder}))
            files = std::move(*opened);
    }
    const ZAVFd keptEntry =
        files.valid() ? openFile(files.get(), {}, layout->desktopEntryFileName()) : ZAVFd();
    const ZAVFd keptReceipt =
        files.valid() ? openFile(files.get(), {}, ZAVPackageHome::nameOf(layout->receiptPath()))
                      : ZAVFd();
    if (!keptEntry.valid() || !keptReceipt.valid())
        return ZAVPkgError::failed("no previous version of " + id + " is kept in " +
                                   home.absolute(layout->optDirectory()) + "/" +
                                   ZAVPackageRecovery::kKeptFolder +
                                   " (one is kept at an upgrade, when there is room); nothing "
                                   "was changed");
    keptFd = std::move(*kept);

    // Staged in the order an installation stages them: entry, icon, receipt.
    if (auto error = transaction.openHomeDirectory(
            ZAVPackageHome::below(layout->applicationsDirectory()), &applicationsFd))
        return error;
    if (auto error = transaction.openHomeDirectory(
            ZAVPackageHome::below(layout->receiptsDirectory()), &receiptsFd))
        return error;
    std::vector<std::string> places{"desktop-entry"};
    if (auto error = transaction.stage(applicationsFd.get(), layout->desktopEntryFileName(),
                                       "desktop entry", {}, keptEntry.get()))
        return error;
    std::string keptIcon;
    for (const char *extension : {"svg", "png"}) {
        const std::string path = layout->iconPath(extension);
        const ZAVFd icon = openFile(files.get(), {}, ZAVPackageHome::nameOf(path));
        if (!icon.valid() || !keptIcon.empty())
            continue;
        ZAVFd folder;
        if (auto error = transaction.openHomeDirectory(ZAVPackageHome::folderOf(path), &folder))
            return error;
        if (auto error = transaction.stage(folder.get(), ZAVPackageHome::nameOf(path), "icon", {},
                                           icon.get()))
            return error;
        iconFolders.push_back(std::move(folder));
        places.push_back(std::string("icon-") + extension);
        keptIcon = extension;
    }
    if (auto error =
            transaction.stage(receiptsFd.get(), ZAVPackageHome::nameOf(layout->receiptPath()),
                              "receipt", {}, keptReceipt.get()))
        return error;
    places.push_back("receipt");

    // The kept copy leaves its place before the swap: a run killed from here on leaves a
    // staging folder that the next run removes, never a kept copy that is half another version.
    stagingName = ZAVFiles::randomName(ZAVPackageRecovery::kStagingPrefix);
    if (const ZAVStatus moved = ZAVRename::noReplace(keptFd.get(), id, optFd.get(), stagingName);
        !moved)
        return ZAVPkgError::failed("cannot take the kept version", moved.error());
    const auto putBack = [&] { ZAVRename::noReplace(optFd.get(), stagingName, keptFd.get(), id); };
    ZAVResult<ZAVFd> parent = ZAVDirectory::open(optFd.get(), stagingName);
    if (!parent) {
        putBack();
        return ZAVPkgError::failed("cannot open the kept version", parent.error());
    }
    stagingParentFd = std::move(*parent);
    if (auto error =
            transaction.adoptStaging(optFd.get(), stagingParentFd.get(), kApplicationFolder)) {
        putBack();
        return error;
    }
    // Every file at a place is listed before any is replaced: what is there now, and what
    // replaces it.
    std::vector<ZAVPackageOwnership::Line> record = ZAVPackageOwnership::current(home, *layout);
    for (size_t i = 0; i < places.size(); ++i) {
        const ZAVAtomicFile &file = transaction.staged()[i];
        record.push_back(
            {places[i], ZAVPackageOwnership::identityOf(file.directoryFd(), file.temporaryName())});
    }
    std::string previous;
    if (const ZAVStatus written =
            ZAVPackageOwnership::write(receiptsFd.get(), id, record, &previous);
        !written) {
        putBack();
        return ZAVPkgError::failed("cannot write the ownership record", written.error());
    }
    ZAVPkgResult error = transaction.swap(id);
    if (!error)
        error = transaction.commitFiles();
    ZAVPackageOwnership::finish(receiptsFd.get(), id, previous, !error);
    if (error) {
        putBack();
        return error;
    }
    for (const char *extension : {"svg", "png"}) {
        if (keptIcon == extension)
            continue;
        const std::string path = layout->iconPath(extension);
        if (const ZAVResult<ZAVFd> folder =
                ZAVDirectory::openPath(home.fd.get(), ZAVPackageHome::folderOf(path)))
            unlinkat(folder->get(), ZAVPackageHome::nameOf(path).c_str(), 0);
    }
    std::vector<int> folders{applicationsFd.get(), receiptsFd.get()};
    for (const ZAVFd &folder : iconFolders)
        folders.push_back(folder.get());
    transaction.flush(folders);
    // The version rolled back from, and the copies of the files that are now in place.
    if (const ZAVStatus removed = ZAVDirectory::removeTree(optFd.get(), stagingName); !removed)
        log.message("warning: cannot remove the version rolled back from (" +
                    removed.error().reasonText() + "); the next run removes it");
    unlinkat(optFd.get(), ZAVPackageRecovery::kKeptFolder, AT_REMOVEDIR);
    log.phase("rolled back " + id + " to the version kept at the last upgrade");
    return std::nullopt;
}

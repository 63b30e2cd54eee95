#include "ZAVPackageTransaction.h"

#include "ZAVPackageHome.h"
#include "ZAVPackageRecovery.h"
#include "ZAVPkgLog.h"
#include "base/ZAVDirectory.h"
#include "base/ZAVFiles.h"
#include "base/ZAVRename.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>

namespace {

constexpr char kSavedInfix[] = ".zav-saved-";

bool isSpaceError(int error)
{
    return error == ENOSPC || error == EFBIG || error == EDQUOT;
}

} // namespace

ZAVPackageTransaction::ZAVPackageTransaction(const ZAVPackageHome &home, ZAVPkgLog &log)
    : m_home(home), m_log(log)
{
}

ZAVPackageTransaction::~ZAVPackageTransaction()
{
    rollBack();
}

ZAVPkgResult ZAVPackageTransaction::openHomeDirectory(const std::vector<std::string> &components,
                                                      ZAVFd *fd)
{
    ZAVFd current(fcntl(m_home.fd.get(), F_DUPFD_CLOEXEC, 0));
    std::vector<std::string> walked;
    for (const std::string &component : components) {
        walked.push_back(component);
        bool created = false;
        ZAVResult<ZAVFd> next =
            ZAVDirectory::openOrCreate(current.get(), component, 0755, &created);
        const std::string path = m_home.absolute("/") + ZAVFiles::joined(walked);
        if (!next) {
            const int error = next.errorNumber();
            if (error == ELOOP || error == ENOTDIR)
                return ZAVPkgError::failed(ZAVQuoted(path) +
                                           " is a symbolic link or not a directory; zav-pkg "
                                           "follows no links inside the home");
            return ZAVPkgError::failed("cannot create " + ZAVQuoted(path) + ": " +
                                       ZAVFiles::errorText(error));
        }
        if (created) {
            m_log.detail("created " + path);
            const int parent = fcntl(current.get(), F_DUPFD_CLOEXEC, 0);
            m_undo.push_back([this, parent, component] {
                if (!m_swapped)
                    unlinkat(parent, component.c_str(), AT_REMOVEDIR);
                close(parent);
            });
        }
        current = std::move(*next);
    }
    *fd = std::move(current);
    return std::nullopt;
}

ZAVPkgResult ZAVPackageTransaction::adoptStaging(int optFd, int parentFd, const std::string &name)
{
    m_optFd = optFd;
    m_stagingParentFd = parentFd;
    m_stagingName = name;
    ZAVResult<ZAVFd> fd = ZAVDirectory::open(parentFd, name);
    if (!fd)
        return ZAVPkgError::failed("cannot open the version to swap in", fd.error());
    m_stagingFd = std::move(*fd);
    return std::nullopt;
}

ZAVPkgResult ZAVPackageTransaction::createStaging(int optFd, const std::string &optPath)
{
    m_optFd = optFd;
    m_stagingParentFd = optFd;
    for (int attempt = 0; !m_stagingFd.valid(); ++attempt) {
        m_stagingName = ZAVFiles::randomName(ZAVPackageRecovery::kStagingPrefix);
        if (mkdirat(optFd, m_stagingName.c_str(), 0700) != 0) {
            if (errno == EEXIST && attempt < 8)
                continue;
            return ZAVPkgError::failed("cannot create a staging directory in " + optPath + ": " +
                                       ZAVFiles::errorText(errno));
        }
        const std::string staging = m_stagingName;
        m_undo.push_back([this, optFd, staging] {
            if (!m_swapped)
                ZAVDirectory::removeTree(optFd, staging);
        });
        ZAVResult<ZAVFd> fd = ZAVDirectory::open(optFd, m_stagingName);
        if (!fd)
            return ZAVPkgError::failed("cannot open the staging directory", fd.error());
        m_stagingFd = std::move(*fd);
    }
    m_log.detail("staging in " + optPath + "/" + m_stagingName);
    return std::nullopt;
}

ZAVPkgResult ZAVPackageTransaction::stage(int dirFd, const std::string &finalName,
                                          const std::string &what, std::string_view data,
                                          int sourceFd, mode_t mode)
{
    ZAVResult<ZAVAtomicFile> file =
        ZAVAtomicFile::create(dirFd, finalName, mode, ZAVPackageRecovery::kTemporaryPrefix);
    ZAVStatus written = file.status();
    if (written)
        written = sourceFd >= 0 ? file->copyFrom(sourceFd) : file->append(data);
    if (written)
        written = file->flush();
    if (!written) {
        const int error = written.errorNumber();
        if (isSpaceError(error))
            return ZAVPkgError::failed("not enough space left to write the " + what + " (" +
                                       ZAVFiles::errorText(error) + ")");
        return ZAVPkgError::failed("cannot write the " + what + ": " + ZAVFiles::errorText(error));
    }
    // Removed by its destructor unless renamed into place: after a failure, before or after
    // the swap.
    m_staged.push_back(std::move(*file));
    return std::nullopt;
}

ZAVPkgResult
ZAVPackageTransaction::moveAside(const std::vector<ZAVPackageReceipt::Unowned> &unowned)
{
    char stamp[32] = {};
    const time_t now = time(nullptr);
    tm utc{};
    strftime(stamp, sizeof stamp, "%Y%m%dT%H%M%SZ", gmtime_r(&now, &utc));
    for (const ZAVPackageReceipt::Unowned &thing : unowned) {
        std::string saved = thing.name + kSavedInfix + stamp;
        ZAVStatus moved = ZAVFileError{thing.name, EEXIST, {}};
        for (int attempt = 1; !moved && attempt <= 100; ++attempt) {
            if (attempt > 1)
                saved = thing.name + kSavedInfix + stamp + '-' + std::to_string(attempt);
            moved = ZAVRename::noReplace(thing.folder.get(), thing.name, thing.folder.get(), saved);
            if (!moved && moved.errorNumber() != EEXIST && moved.errorNumber() != ENOTEMPTY)
                return ZAVPkgError::failed("cannot move " + ZAVQuoted(thing.path) + " aside",
                                           moved.error());
        }
        if (!moved)
            return ZAVPkgError::failed("cannot move " + ZAVQuoted(thing.path) +
                                       " aside: too many saved copies beside it");
        m_log.message("moved " + ZAVQuoted(thing.path) +
                      ", which zav-pkg did not install, aside to " + saved);
        const int folder = thing.folder.get();
        m_undo.push_back([this, folder, saved, name = thing.name] {
            if (!m_swapped)
                ZAVRename::noReplace(folder, saved, folder, name);
        });
    }
    return std::nullopt;
}

ZAVPkgResult ZAVPackageTransaction::swap(const std::string &id)
{
    m_id = id;
    const mode_t mask = umask(0);
    umask(mask);
    if (fchmod(m_stagingFd.get(), 0755 & ~mask) != 0)
        return ZAVPkgError::failed("cannot set the mode of the staging directory: " +
                                   ZAVFiles::errorText(errno));
    // Everything unpacked reaches the disk before it becomes the installed version.
    if (syncfs(m_stagingFd.get()) != 0)
        return ZAVPkgError::failed("cannot flush the unpacked files to disk: " +
                                   ZAVFiles::errorText(errno));

    const int optFd = m_optFd;
    struct stat st {};
    const bool installed = fstatat(optFd, id.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0;
    if (installed) {
        const ZAVStatus exchanged =
            ZAVRename::exchange(m_stagingParentFd, m_stagingName, optFd, id);
        if (exchanged) {
            m_oldName = m_stagingName;
            m_exchanged = true;
        } else if (ZAVRename::unsupported(exchanged)) {
            // A file system without exchange: move the old version aside under a name that
            // the next run restores from if this one dies before the new version is in place.
            m_oldName = ZAVFiles::randomName(ZAVPackageRecovery::kOldPrefix + id + '-');
            if (const ZAVStatus aside = ZAVRename::replace(optFd, id, optFd, m_oldName); !aside)
                return ZAVPkgError::failed("cannot move the installed version aside",
                                           aside.error());
            if (const ZAVStatus moved =
                    ZAVRename::replace(m_stagingParentFd, m_stagingName, optFd, id);
                !moved) {
                ZAVRename::replace(optFd, m_oldName, optFd, id);
                return ZAVPkgError::failed("cannot move the new version into place", moved.error());
            }
        } else {
            return ZAVPkgError::failed("cannot swap in the new version", exchanged.error());
        }
    } else if (const ZAVStatus moved =
                   ZAVRename::noReplace(m_stagingParentFd, m_stagingName, optFd, id);
               !moved) {
        return ZAVPkgError::failed("cannot move the new version into place", moved.error());
    }
    m_swapped = true;
    m_log.detail(std::string(installed ? "swapped " : "moved ") + m_stagingName + " to " + id);
    return std::nullopt;
}

ZAVPkgResult ZAVPackageTransaction::commitFiles()
{
    // What each rename replaces stays reachable under a temporary name until all are done.
    std::vector<std::string> previous(m_staged.size());
    for (size_t i = 0; i < m_staged.size(); ++i) {
        ZAVAtomicFile &file = m_staged[i];
        const int dirFd = file.directoryFd();
        const std::string &finalName = file.finalName();
        const std::string backup = ZAVFiles::randomName(ZAVPackageRecovery::kTemporaryPrefix);
        if (linkat(dirFd, finalName.c_str(), dirFd, backup.c_str(), 0) == 0)
            previous[i] = backup;
        const ZAVStatus committed = file.commit();
        if (committed)
            continue;
        // (A rename between two links of one file would leave both: the one that failed
        // still has its previous file, and only the extra link goes.)
        if (!previous[i].empty())
            unlinkat(dirFd, previous[i].c_str(), 0);
        for (size_t j = i; j-- > 0;) {
            const ZAVAtomicFile &done = m_staged[j];
            if (!previous[j].empty())
                ZAVRename::replace(done.directoryFd(), previous[j], done.directoryFd(),
                                   done.finalName());
            else
                unlinkat(done.directoryFd(), done.finalName().c_str(), 0);
        }
        return failAfterSwap(
            ZAVPkgError::failed("cannot put " + finalName + " in place", committed.error()));
    }
    for (size_t i = 0; i < m_staged.size(); ++i) {
        if (!previous[i].empty())
            unlinkat(m_staged[i].directoryFd(), previous[i].c_str(), 0);
    }
    return std::nullopt;
}

ZAVPkgError ZAVPackageTransaction::failAfterSwap(ZAVPkgError error)
{
    if (swapBack())
        return ZAVPkgError{error.kind, error.message + "; the previous state was put back"};
    return ZAVPkgError{error.kind, error.message + "; the new version of " + m_id +
                                       " stays in its place without its desktop entry"};
}

bool ZAVPackageTransaction::swapBack()
{
    const int optFd = m_optFd;
    if (m_exchanged) {
        if (!ZAVRename::exchange(m_stagingParentFd, m_stagingName, optFd, m_id))
            return false;
    } else {
        if (!ZAVRename::replace(optFd, m_id, m_stagingParentFd, m_stagingName))
            return false;
        // Should this fail, the next run puts the moved-aside version back.
        if (!m_oldName.empty())
            ZAVRename::replace(optFd, m_oldName, optFd, m_id);
    }
    m_swapped = false;
    m_oldName.clear();
    m_log.detail("swapped the previous version back");
    return true;
}

void ZAVPackageTransaction::flush(const std::vector<int> &folders)
{
    for (const int fd : folders) {
        if (fd >= 0)
            fsync(fd);
    }
    fsync(m_optFd);
}

void ZAVPackageTransaction::removePrevious()
{
    if (m_oldName.empty())
        return;
    const int folder = m_exchanged ? m_stagingParentFd : m_optFd;
    if (const ZAVStatus removed = ZAVDirectory::removeTree(folder, m_oldName); !removed)
        m_log.message("warning: cannot remove the previous version (" +
                      removed.error().reasonText() + "); the next run removes it");
    else
        m_log.phase("removed the previous version");
    m_oldName.clear();
}

void ZAVPackageTransaction::rollBack()
{
    // The temporary files first: the folders made for them go only once they are empty.
    m_staged.clear();
    for (auto step = m_undo.rbegin(); step != m_undo.rend(); ++step)
        (*step)();
    m_undo.clear();
}

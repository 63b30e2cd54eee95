#include "ZAVPackageInstaller.h"

#include "ZAVPackageDelta.h"
#include "ZAVPackageExtractor.h"
#include "ZAVPackageHome.h"
#include "ZAVPackageIntegration.h"
#include "ZAVPackageOwnership.h"
#include "ZAVPackageReceipt.h"
#include "ZAVPackageRecovery.h"
#include "ZAVPackageRemoval.h"
#include "ZAVPackageRollback.h"
#include "ZAVPackageRunCheck.h"
#include "ZAVPackageStream.h"
#include "ZAVPackageTransaction.h"
#include "ZAVPackageTree.h"
#include "ZAVPkgLog.h"
#include "base/ZAVDirectory.h"
#include "base/ZAVFd.h"
#include "base/ZAVFiles.h"
#include "base/ZAVUserAppLayout.h"

#include <QString>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <optional>

namespace {

// The remover beside the running program (in a bundle, beside its loader); -1 when there is
// none.
ZAVFd openRemoverBesideUs()
{
    char self[PATH_MAX] = {};
    const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    std::string path(self, n > 0 ? static_cast<size_t>(n) : 0);
    if (path.rfind('/') == std::string::npos)
        return ZAVFd();
    path = path.substr(0, path.rfind('/') + 1) + ZAVPackageRemoval::kRemoverName;
    ZAVFd fd(open(path.c_str(), O_RDONLY | O_CLOEXEC));
    struct stat st {};
    if (!fd.valid() || fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode))
        return ZAVFd();
    return fd;
}

// One run: the steps of ZAVPackageInstaller::install in order. The transaction undoes what
// the run changed unless it completes.
class Installation {
public:
    Installation(const std::string &packagePath, const std::string &home,
                 const ZAVPackageInstaller::Options &options, ZAVPkgLog &log)
        : m_packagePath(packagePath), m_options(options), m_log(log),
          m_folders(*ZAVUserAppLayout::forApplication("zav.folders", "/")),
          m_transaction(m_home, log)
    {
        m_home.path = home;
    }

    ZAVPkgResult run();

private:
    ZAVPkgResult openPackage();
    // The package against -size (before unpacking) or -sha256 (after: the bytes it read).
    ZAVPkgResult checkExpected(bool unpacked) const;
    ZAVPkgResult openHome();
    ZAVPkgResult unpack();
    // The delta's way to the staging directory: from the installed version and the delta.
    ZAVPkgResult applyDelta();
    ZAVPkgResult checkId();
    ZAVPkgResult stageIntegration();
    // Stages the shared remover when the home's copy is missing or older than ours; the
    // arguments of the uninstall action, or none when there is no remover.
    std::vector<std::string> stageRemover();
    ZAVPkgResult commit();
    void finish();

    const std::string m_packagePath;
    const ZAVPackageInstaller::Options m_options;
    ZAVPkgLog &m_log;
    // The folders that do not depend on the application id.
    const ZAVUserAppLayout m_folders;
    ZAVPackageHome m_home;

    ZAVFd m_packageFd;
    off_t m_packageSize = 0;
    ZAVFd m_optFd;
    ZAVPackageExtractor::Result m_unpacked;
    std::string m_sha256;
    std::string m_id;
    std::optional<ZAVUserAppLayout> m_layout; // for the home "/"
    ZAVPackageIntegration m_integration;
    std::vector<ZAVPackageReceipt::Unowned> m_unowned;
    ZAVFd m_applicationsFd;
    ZAVFd m_iconDirectoryFd;
    ZAVFd m_receiptsFd;
    ZAVFd m_removerFolderFd;
    ZAVFd m_removerSource; // the remover to copy into the home, when it needs it
    // The record's place of each staged file ("" for the remover, which is no one's).
    std::vector<std::string> m_stagedPlaces;
    ZAVPackageRollback::Keeping m_keeping;
    // Last, so that it goes first: its roll-back uses the descriptors above.
    ZAVPackageTransaction m_transaction;
};

ZAVPkgResult Installation::run()
{
    if (auto error = openPackage())
        return error;
    if (QString::fromStdString(m_home.path).toStdString() != m_home.path)
        return ZAVPkgError::failed("the home " + ZAVQuoted(m_home.path) +
                                   " is not UTF-8: a desktop entry cannot name a program in it");
    // Launchers look for the program an Exec names before they expand its "%%" into "%".
    if (m_home.path.find('%') != std::string::npos)
        return ZAVPkgError::failed("the home " + ZAVQuoted(m_home.path) +
                                   " has a % in its name: desktop launchers cannot start a "
                                   "program in it");
    if (auto error = checkExpected(false))
        return m_options.delta ? ZAVPkgError::doesNotApply(error->message) : error;
    if (auto error = openHome())
        return error;
    ZAVPackageRecovery::cleanLeftovers(m_home, m_optFd.get(), m_log);

    if (m_options.delta) {
        m_log.phase("applying the delta " + m_packagePath);
        if (auto error = applyDelta())
            return error;
        m_log.phase("built " + std::to_string(m_unpacked.entryCount) + " entries, " +
                    std::to_string(m_unpacked.byteCount) + " bytes, from the delta");
    } else {
        m_log.phase("unpacking " + m_packagePath);
        if (auto error = unpack())
            return error;
        if (auto error = checkExpected(true))
            return error;
        m_log.phase("unpacked " + std::to_string(m_unpacked.entryCount) + " entries, " +
                    std::to_string(m_unpacked.byteCount) + " bytes");
    }

    if (auto error = checkId())
        return error;
    if (auto error = m_integration.check(m_transaction.stagingFd(), m_unpacked.desktopEntryName,
                                         m_home.absolute(m_layout->applicationDirectory()), m_log))
        return error;
    const std::string &version = m_integration.version();
    m_log.phase("checked " + m_id + " " + (version.empty() ? "(no version)" : version));
    // A product that cannot start here is not installed: what is installed stays.
    const std::string name = m_integration.productName();
    if (auto error =
            ZAVPackageRunCheck::check(m_transaction.stagingFd(), m_integration.mainProgram(),
                                      name.empty() ? m_id : name, m_log))
        return error;

    if (auto error =
            ZAVPackageReceipt::findUnowned(m_home, *m_layout, m_options.replaceUnowned, &m_unowned))
        return error;
    if (m_unowned.empty())
        m_keeping.prepare(m_home, m_optFd.get(), *m_layout, m_log);
    if (auto error = stageIntegration())
        return error;
    if (auto error = m_transaction.moveAside(m_unowned))
        return error;
    if (auto error = m_transaction.swap(m_id))
        return error;
    if (auto error = commit())
        return error;
    m_log.phase("installed " + m_id + " into " + m_home.absolute(m_layout->applicationDirectory()));
    finish();
    return std::nullopt;
}

ZAVPkgResult Installation::openPackage()
{
    // Without blocking: opening a FIFO for reading would otherwise wait for a writer.
    m_packageFd.reset(open(m_packagePath.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    if (!m_packageFd.valid())
        return ZAVPkgError::unreadable("cannot open the package " + ZAVQuoted(m_packagePath) +
                                       ": " + ZAVFiles::errorText(errno));
    struct stat st {};
    if (fstat(m_packageFd.get(), &st) != 0 || !S_ISREG(st.st_mode))
        return ZAVPkgError::unreadable("the package " + ZAVQuoted(m_packagePath) +
                                       " is not a regular file");
    const int flags = fcntl(m_packageFd.get(), F_GETFL);
    if (flags < 0 || fcntl(m_packageFd.get(), F_SETFL, flags & ~O_NONBLOCK) != 0)
        return ZAVPkgError::unreadable("cannot read the package " + ZAVQuoted(m_packagePath) +
                                       ": " + ZAVFiles::errorText(errno));
    m_packageSize = st.st_size;
    posix_fadvise(m_packageFd.get(), 0, 0, POSIX_FADV_SEQUENTIAL);
    return std::nullopt;
}

ZAVPkgResult Installation::checkExpected(bool unpacked) const
{
    if (!unpacked && m_options.expected.size >= 0 && m_packageSize != m_options.expected.size)
        return ZAVPkgError::refused("the package has " + std::to_string(m_packageSize) +
                                    " bytes, not the " + std::to_string(m_options.expected.size) +
                                    " expected (-size)");
    if (unpacked && !m_options.expected.sha256.empty() && m_sha256 != m_options.expected.sha256)
        return ZAVPkgError::refused("the package's SHA-256 is " + m_sha256 + ", not the " +
                                    m_options.expected.sha256 + " expected (-sha256)");
    return std::nullopt;
}

ZAVPkgResult Installation::openHome()
{
    if (ZAVPkgResult error = m_home.openAndLock(m_log))
        return error;
    return m_transaction.openHomeDirectory(ZAVPackageHome::below(m_folders.optDirectory()),
                                           &m_optFd);
}

ZAVPkgResult Installation::unpack()
{
    if (auto error =
            m_transaction.createStaging(m_optFd.get(), m_home.absolute(m_folders.optDirectory())))
        return error;
    ZAVPackageStream package(m_packageFd.get());
    const ZAVPkgResult unpacked =
        ZAVPackageExtractor::extract(package, m_transaction.stagingFd(), m_log, &m_unpacked);
    if (unpacked && unpacked->kind == ZAVPkgError::Kind::Unreadable)
        return unpacked;
    // The compressed data is read to its end and its checks verified even when an entry was
    // refused: damaged data can decompress into entries that break a rule, and then what
    // counts is that the package is damaged.
    m_sha256 = package.sha256();
    if (m_sha256.empty())
        return ZAVPkgError::unreadable(std::string(unpacked ? "the package is damaged"
                                                            : "the package is damaged after its "
                                                              "last entry") +
                                       ": " + package.errorMessage());
    return unpacked;
}

ZAVPkgResult Installation::applyDelta()
{
    const std::optional<ZAVUserAppLayout> layout =
        ZAVUserAppLayout::forApplication(m_options.expectedId, "/");
    if (!layout)
        return ZAVPkgError::usage("a delta needs the application id (-id)");
    const std::string installedSha256 = ZAVPackageReceipt::packageSha256(m_home, *layout);
    if (installedSha256.empty())
        return ZAVPkgError::doesNotApply(m_options.expectedId +
                                         " has no receipt here that names the package it came "
                                         "from");
    const ZAVResult<ZAVFd> installed = ZAVDirectory::openPath(
        m_home.fd.get(), ZAVPackageHome::below(layout->applicationDirectory()));
    if (!installed)
        return ZAVPkgError::doesNotApply("the installed application directory cannot be opened: " +
                                         installed.error().reasonText());
    // The delta is small beside the package: its digest is checked before it is read for its
    // entries, so nothing of a file that is not the one pinned is acted on.
    if (!m_options.expected.sha256.empty()) {
        const ZAVResult<std::string> digest =
            ZAVPackageTree::fileDigest(m_packageFd.get(), nullptr);
        if (!digest || *digest != m_options.expected.sha256)
            return ZAVPkgError::doesNotApply(
                "the delta's SHA-256 is " + (digest ? *digest : std::string("unreadable")) +
                ", not the " + m_options.expected.sha256 + " expected (-sha256)");
        if (lseek(m_packageFd.get(), 0, SEEK_SET) != 0)
            return ZAVPkgError::failed("cannot read the delta again: " +
                                       ZAVFiles::errorText(errno));
    }
    if (auto error =
            m_transaction.createStaging(m_optFd.get(), m_home.absolute(m_folders.optDirectory())))
        return error;
    ZAVPackageDelta::Result result;
    const ZAVPackageDelta::Pinned pinned{m_options.delta->treeSha256,
                                         m_options.delta->packageSha256};
    if (auto error = ZAVPackageDelta::apply(m_packageFd.get(), installed->get(), installedSha256,
                                            m_transaction.stagingFd(), pinned, m_log, &result))
        return error;
    m_unpacked = std::move(result.unpacked);
    m_sha256 = pinned.packageSha256;
    m_packageSize = static_cast<off_t>(result.packageSize);
    return std::nullopt;
}

ZAVPkgResult Installation::checkId()
{
    const std::string &entryName = m_unpacked.desktopEntryName;
    if (entryName.empty())
        return ZAVPkgError::refused(
            "the package has no desktop entry at its root; it needs exactly one, named after "
            "the application id (such as org.example.App.desktop)");
    m_id = entryName.substr(0, entryName.size() - std::string_view(".desktop").size());
    m_layout = ZAVUserAppLayout::forApplication(m_id, "/");
    if (!m_layout)
        return ZAVPkgError::refused(
            "desktop entry " + ZAVQuoted(entryName) + ": " + ZAVQuoted(m_id) +
            " is not a valid application id (reverse-DNS such as org.example.App: two or more "
            "parts separated by '.', each of letters, digits, '_' and '-', none starting with "
            "a digit)");
    if (!m_options.expectedId.empty() && m_id != m_options.expectedId)
        return ZAVPkgError::refused("the package holds the application " + ZAVQuoted(m_id) +
                                    ", not " + ZAVQuoted(m_options.expectedId) +
                                    " that was asked for");
    return std::nullopt;
}

ZAVPkgResult Installation::stageIntegration()
{
    if (auto error = m_transaction.openHomeDirectory(
            ZAVPackageHome::below(m_layout->applicationsDirectory()), &m_applicationsFd))
        return error;
    if (auto error = m_transaction.openHomeDirectory(
            ZAVPackageHome::below(m_layout->receiptsDirectory()), &m_receiptsFd))
        return error;
    const bool icon = m_integration.hasIcon();
    const std::string iconPath =
        icon ? m_layout->iconPath(m_integration.iconExtension()) : std::string();
    if (icon) {
        if (auto error = m_transaction.openHomeDirectory(ZAVPackageHome::folderOf(iconPath),
                                                         &m_iconDirectoryFd))
            return error;
    }

    ZAVPackageReceipt::Contents receipt;
    receipt.id = m_id;
    receipt.version = m_integration.version();
    receipt.packageSha256 = m_sha256;
    receipt.packageSize = m_packageSize;
    receipt.applicationDirectory = m_home.absolute(m_layout->applicationDirectory());
    receipt.desktopEntry = m_home.absolute(m_layout->desktopEntryPath());
    if (icon)
        receipt.icon = m_home.absolute(iconPath);
    receipt.files = m_unpacked.paths;

    // The desktop entry goes first (commit() checks it by its temporary name) and the receipt
    // last: once it is in place, the installation is complete.
    const std::vector<std::string> remover = stageRemover();
    if (auto error =
            m_transaction.stage(m_applicationsFd.get(), m_layout->desktopEntryFileName(),
                                "desktop entry", m_integration.integratedText(m_id, remover)))
        return error;
    m_stagedPlaces.push_back("desktop-entry");
    if (!remover.empty() && m_removerSource.valid()) {
        if (auto error =
                m_transaction.stage(m_removerFolderFd.get(), ZAVPackageRemoval::kRemoverName,
                                    "remover", {}, m_removerSource.get(), 0755))
            return error;
        struct stat st {};
        fstat(m_removerSource.get(), &st);
        const timespec times[2] = {st.st_mtim, st.st_mtim};
        futimens(m_transaction.staged().back().fd(), times);
        m_stagedPlaces.push_back("");
    }
    if (icon) {
        if (auto error =
                m_transaction.stage(m_iconDirectoryFd.get(), ZAVPackageHome::nameOf(iconPath),
                                    "icon", {}, m_integration.iconFd()))
            return error;
        m_stagedPlaces.push_back("icon-" + m_integration.iconExtension());
    }
    if (auto error =
            m_transaction.stage(m_receiptsFd.get(), ZAVPackageHome::nameOf(m_layout->receiptPath()),
                                "receipt", ZAVPackageReceipt::text(receipt)))
        return error;
    m_stagedPlaces.push_back("receipt");
    m_log.phase("prepared the desktop entry, icon and receipt");
    return std::nullopt;
}

std::vector<std::string> Installation::stageRemover()
{
    const ZAVFd source = openRemoverBesideUs();
    if (!source.valid()) {
        m_log.message("warning: no " + std::string(ZAVPackageRemoval::kRemoverName) +
                      " beside zav-pkg: the desktop entry gets no action to uninstall");
        return {};
    }
    if (m_transaction.openHomeDirectory(ZAVFiles::components(ZAVPackageRemoval::kRemoverFolder),
                                        &m_removerFolderFd))
        return {};
    const std::string path = m_home.absolute(std::string("/") + ZAVPackageRemoval::kRemoverFolder +
                                             '/' + ZAVPackageRemoval::kRemoverName);
    struct stat ours {};
    struct stat theirs {};
    fstat(source.get(), &ours);
    const bool present = fstatat(m_removerFolderFd.get(), ZAVPackageRemoval::kRemoverName, &theirs,
                                 AT_SYMLINK_NOFOLLOW) == 0 &&
                         S_ISREG(theirs.st_mode);
    const auto older = [](const timespec &a, const timespec &b) {
        return a.tv_sec < b.tv_sec || (a.tv_sec == b.tv_sec && a.tv_nsec < b.tv_nsec);
    };
    if (!present || older(theirs.st_mtim, ours.st_mtim))
        m_removerSource.reset(fcntl(source.get(), F_DUPFD_CLOEXEC, 0));
    return {path, "-id", m_id, "-target", m_home.path};
}

ZAVPkgResult Installation::commit()
{
    // The entry is checked where it lies, once the programs it names are in place.
    const std::string staged =
        m_home.absolute(m_layout->applicationsDirectory()) + '/' + m_transaction.firstStagedName();
    if (auto why = m_integration.checkLaunches(staged))
        return m_transaction.failAfterSwap(ZAVPkgError::failed(
            "the desktop entry written for " + m_home.absolute(m_layout->desktopEntryPath()) +
            " would not start the program installed: " + why->message));
    // Every file at a place is listed before any is replaced: what is there now, and what
    // replaces it (ZAVPackageOwnership).
    std::vector<ZAVPackageOwnership::Line> record = ZAVPackageOwnership::current(m_home, *m_layout);
    for (size_t i = 0; i < m_stagedPlaces.size(); ++i) {
        const ZAVAtomicFile &file = m_transaction.staged()[i];
        if (!m_stagedPlaces[i].empty())
            record.push_back({m_stagedPlaces[i], ZAVPackageOwnership::identityOf(
                                                     file.directoryFd(), file.temporaryName())});
    }
    std::string previous;
    if (const ZAVStatus written =
            ZAVPackageOwnership::write(m_receiptsFd.get(), m_id, record, &previous);
        !written)
        return m_transaction.failAfterSwap(
            ZAVPkgError::failed("cannot write the ownership record", written.error()));
    ZAVPkgResult committed = m_transaction.commitFiles();
    ZAVPackageOwnership::finish(m_receiptsFd.get(), m_id, previous, !committed);
    return committed;
}

void Installation::finish()
{
    // An icon of the previous version in the other format, or one the new version lacks.
    for (const char *extension : {"png", "svg"}) {
        if (m_integration.hasIcon() && m_integration.iconExtension() == extension)
            continue;
        const std::string path = m_layout->iconPath(extension);
        const ZAVResult<ZAVFd> directory =
            ZAVDirectory::openPath(m_home.fd.get(), ZAVPackageHome::folderOf(path));
        const std::string name = ZAVPackageHome::nameOf(path);
        if (directory && unlinkat(directory->get(), name.c_str(), 0) == 0)
            m_log.detail("removed the previous icon " + m_home.absolute(path));
    }
    m_transaction.flush({m_applicationsFd.get(), m_iconDirectoryFd.get(), m_receiptsFd.get()});
    m_log.phase("installed the desktop entry " + m_home.absolute(m_layout->desktopEntryPath()));
    if (!m_keeping.keep(m_transaction.previousFolderFd(), m_transaction.previousName()))
        m_transaction.removePrevious();
}

} // namespace

ZAVPkgResult ZAVPackageInstaller::install(const std::string &packagePath, const std::string &home,
                                          const Options &options, ZAVPkgLog &log)
{
    if (home.empty() || home.front() != '/')
        return ZAVPkgError::usage("the target home " + ZAVQuoted(home) +
                                  " is not an absolute path");
    std::string cleaned = home;
    while (cleaned.size() > 1 && cleaned.back() == '/')
        cleaned.pop_back();
    Installation installation(packagePath, cleaned, options, log);
    return installation.run();
}

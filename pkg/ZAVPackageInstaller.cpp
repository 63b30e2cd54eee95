#include "ZAVPackageInstaller.h"

#include "ZAVPackageExtractor.h"
#include "ZAVPackageHome.h"
#include "ZAVPackageIntegration.h"
#include "ZAVPackageReceipt.h"
#include "ZAVPackageRecovery.h"
#include "ZAVPackageRunCheck.h"
#include "ZAVPackageStream.h"
#include "ZAVPackageTransaction.h"
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
#include <optional>

namespace {

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
    ZAVPkgResult checkId();
    ZAVPkgResult stageIntegration();
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
    if (auto error = checkExpected(false))
        return error;
    if (auto error = openHome())
        return error;
    ZAVPackageRecovery::cleanLeftovers(m_home, m_optFd.get(), m_log);

    m_log.phase("unpacking " + m_packagePath);
    if (auto error = unpack())
        return error;
    if (auto error = checkExpected(true))
        return error;
    m_log.phase("unpacked " + std::to_string(m_unpacked.entryCount) + " entries, " +
                std::to_string(m_unpacked.byteCount) + " bytes");

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
    m_home.fd.reset(open(m_home.path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!m_home.fd.valid())
        return ZAVPkgError::failed("cannot open the home directory " + ZAVQuoted(m_home.path) +
                                   ": " + ZAVFiles::errorText(errno));
    ZAVPackageRecovery::lockHome(m_home.fd.get(), m_log);
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
    if (auto error = m_transaction.stage(m_applicationsFd.get(), m_layout->desktopEntryFileName(),
                                         "desktop entry", m_integration.integratedText(m_id)))
        return error;
    if (icon) {
        if (auto error =
                m_transaction.stage(m_iconDirectoryFd.get(), ZAVPackageHome::nameOf(iconPath),
                                    "icon", {}, m_integration.iconFd()))
            return error;
    }
    if (auto error =
            m_transaction.stage(m_receiptsFd.get(), ZAVPackageHome::nameOf(m_layout->receiptPath()),
                                "receipt", ZAVPackageReceipt::text(receipt)))
        return error;
    m_log.phase("prepared the desktop entry, icon and receipt");
    return std::nullopt;
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
    return m_transaction.commitFiles();
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

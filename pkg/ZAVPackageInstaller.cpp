#include "ZAVPackageInstaller.h"

#include "ZAVDesktopEntry.h"
#include "base/ZAVFd.h"
#include "ZAVFileSystem.h"
#include "ZAVPackageExtractor.h"
#include "ZAVPackageStream.h"
#include "ZAVPkgLog.h"
#include "base/ZAVUserAppLayout.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <dirent.h>
#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <functional>

namespace {

constexpr char kStagingPrefix[] = ".zav-staging-";
constexpr char kOldPrefix[] = ".zav-old-";
constexpr char kTemporaryPrefix[] = ".zav-tmp-";
constexpr char kSavedInfix[] = ".zav-saved-";
// Length of the "-<16 hex digits>" that ends an old directory's name.
constexpr size_t kRandomSuffixLength = 17;
constexpr off_t kMaxDesktopEntrySize = 1 << 20;
constexpr off_t kMaxReceiptSize = 64 << 20;

// The components of a path of a layout for the home "/": the same path below any home.
std::vector<std::string> below(const std::string &path)
{
    return ZAVFileSystem::components(path);
}

std::string parentOf(const std::string &path)
{
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

// The folder that holds `path` (a path of a layout for the home "/"), as components.
std::vector<std::string> folderOf(const std::string &path)
{
    return ZAVFileSystem::components(parentOf(path));
}

// Opens `path` inside `rootFd` the way the running system will open it: links of the package
// are followed, but the kernel refuses any resolution that leaves `rootFd`.
ZAVFd openBeneath(int rootFd, const std::string &path, int flags, int *error)
{
    open_how how{};
    how.flags = static_cast<uint64_t>(flags | O_CLOEXEC);
    how.resolve = RESOLVE_BENEATH | RESOLVE_NO_MAGICLINKS;
    long fd = syscall(SYS_openat2, rootFd, path.c_str(), &how, sizeof how);
    if (fd < 0 && errno == ENOSYS) {
        // Kernels before 5.6: no links at all on the way.
        const std::vector<std::string> parts = ZAVFileSystem::components(path);
        if (parts.empty()) {
            *error = ENOENT;
            return ZAVFd();
        }
        ZAVFd parent = ZAVFileSystem::openPath(
            rootFd, std::vector<std::string>(parts.begin(), parts.end() - 1), error);
        if (!parent.valid())
            return parent;
        fd = openat(parent.get(), parts.back().c_str(), flags | O_CLOEXEC | O_NOFOLLOW);
    }
    *error = fd < 0 ? errno : 0;
    return ZAVFd(static_cast<int>(fd));
}

class Installation {
public:
    Installation(const std::string &packagePath, const std::string &home,
                 const ZAVPackageInstaller::Options &options, ZAVPkgLog &log)
        : m_packagePath(packagePath), m_home(home), m_options(options), m_log(log),
          m_folders(*ZAVUserAppLayout::forApplication("zav.folders", "/"))
    {
    }
    ~Installation() { rollBack(); }

    ZAVPkgResult run();

private:
    struct Program {
        std::string relativePath;
        std::string absolutePath;
    };
    // Something at one of the places an installation replaces that no receipt of ours lists.
    struct Unowned {
        ZAVFd folder;
        std::string name;
        std::string path;
    };

    // The bytes of `layoutPath` (a path of a layout for the home "/") in this home.
    std::string absolute(const std::string &layoutPath) const
    {
        return (m_home == "/" ? std::string() : m_home) + layoutPath;
    }

    ZAVPkgResult openPackage();
    // The package against -size (before unpacking) or -sha256 (after: the bytes it read).
    ZAVPkgResult checkExpected(bool unpacked) const;
    ZAVPkgResult openHome();
    // Opens the directory at `components` below the home, creating missing ones; what it
    // creates is removed again if the run does not complete.
    ZAVPkgResult openHomeDirectory(const std::vector<std::string> &components, ZAVFd *fd);
    void cleanLeftovers();
    void cleanTemporaryFiles(const std::vector<std::string> &components);
    ZAVPkgResult unpack();
    ZAVPkgResult check();
    ZAVPkgResult checkProgram(const std::string &what, const std::string &path,
                              Program *program);
    void findIcon(const std::string &name);
    bool readReceipt();
    ZAVPkgResult checkDestinations();
    ZAVPkgResult moveAsideUnowned();
    ZAVPkgResult writeIntegration();
    ZAVPkgResult swap();
    bool swapBack();
    ZAVPkgResult commit();
    ZAVPkgResult failAfterSwap(ZAVPkgError error);
    void finish();
    void rollBack();

    const std::string m_packagePath;
    const std::string m_home;
    const ZAVPackageInstaller::Options m_options;
    ZAVPkgLog &m_log;
    // The folders that do not depend on the application id.
    const ZAVUserAppLayout m_folders;

    ZAVFd m_packageFd;
    off_t m_packageSize = 0;
    ZAVFd m_homeFd;
    ZAVFd m_optFd;
    std::string m_stagingName;
    ZAVFd m_stagingFd;
    bool m_swapped = false;
    bool m_exchanged = false;
    std::vector<std::function<void()>> m_undo;

    ZAVPackageExtractor::Result m_unpacked;
    std::string m_id;
    std::optional<ZAVUserAppLayout> m_layout;
    std::string m_version;
    std::vector<Program> m_programs;
    std::optional<Program> m_tryExec;
    std::optional<ZAVDesktopEntry> m_entry;
    ZAVFd m_iconFd;
    std::string m_iconExtension;
    std::string m_sha256;
    std::vector<Unowned> m_unowned;
    std::vector<std::string> m_programPaths; // the absolute programs written into the entry

    struct Replacement {
        int dirFd;
        std::string temporaryName;
        std::string finalName;
    };
    ZAVFd m_applicationsFd;
    ZAVFd m_iconDirectoryFd;
    ZAVFd m_receiptsFd;
    std::vector<Replacement> m_replacements;
    std::string m_oldName;
};

ZAVPkgResult Installation::run()
{
    if (auto error = openPackage())
        return error;
    if (QString::fromStdString(m_home).toStdString() != m_home)
        return ZAVPkgError::failed("the home " + ZAVQuoted(m_home) +
                                   " is not UTF-8: a desktop entry cannot name a program in it");
    if (auto error = checkExpected(false))
        return error;
    if (auto error = openHome())
        return error;
    cleanLeftovers();

    m_log.phase("unpacking " + m_packagePath);
    if (auto error = unpack())
        return error;
    if (auto error = checkExpected(true))
        return error;
    m_log.phase("unpacked " + std::to_string(m_unpacked.entryCount) + " entries, " +
                std::to_string(m_unpacked.byteCount) + " bytes");

    if (auto error = check())
        return error;
    m_log.phase("checked " + m_id + " " + (m_version.empty() ? "(no version)" : m_version));

    if (auto error = checkDestinations())
        return error;
    if (auto error = writeIntegration())
        return error;
    if (auto error = moveAsideUnowned())
        return error;
    if (auto error = swap())
        return error;
    if (auto error = commit())
        return error;
    m_log.phase("installed " + m_id + " into " + absolute(m_layout->applicationDirectory()));
    finish();
    return std::nullopt;
}

ZAVPkgResult Installation::openPackage()
{
    // Without blocking: opening a FIFO for reading would otherwise wait for a writer.
    m_packageFd.reset(open(m_packagePath.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    if (!m_packageFd.valid())
        return ZAVPkgError::unreadable("cannot open the package " + ZAVQuoted(m_packagePath) +
                                       ": " + ZAVFileSystem::errorText(errno));
    struct stat st {};
    if (fstat(m_packageFd.get(), &st) != 0 || !S_ISREG(st.st_mode))
        return ZAVPkgError::unreadable("the package " + ZAVQuoted(m_packagePath) +
                                       " is not a regular file");
    const int flags = fcntl(m_packageFd.get(), F_GETFL);
    if (flags < 0 || fcntl(m_packageFd.get(), F_SETFL, flags & ~O_NONBLOCK) != 0)
        return ZAVPkgError::unreadable("cannot read the package " + ZAVQuoted(m_packagePath) +
                                       ": " + ZAVFileSystem::errorText(errno));
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
    m_homeFd.reset(open(m_home.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!m_homeFd.valid())
        return ZAVPkgError::failed("cannot open the home directory " + ZAVQuoted(m_home) + ": " +
                                   ZAVFileSystem::errorText(errno));
    while (flock(m_homeFd.get(), LOCK_EX) != 0) {
        if (errno != EINTR) {
            // Some network file systems lock nothing on directories; go on unlocked.
            m_log.detail("no lock on the home: " + ZAVFileSystem::errorText(errno));
            break;
        }
    }
    return openHomeDirectory(below(m_folders.optDirectory()), &m_optFd);
}

ZAVPkgResult Installation::openHomeDirectory(const std::vector<std::string> &components,
                                             ZAVFd *fd)
{
    ZAVFd current(fcntl(m_homeFd.get(), F_DUPFD_CLOEXEC, 0));
    std::vector<std::string> walked;
    for (const std::string &component : components) {
        walked.push_back(component);
        bool created = false;
        int error = 0;
        ZAVFd next =
            ZAVFileSystem::openOrCreateDirectory(current.get(), component, 0755, &created, &error);
        const std::string path = absolute("/") + ZAVFileSystem::joined(walked);
        if (!next.valid()) {
            if (error == ELOOP || error == ENOTDIR)
                return ZAVPkgError::failed(ZAVQuoted(path) +
                                           " is a symbolic link or not a directory; zav-pkg "
                                           "follows no links inside the home");
            return ZAVPkgError::failed("cannot create " + ZAVQuoted(path) + ": " +
                                       ZAVFileSystem::errorText(error));
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
        current = std::move(next);
    }
    *fd = std::move(current);
    return std::nullopt;
}

void Installation::cleanLeftovers()
{
    // Runs for this home take turns (the lock), so whatever carries our prefixes is a
    // leftover of a run that was killed.
    const int listFd = fcntl(m_optFd.get(), F_DUPFD_CLOEXEC, 0);
    DIR *dir = listFd >= 0 ? fdopendir(listFd) : nullptr;
    std::vector<std::string> names;
    while (dir) {
        const dirent *entry = readdir(dir);
        if (!entry)
            break;
        const std::string name = entry->d_name;
        if (name.starts_with(kStagingPrefix) || name.starts_with(kOldPrefix))
            names.push_back(name);
    }
    if (dir)
        closedir(dir);
    else if (listFd >= 0)
        close(listFd);
    for (const std::string &name : names) {
        if (name.starts_with(kOldPrefix) &&
            name.size() > sizeof kOldPrefix - 1 + kRandomSuffixLength) {
            // Moved aside by a run without RENAME_EXCHANGE that died before the new version
            // took its place: put it back.
            const std::string id = name.substr(sizeof kOldPrefix - 1,
                                               name.size() - (sizeof kOldPrefix - 1) -
                                                   kRandomSuffixLength);
            struct stat st {};
            if (ZAVUserAppLayout::isValidApplicationId(id) &&
                fstatat(m_optFd.get(), id.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 &&
                errno == ENOENT &&
                renameat(m_optFd.get(), name.c_str(), m_optFd.get(), id.c_str()) == 0) {
                m_log.message("restored " + id + " from an interrupted installation");
                continue;
            }
        }
        const int error = ZAVFileSystem::removeTree(m_optFd.get(), name);
        m_log.detail("removed " + name + " left by an interrupted installation" +
                     (error ? ": " + ZAVFileSystem::errorText(error) : std::string()));
    }
    cleanTemporaryFiles(below(m_folders.applicationsDirectory()));
    cleanTemporaryFiles(below(m_folders.receiptsDirectory()));
    for (const char *extension : {"png", "svg"})
        cleanTemporaryFiles(folderOf(m_folders.iconPath(extension)));
}

void Installation::cleanTemporaryFiles(const std::vector<std::string> &components)
{
    int error = 0;
    ZAVFd directory = ZAVFileSystem::openPath(m_homeFd.get(), components, &error);
    if (!directory.valid())
        return;
    DIR *dir = fdopendir(fcntl(directory.get(), F_DUPFD_CLOEXEC, 0));
    if (!dir)
        return;
    std::vector<std::string> names;
    while (const dirent *entry = readdir(dir)) {
        if (std::string_view(entry->d_name).starts_with(kTemporaryPrefix))
            names.emplace_back(entry->d_name);
    }
    closedir(dir);
    for (const std::string &name : names) {
        unlinkat(directory.get(), name.c_str(), 0);
        m_log.detail("removed " + ZAVFileSystem::joined(components) + "/" + name +
                     " left by an interrupted installation");
    }
}

ZAVPkgResult Installation::unpack()
{
    for (int attempt = 0; !m_stagingFd.valid(); ++attempt) {
        m_stagingName = ZAVFileSystem::randomName(kStagingPrefix);
        if (mkdirat(m_optFd.get(), m_stagingName.c_str(), 0700) != 0) {
            if (errno == EEXIST && attempt < 8)
                continue;
            return ZAVPkgError::failed("cannot create a staging directory in " +
                                       absolute(m_folders.optDirectory()) + ": " +
                                       ZAVFileSystem::errorText(errno));
        }
        const int optFd = m_optFd.get();
        const std::string staging = m_stagingName;
        m_undo.push_back([this, optFd, staging] {
            if (!m_swapped)
                ZAVFileSystem::removeTree(optFd, staging);
        });
        int error = 0;
        m_stagingFd = ZAVFileSystem::openDirectory(m_optFd.get(), m_stagingName, &error);
        if (!m_stagingFd.valid())
            return ZAVPkgError::failed("cannot open the staging directory: " +
                                       ZAVFileSystem::errorText(error));
    }
    m_log.detail("staging in " + absolute(m_folders.optDirectory()) + "/" + m_stagingName);

    ZAVPackageStream package(m_packageFd.get());
    const ZAVPkgResult unpacked =
        ZAVPackageExtractor::extract(package, m_stagingFd.get(), m_log, &m_unpacked);
    if (unpacked && unpacked->kind == ZAVPkgError::Kind::Unreadable)
        return unpacked;
    // The compressed data is read to its end and its checks verified even when an entry was
    // refused: damaged data can decompress into entries that break a rule, and then what
    // counts is that the package is damaged.
    m_sha256 = package.sha256();
    if (m_sha256.empty())
        return ZAVPkgError::unreadable(
            std::string(unpacked ? "the package is damaged" : "the package is damaged after its "
                                                               "last entry") +
            ": " + package.errorMessage());
    return unpacked;
}

ZAVPkgResult Installation::check()
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

    ZAVFd entryFd(openat(m_stagingFd.get(), entryName.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    struct stat st {};
    if (!entryFd.valid() || fstat(entryFd.get(), &st) != 0 || !S_ISREG(st.st_mode))
        return ZAVPkgError::refused("desktop entry " + ZAVQuoted(entryName) +
                                    " is not a regular file");
    if (st.st_size > kMaxDesktopEntrySize)
        return ZAVPkgError::refused("desktop entry " + ZAVQuoted(entryName) +
                                    " is larger than 1 MiB");
    std::string text(static_cast<size_t>(st.st_size), '\0');
    if (pread(entryFd.get(), text.data(), text.size(), 0) != static_cast<ssize_t>(text.size()))
        return ZAVPkgError::failed("cannot read desktop entry " + ZAVQuoted(entryName) + ": " +
                                   ZAVFileSystem::errorText(errno));
    std::string why;
    m_entry = ZAVDesktopEntry::fromText(text, &why);
    if (!m_entry)
        return ZAVPkgError::refused("desktop entry " + ZAVQuoted(entryName) + ": " + why);
    m_version = m_entry->packageVersion().value_or(std::string());

    for (const ZAVDesktopEntry::Command &command : m_entry->commands()) {
        Program program;
        if (auto error = checkProgram("the Exec of [" + command.group + "]",
                                      command.arguments.front(), &program))
            return error->withContext("desktop entry " + ZAVQuoted(entryName));
        m_programs.push_back(program);
    }
    if (m_entry->tryExec()) {
        Program program;
        if (auto error = checkProgram("TryExec", *m_entry->tryExec(), &program))
            return error->withContext("desktop entry " + ZAVQuoted(entryName));
        m_tryExec = program;
    }
    if (m_entry->icon())
        findIcon(*m_entry->icon());
    return std::nullopt;
}

ZAVPkgResult Installation::checkProgram(const std::string &what, const std::string &path,
                                        Program *program)
{
    const std::string quoted = ZAVQuoted(path);
    if (path.empty() || path.front() == '/')
        return ZAVPkgError::refused(what + " names " + quoted +
                                    ", not a program inside the application directory; name "
                                    "it by its path relative to the directory");
    const std::vector<std::string> parts = ZAVFileSystem::components(path);
    for (const std::string &part : parts) {
        if (part == "..")
            return ZAVPkgError::refused(what + " names " + quoted +
                                        ", which leaves the application directory");
    }
    int error = 0;
    ZAVFd fd = openBeneath(m_stagingFd.get(), path, O_PATH, &error);
    if (!fd.valid()) {
        if (error == ENOENT || error == ENOTDIR)
            return ZAVPkgError::refused(what + " names " + quoted +
                                        ", which is not in the package");
        return ZAVPkgError::refused(what + " names " + quoted +
                                    ", which cannot be reached inside the application "
                                    "directory (" +
                                    ZAVFileSystem::errorText(error) + ")");
    }
    struct stat st {};
    if (fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode))
        return ZAVPkgError::refused(what + " names " + quoted + ", which is not a regular file");
    if (!(st.st_mode & S_IXUSR))
        return ZAVPkgError::refused(what + " names " + quoted +
                                    ", which is not executable; give it mode 0755");
    program->relativePath = ZAVFileSystem::joined(parts);
    program->absolutePath =
        absolute(m_layout->applicationDirectory()) + '/' + program->relativePath;
    return std::nullopt;
}

void Installation::findIcon(const std::string &name)
{
    std::vector<std::string> candidates;
    if (name.ends_with(".png") || name.ends_with(".svg"))
        candidates.push_back(name);
    else
        candidates = {name + ".svg", name + ".png"};
    for (const std::string &candidate : candidates) {
        if (candidate.front() == '/' || candidate.find("..") != std::string::npos)
            break; // an icon of the theme, or somewhere we do not copy from
        int error = 0;
        ZAVFd fd = openBeneath(m_stagingFd.get(), candidate, O_RDONLY, &error);
        struct stat st {};
        if (fd.valid() && fstat(fd.get(), &st) == 0 && S_ISREG(st.st_mode)) {
            m_iconFd = std::move(fd);
            m_iconExtension = candidate.substr(candidate.size() - 3);
            m_log.detail("icon " + candidate);
            return;
        }
    }
    m_log.detail("Icon " + ZAVQuoted(name) +
                 " is not a PNG or SVG file in the package; kept as an icon name");
}

bool Installation::readReceipt()
{
    int error = 0;
    ZAVFd folder =
        ZAVFileSystem::openPath(m_homeFd.get(), below(m_layout->receiptsDirectory()), &error);
    ZAVFd fd(folder.valid() ? openat(folder.get(), (m_id + ".json").c_str(),
                                     O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY)
                            : -1);
    struct stat st {};
    if (!fd.valid() || fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode) ||
        st.st_size > kMaxReceiptSize)
        return false;
    QByteArray text(static_cast<qsizetype>(st.st_size), Qt::Uninitialized);
    if (pread(fd.get(), text.data(), static_cast<size_t>(text.size()), 0) != text.size())
        return false;
    const QJsonObject receipt = QJsonDocument::fromJson(text).object();
    if (receipt.value(QLatin1String("id")).toString().toStdString() != m_layout->applicationId() ||
        !receipt.value(QLatin1String("files")).isArray())
        return false;
    return true;
}

ZAVPkgResult Installation::checkDestinations()
{
    // A receipt of ours for this id owns the application directory, the desktop entry and the
    // two icon places of the id, provided each is of the kind zav-pkg makes there. Both icons:
    // a run killed between renaming the icon and the receipt into place leaves the icon of one
    // version beside the receipt of the other. The application directory goes as a whole:
    // what the application wrote into it goes with it.
    const bool receipt = readReceipt();
    const std::vector<std::pair<std::string, bool>> places{
        {m_layout->applicationDirectory(), true},
        {m_layout->desktopEntryPath(), false},
        {m_layout->iconPath("svg"), false},
        {m_layout->iconPath("png"), false},
        {m_layout->receiptPath(), false},
    };
    std::string names;
    for (const auto &[place, directory] : places) {
        const std::string &path = place;
        int error = 0;
        // A folder that is missing holds nothing to replace; one that is a link is refused
        // when it is opened for writing.
        ZAVFd folder = ZAVFileSystem::openPath(m_homeFd.get(), folderOf(place), &error);
        if (!folder.valid())
            continue;
        const std::string name = path.substr(path.rfind('/') + 1);
        struct stat st {};
        if (fstatat(folder.get(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
            if (errno == ENOENT)
                continue;
            return ZAVPkgError::failed("cannot look at " + ZAVQuoted(absolute(place)) + ": " +
                                       ZAVFileSystem::errorText(errno));
        }
        if (receipt && (directory ? S_ISDIR(st.st_mode) : S_ISREG(st.st_mode)))
            continue;
        names += (names.empty() ? "" : ", ") + ZAVQuoted(absolute(place));
        m_unowned.push_back({std::move(folder), name, absolute(place)});
    }
    if (m_unowned.empty() || m_options.replaceUnowned)
        return std::nullopt;
    return ZAVPkgError::failed(
        names + (m_unowned.size() == 1 ? " is" : " are") +
        " not what zav-pkg installed there (no receipt of zav-pkg lists it); nothing was "
        "changed. Move it away, or run with -replace-unowned to have it moved aside");
}

ZAVPkgResult Installation::moveAsideUnowned()
{
    char stamp[32] = {};
    const time_t now = time(nullptr);
    tm utc {};
    strftime(stamp, sizeof stamp, "%Y%m%dT%H%M%SZ", gmtime_r(&now, &utc));
    for (const Unowned &thing : m_unowned) {
        std::string saved = thing.name + kSavedInfix + stamp;
        int result = -1;
        for (int attempt = 1; result != 0 && attempt <= 100; ++attempt) {
            if (attempt > 1)
                saved = thing.name + kSavedInfix + stamp + '-' + std::to_string(attempt);
            result = renameat2(thing.folder.get(), thing.name.c_str(), thing.folder.get(),
                               saved.c_str(), RENAME_NOREPLACE);
            if (result != 0 && (errno == EINVAL || errno == ENOSYS) &&
                faccessat(thing.folder.get(), saved.c_str(), F_OK, AT_SYMLINK_NOFOLLOW) != 0)
                result = renameat(thing.folder.get(), thing.name.c_str(), thing.folder.get(),
                                  saved.c_str());
            if (result != 0 && errno != EEXIST && errno != ENOTEMPTY)
                return ZAVPkgError::failed("cannot move " + ZAVQuoted(thing.path) +
                                           " aside: " + ZAVFileSystem::errorText(errno));
        }
        if (result != 0)
            return ZAVPkgError::failed("cannot move " + ZAVQuoted(thing.path) +
                                       " aside: too many saved copies beside it");
        m_log.message("moved " + ZAVQuoted(thing.path) +
                      ", which zav-pkg did not install, aside to " + saved);
        const int folder = thing.folder.get();
        m_undo.push_back([this, folder, saved, name = thing.name] {
            if (!m_swapped)
                renameat2(folder, saved.c_str(), folder, name.c_str(), RENAME_NOREPLACE);
        });
    }
    return std::nullopt;
}

ZAVPkgResult Installation::writeIntegration()
{
    if (auto error = openHomeDirectory(below(m_layout->applicationsDirectory()),
                                       &m_applicationsFd))
        return error;
    if (auto error = openHomeDirectory(below(m_layout->receiptsDirectory()), &m_receiptsFd))
        return error;
    const std::string iconPath =
        m_iconFd.valid() ? m_layout->iconPath(m_iconExtension) : std::string();
    if (m_iconFd.valid()) {
        if (auto error = openHomeDirectory(folderOf(iconPath), &m_iconDirectoryFd))
            return error;
    }

    for (const Program &program : m_programs)
        m_programPaths.push_back(program.absolutePath);
    std::optional<std::string> tryExec;
    if (m_tryExec)
        tryExec = m_tryExec->absolutePath;
    std::optional<std::string> icon;
    if (m_iconFd.valid())
        icon = m_id;
    const std::string desktopText = m_entry->integratedText(m_programPaths, tryExec, icon);

    QJsonArray files;
    for (const std::string &path : m_unpacked.paths)
        files.append(QString::fromStdString(path));
    const QJsonObject receipt{
        {QStringLiteral("id"), QString::fromStdString(m_id)},
        {QStringLiteral("version"),
         m_version.empty() ? QJsonValue() : QJsonValue(QString::fromStdString(m_version))},
        {QStringLiteral("time"),
         QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs)},
        {QStringLiteral("packageSha256"), QString::fromStdString(m_sha256)},
        {QStringLiteral("packageSize"), static_cast<qint64>(m_packageSize)},
        {QStringLiteral("applicationDirectory"),
         QString::fromStdString(absolute(m_layout->applicationDirectory()))},
        {QStringLiteral("desktopEntry"),
         QString::fromStdString(absolute(m_layout->desktopEntryPath()))},
        {QStringLiteral("icon"), m_iconFd.valid()
                                     ? QJsonValue(QString::fromStdString(absolute(iconPath)))
                                     : QJsonValue()},
        {QStringLiteral("files"), files},
    };
    const QByteArray receiptText = QJsonDocument(receipt).toJson(QJsonDocument::Indented);

    const auto write = [this](int dirFd, const std::string &finalName, const std::string &what,
                              const std::function<int(const std::string &)> &writer) {
        const std::string temporary = ZAVFileSystem::randomName(kTemporaryPrefix);
        if (const int error = writer(temporary)) {
            if (error == ENOSPC || error == EFBIG || error == EDQUOT)
                return ZAVPkgResult(ZAVPkgError::failed(
                    "not enough space left to write the " + what + " (" +
                    ZAVFileSystem::errorText(error) + ")"));
            return ZAVPkgResult(ZAVPkgError::failed("cannot write the " + what + ": " +
                                                    ZAVFileSystem::errorText(error)));
        }
        // Gone once renamed into place; still there after a failure, before or after the swap.
        m_undo.push_back([dirFd, temporary] { unlinkat(dirFd, temporary.c_str(), 0); });
        m_replacements.push_back({dirFd, temporary, finalName});
        return ZAVPkgResult();
    };
    if (auto error = write(m_applicationsFd.get(), m_layout->desktopEntryFileName(),
                           "desktop entry", [&](const std::string &name) {
                               return ZAVFileSystem::writeNewFile(m_applicationsFd.get(), name,
                                                                  desktopText, 0644);
                           }))
        return error;
    if (m_iconFd.valid()) {
        const std::string iconName = m_id + '.' + m_iconExtension;
        if (auto error = write(m_iconDirectoryFd.get(), iconName, "icon",
                               [&](const std::string &name) {
                                   return ZAVFileSystem::copyToNewFile(
                                       m_iconFd.get(), m_iconDirectoryFd.get(), name, 0644);
                               }))
            return error;
    }
    // The receipt goes last: once it is in place, the installation is complete.
    if (auto error = write(m_receiptsFd.get(), m_id + ".json", "receipt",
                           [&](const std::string &name) {
                               return ZAVFileSystem::writeNewFile(
                                   m_receiptsFd.get(), name,
                                   std::string_view(receiptText.constData(),
                                                    static_cast<size_t>(receiptText.size())),
                                   0644);
                           }))
        return error;
    m_log.phase("prepared the desktop entry, icon and receipt");
    return std::nullopt;
}

ZAVPkgResult Installation::swap()
{
    const mode_t mask = umask(0);
    umask(mask);
    if (fchmod(m_stagingFd.get(), 0755 & ~mask) != 0)
        return ZAVPkgError::failed("cannot set the mode of the staging directory: " +
                                   ZAVFileSystem::errorText(errno));
    // Everything unpacked reaches the disk before it becomes the installed version.
    if (syncfs(m_stagingFd.get()) != 0)
        return ZAVPkgError::failed("cannot flush the unpacked files to disk: " +
                                   ZAVFileSystem::errorText(errno));

    const int optFd = m_optFd.get();
    const char *staging = m_stagingName.c_str();
    const char *id = m_id.c_str();
    struct stat st {};
    const bool installed = fstatat(optFd, id, &st, AT_SYMLINK_NOFOLLOW) == 0;
    if (installed) {
        if (renameat2(optFd, staging, optFd, id, RENAME_EXCHANGE) == 0) {
            m_oldName = m_stagingName;
            m_exchanged = true;
        } else if (errno == EINVAL || errno == ENOSYS) {
            // A file system without exchange: move the old version aside under a name that
            // the next run restores from if this one dies before the new version is in place.
            m_oldName = ZAVFileSystem::randomName(kOldPrefix + m_id + '-');
            if (renameat(optFd, id, optFd, m_oldName.c_str()) != 0)
                return ZAVPkgError::failed("cannot move the installed version aside: " +
                                           ZAVFileSystem::errorText(errno));
            if (renameat(optFd, staging, optFd, id) != 0) {
                const int error = errno;
                renameat(optFd, m_oldName.c_str(), optFd, id);
                return ZAVPkgError::failed("cannot move the new version into place: " +
                                           ZAVFileSystem::errorText(error));
            }
        } else {
            return ZAVPkgError::failed("cannot swap in the new version: " +
                                       ZAVFileSystem::errorText(errno));
        }
    } else {
        int result = renameat2(optFd, staging, optFd, id, RENAME_NOREPLACE);
        if (result != 0 && (errno == EINVAL || errno == ENOSYS))
            result = renameat(optFd, staging, optFd, id);
        if (result != 0)
            return ZAVPkgError::failed("cannot move the new version into place: " +
                                       ZAVFileSystem::errorText(errno));
    }
    m_swapped = true;
    m_log.detail(std::string(installed ? "swapped " : "moved ") + m_stagingName + " to " + m_id);
    return std::nullopt;
}

ZAVPkgResult Installation::commit()
{
    // The entry is checked where it lies, once the programs it names are in place.
    std::string why;
    const Replacement &entry = m_replacements.front();
    std::optional<std::string> tryExec;
    if (m_tryExec)
        tryExec = m_tryExec->absolutePath;
    if (!m_entry->launchesAsIntegrated(absolute(m_layout->applicationsDirectory()) + '/' +
                                           entry.temporaryName,
                                       m_programPaths, tryExec, &why))
        return failAfterSwap(ZAVPkgError::failed(
            "the desktop entry written for " + absolute(m_layout->desktopEntryPath()) +
            " would not start the program installed: " + why));

    // What each rename replaces stays reachable under a temporary name until all are done.
    std::vector<std::string> previous(m_replacements.size());
    for (size_t i = 0; i < m_replacements.size(); ++i) {
        const Replacement &replacement = m_replacements[i];
        const std::string backup = ZAVFileSystem::randomName(kTemporaryPrefix);
        if (linkat(replacement.dirFd, replacement.finalName.c_str(), replacement.dirFd,
                   backup.c_str(), 0) == 0)
            previous[i] = backup;
        if (renameat(replacement.dirFd, replacement.temporaryName.c_str(), replacement.dirFd,
                     replacement.finalName.c_str()) == 0)
            continue;
        const int error = errno;
        // (A rename between two links of one file would leave both: the one that failed
        // still has its previous file, and only the extra link goes.)
        if (!previous[i].empty())
            unlinkat(replacement.dirFd, previous[i].c_str(), 0);
        for (size_t j = i; j-- > 0;) {
            const Replacement &done = m_replacements[j];
            if (!previous[j].empty())
                renameat(done.dirFd, previous[j].c_str(), done.dirFd, done.finalName.c_str());
            else
                unlinkat(done.dirFd, done.finalName.c_str(), 0);
        }
        return failAfterSwap(ZAVPkgError::failed("cannot put " + replacement.finalName +
                                                 " in place: " +
                                                 ZAVFileSystem::errorText(error)));
    }
    for (size_t i = 0; i < m_replacements.size(); ++i) {
        if (!previous[i].empty())
            unlinkat(m_replacements[i].dirFd, previous[i].c_str(), 0);
    }
    return std::nullopt;
}

ZAVPkgResult Installation::failAfterSwap(ZAVPkgError error)
{
    if (swapBack())
        return ZAVPkgError{error.kind, error.message + "; the previous state was put back"};
    return ZAVPkgError{error.kind, error.message + "; the new version of " + m_id +
                                       " stays in its place without its desktop entry"};
}

bool Installation::swapBack()
{
    const int optFd = m_optFd.get();
    if (m_exchanged) {
        if (renameat2(optFd, m_stagingName.c_str(), optFd, m_id.c_str(), RENAME_EXCHANGE) != 0)
            return false;
    } else {
        if (renameat(optFd, m_id.c_str(), optFd, m_stagingName.c_str()) != 0)
            return false;
        // Should this fail, the next run puts the moved-aside version back.
        if (!m_oldName.empty())
            renameat(optFd, m_oldName.c_str(), optFd, m_id.c_str());
    }
    m_swapped = false;
    m_oldName.clear();
    m_log.detail("swapped the previous version back");
    return true;
}

void Installation::finish()
{
    // An icon of the previous version in the other format, or one the new version lacks.
    for (const char *extension : {"png", "svg"}) {
        if (m_iconFd.valid() && m_iconExtension == extension)
            continue;
        const std::string path = m_layout->iconPath(extension);
        int error = 0;
        ZAVFd directory = ZAVFileSystem::openPath(m_homeFd.get(), folderOf(path), &error);
        const std::string name = m_id + '.' + extension;
        if (directory.valid() && unlinkat(directory.get(), name.c_str(), 0) == 0)
            m_log.detail("removed the previous icon " + absolute(path));
    }
    for (const int fd : {m_applicationsFd.get(), m_iconDirectoryFd.get(), m_receiptsFd.get(),
                         m_optFd.get()}) {
        if (fd >= 0)
            fsync(fd);
    }
    m_log.phase("installed the desktop entry " + absolute(m_layout->desktopEntryPath()));

    if (!m_oldName.empty()) {
        if (const int error = ZAVFileSystem::removeTree(m_optFd.get(), m_oldName))
            m_log.message("warning: cannot remove the previous version (" +
                          ZAVFileSystem::errorText(error) + "); the next run removes it");
        else
            m_log.phase("removed the previous version");
    }
}

void Installation::rollBack()
{
    for (auto step = m_undo.rbegin(); step != m_undo.rend(); ++step)
        (*step)();
    m_undo.clear();
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

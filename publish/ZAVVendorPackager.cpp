#include "ZAVVendorPackager.h"

#include "ZAVVendorFiles.h"
#include "base/ZAVAtomicFile.h"
#include "base/ZAVDirectory.h"
#include "base/ZAVFd.h"
#include "base/ZAVFileReader.h"
#include "base/ZAVFiles.h"
#include "base/ZAVUserAppLayout.h"
#include "pkg/ZAVDesktopEntry.h"
#include "pkg/ZAVPackageTree.h"
#include "pkg/ZAVPkgLog.h"

#include <QDir>
#include <QFile>

#include <archive.h>
#include <archive_entry.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <memory>
#include <optional>
#include <vector>

namespace {

namespace fs = std::filesystem;

struct ArchiveFree {
    void operator()(archive *a) const { archive_write_free(a); }
    void operator()(archive_entry *entry) const { archive_entry_free(entry); }
};

long long sourceDateEpoch()
{
    const char *value = std::getenv("SOURCE_DATE_EPOCH");
    if (!value || !*value)
        return 0;
    char *end = nullptr;
    const long long epoch = std::strtoll(value, &end, 10);
    return *end == '\0' && epoch >= 0 ? epoch : 0;
}

// "cannot read <path>: <the system's text for errno>", carrying errno.
ZAVFileError cannotRead(const std::string &path)
{
    const int error = errno != 0 ? errno : EIO;
    return ZAVVendorFiles::sentence(error,
                                    "cannot read " + path + ": " + ZAVFiles::errorText(error));
}

// "<what>: <libarchive's words>", carrying libarchive's errno (EIO when it has none).
ZAVFileError archiveFailure(archive *a, const std::string &what)
{
    const int error = archive_errno(a) > 0 ? archive_errno(a) : EIO;
    const char *words = archive_error_string(a);
    return ZAVVendorFiles::sentence(error,
                                    what + ": " + (words ? words : ZAVFiles::errorText(error)));
}

ZAVStatus writeContents(archive *a, const std::string &path, uint64_t size)
{
    ZAVFd fd(open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY));
    if (!fd.valid())
        return cannotRead(path);
    std::vector<char> buffer(1 << 16);
    uint64_t done = 0;
    while (done < size) {
        const ssize_t n = read(fd.get(), buffer.data(),
                               static_cast<size_t>(std::min<uint64_t>(buffer.size(), size - done)));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return cannotRead(path);
        if (n == 0)
            return ZAVVendorFiles::sentence(EIO, "cannot read " + path +
                                                     ": it shrank while being packed");
        if (archive_write_data(a, buffer.data(), static_cast<size_t>(n)) != n)
            return archiveFailure(a, "cannot write the package");
        done += static_cast<uint64_t>(n);
    }
    return {};
}

// What SIGINT, SIGTERM or SIGHUP remove before they end the program as they would have (signals
// that were ignored stay ignored): the temporary package being written, and the throw-away
// home a package is checked in. The handler makes async-signal-safe calls only: unlinkat on a
// directory descriptor and a name, and rm -rf on a path, started with _Fork and execve and
// waited for; both are kept in static buffers that change only while these signals are
// blocked. Then the signal's earlier action comes back and the signal is raised again.
constexpr int kCleanupSignals[] = {SIGINT, SIGTERM, SIGHUP};
struct sigaction g_previousActions[std::size(kCleanupSignals)];
bool g_handled[std::size(kCleanupSignals)];
int g_cleanups = 0;
int g_partialDirectory = -1;
char g_partialName[512];
char g_scratchHome[4096];

void cleanUpOnSignal(int signal)
{
    if (g_partialDirectory >= 0)
        unlinkat(g_partialDirectory, g_partialName, 0);
    if (g_scratchHome[0] == '/') {
        const pid_t child = _Fork();
        if (child == 0) {
            char rm[] = "rm", force[] = "-rf", end[] = "--";
            char *const argv[] = {rm, force, end, g_scratchHome, nullptr};
            char *const environment[] = {nullptr};
            execve("/bin/rm", argv, environment);
            _exit(127);
        }
        while (child > 0 && waitpid(child, nullptr, 0) < 0 && errno == EINTR) {
        }
    }
    for (size_t i = 0; i < std::size(kCleanupSignals); ++i) {
        if (kCleanupSignals[i] == signal)
            sigaction(signal, &g_previousActions[i], nullptr);
    }
    raise(signal); // delivered once this handler returns
}

class SignalCleanup {
public:
    enum Kind { PartialPackage, ScratchHome };

    SignalCleanup(Kind kind, const std::string &path) : m_kind(kind)
    {
        const Blocked blocked;
        if (kind == PartialPackage) {
            const size_t slash = path.rfind('/');
            const std::string directory =
                slash == std::string::npos ? std::string(".") : path.substr(0, slash + 1);
            const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
            if (name.size() >= sizeof g_partialName)
                return;
            g_partialDirectory = open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            if (g_partialDirectory < 0)
                return;
            std::memcpy(g_partialName, name.c_str(), name.size() + 1);
        } else {
            std::string absolute = path;
            if (!path.starts_with('/')) {
                std::error_code failure;
                absolute = fs::current_path(failure).native() + '/' + path;
                if (failure)
                    return;
            }
            if (absolute.size() >= sizeof g_scratchHome)
                return;
            std::memcpy(g_scratchHome, absolute.c_str(), absolute.size() + 1);
        }
        m_active = true;
        if (g_cleanups++ > 0)
            return;
        for (size_t i = 0; i < std::size(kCleanupSignals); ++i) {
            struct sigaction action {};
            action.sa_handler = cleanUpOnSignal;
            sigfillset(&action.sa_mask);
            struct sigaction &previous = g_previousActions[i];
            if (sigaction(kCleanupSignals[i], nullptr, &previous) != 0 ||
                previous.sa_handler == SIG_IGN)
                continue;
            g_handled[i] = sigaction(kCleanupSignals[i], &action, nullptr) == 0;
        }
    }
    ~SignalCleanup() { clear(); }
    SignalCleanup(const SignalCleanup &) = delete;
    SignalCleanup &operator=(const SignalCleanup &) = delete;

    // Nothing more to remove on a signal: the file or folder is gone or kept.
    void clear()
    {
        if (!m_active)
            return;
        const Blocked blocked;
        m_active = false;
        if (m_kind == PartialPackage) {
            close(g_partialDirectory);
            g_partialDirectory = -1;
        } else {
            g_scratchHome[0] = '\0';
        }
        if (--g_cleanups > 0)
            return;
        for (size_t i = 0; i < std::size(kCleanupSignals); ++i) {
            if (g_handled[i])
                sigaction(kCleanupSignals[i], &g_previousActions[i], nullptr);
            g_handled[i] = false;
        }
    }

private:
    // The signals held back while the buffers change.
    class Blocked {
    public:
        Blocked()
        {
            sigset_t held;
            sigemptyset(&held);
            for (const int signal : kCleanupSignals)
                sigaddset(&held, signal);
            pthread_sigmask(SIG_BLOCK, &held, &m_previous);
        }
        ~Blocked() { pthread_sigmask(SIG_SETMASK, &m_previous, nullptr); }
        Blocked(const Blocked &) = delete;
        Blocked &operator=(const Blocked &) = delete;

    private:
        sigset_t m_previous;
    };

    Kind m_kind;
    bool m_active = false;
};

// The desktop entry zav-pkg unpacked for `id` into the throw-away `home`, or nothing when it
// cannot be read (zav-pkg has just read it, so that does not happen short of a race).
std::optional<ZAVDesktopEntry> installedEntry(const std::string &home, const std::string &id)
{
    const auto layout = ZAVUserAppLayout::forApplication(id, home);
    if (!layout)
        return std::nullopt;
    const ZAVResult<std::string> text =
        ZAVFileReader::read(layout->applicationDirectory() + '/' + id + ".desktop", 1 << 20,
                            ZAVFileReader::Links::Refuse);
    if (!text)
        return std::nullopt;
    ZAVResult<ZAVDesktopEntry> entry = ZAVDesktopEntry::fromText(*text);
    if (!entry)
        return std::nullopt;
    return std::move(*entry);
}

// The tree digest of the application directory of `id` installed in `home`; empty when it
// cannot be read.
std::string installedTreeSha256(const std::string &home, const std::string &id)
{
    const auto layout = ZAVUserAppLayout::forApplication(id, home);
    if (!layout)
        return {};
    const ZAVResult<ZAVFd> directory = ZAVDirectory::open(AT_FDCWD, layout->applicationDirectory());
    if (!directory)
        return {};
    const ZAVResult<std::vector<ZAVPackageTree::Entry>> entries =
        ZAVPackageTree::scan(directory->get());
    return entries ? ZAVPackageTree::digest(*entries) : std::string();
}

} // namespace

ZAVResult<ZAVVendorPackager::Result>
ZAVVendorPackager::check(const std::string &package, const ZAVPackageInstaller::Expected &expected,
                         std::string *keptHome)
{
    if (access(package.c_str(), R_OK) != 0)
        return cannotRead(package);
    const std::string home = ZAVVendorFiles::makeScratchDirectory("zav-vendor-check-");
    if (home.empty()) {
        const int error = errno != 0 ? errno : EIO;
        return ZAVVendorFiles::sentence(error,
                                        "cannot make a throw-away home to check the package in: " +
                                            ZAVFiles::errorText(error));
    }
    SignalCleanup cleanup(SignalCleanup::ScratchHome, home);
    ZAVPkgLog log(false, false);
    ZAVPackageInstaller::Options options;
    options.expected = expected;
    // The modes installed are then the package's, as the tree digest takes them.
    const mode_t mask = umask(0);
    const ZAVPkgResult refusal = ZAVPackageInstaller::install(package, home, options, log);
    umask(mask);
    QStringList receipts;
    std::optional<ZAVDesktopEntry> entry;
    std::string treeSha256;
    if (!refusal) {
        const auto layout = ZAVUserAppLayout::forApplication("zav.check", home);
        receipts = QDir(QFile::decodeName(QByteArray::fromStdString(layout->receiptsDirectory())))
                       .entryList({QStringLiteral("*.json")}, QDir::Files);
        // The entry as packed, at the root of the installed directory, for its name and version.
        if (receipts.size() == 1) {
            entry = installedEntry(home, receipts.front().chopped(5).toStdString());
            treeSha256 = installedTreeSha256(home, receipts.front().chopped(5).toStdString());
        }
    }
    if (keptHome && !refusal)
        *keptHome = home;
    else
        ZAVVendorFiles::removeScratchDirectory(home);
    cleanup.clear();

    if (refusal && refusal->kind == ZAVPkgError::Kind::Failed)
        return ZAVVendorFiles::sentence(EIO,
                                        "the package could not be checked: " + refusal->message);
    if (refusal)
        return ZAVVendorFiles::sentence(EPERM,
                                        "zav-pkg would refuse this package: " + refusal->message);
    if (receipts.size() != 1)
        return ZAVVendorFiles::sentence(
            EIO, "the package could not be checked: zav-pkg left no single receipt");
    if (treeSha256.empty())
        return ZAVVendorFiles::sentence(
            EIO, "the package could not be checked: its installed tree cannot be read");
    Result result;
    result.applicationId = receipts.front().chopped(5).toStdString();
    result.treeSha256 = treeSha256;
    if (entry) {
        result.name = entry->name().value_or(std::string());
        result.version = entry->packageVersion().value_or(std::string());
    }
    if (!expected.sha256.empty() && expected.size >= 0) {
        result.sha256 = expected.sha256;
        result.size = static_cast<uint64_t>(expected.size);
        return result;
    }
    if (const ZAVStatus read = ZAVVendorFiles::digestFile(package, &result.sha256, &result.size);
        !read)
        return ZAVVendorFiles::sentence(read.errorNumber(), "cannot read " + package + ": " +
                                                                read.error().reasonText());
    return result;
}

ZAVResult<ZAVVendorPackager::Result> ZAVVendorPackager::pack(const std::string &appDir,
                                                             const std::string &output)
{
    std::unique_ptr<archive, ArchiveFree> writer(archive_write_new());
    archive *a = writer.get();
    archive_write_set_format_pax_restricted(a);
    if (output.ends_with(".tar.gz") || output.ends_with(".tgz")) {
        archive_write_add_filter_gzip(a);
        archive_write_set_filter_option(a, "gzip", "timestamp", nullptr);
    } else if (output.ends_with(".tar.zst") || output.ends_with(".tzst")) {
        archive_write_add_filter_zstd(a);
    } else {
        return ZAVVendorFiles::sentence(
            EINVAL, "name the package FILE.tar.gz (gzip) or FILE.tar.zst (zstd)");
    }

    std::error_code failure;
    const fs::path root(appDir);
    if (!fs::is_directory(fs::symlink_status(root, failure)))
        return ZAVVendorFiles::sentence(ENOTDIR, appDir + " is not a directory");
    std::vector<std::string> paths;
    for (fs::recursive_directory_iterator it(root, failure), end; !failure && it != end;
         it.increment(failure))
        paths.push_back(it->path().lexically_relative(root).native());
    if (failure)
        return ZAVVendorFiles::sentence(failure.value(),
                                        "cannot read " + appDir + ": " + failure.message());
    std::sort(paths.begin(), paths.end());

    ZAVResult<ZAVAtomicFile> temporary = ZAVAtomicFile::createBeside(output, 0644);
    if (!temporary)
        return ZAVVendorFiles::sentence(temporary.errorNumber(),
                                        "cannot create " + output + ": " +
                                            temporary.error().reasonText());
    const SignalCleanup cleanup(SignalCleanup::PartialPackage, temporary->temporaryPath());
    if (archive_write_open_fd(a, temporary->fd()) != ARCHIVE_OK)
        return archiveFailure(a, "cannot write the package");
    const long long epoch = sourceDateEpoch();
    for (const std::string &relative : paths) {
        const std::string path = appDir + '/' + relative;
        struct stat st {};
        if (lstat(path.c_str(), &st) != 0)
            return cannotRead(path);
        std::unique_ptr<archive_entry, ArchiveFree> entry(archive_entry_new());
        archive_entry_set_pathname(entry.get(), relative.c_str());
        archive_entry_set_filetype(entry.get(), st.st_mode & S_IFMT);
        archive_entry_set_perm(entry.get(), st.st_mode & 07777);
        archive_entry_set_uid(entry.get(), 0);
        archive_entry_set_gid(entry.get(), 0);
        archive_entry_set_mtime(entry.get(), epoch, 0);
        const uint64_t size = S_ISREG(st.st_mode) ? static_cast<uint64_t>(st.st_size) : 0;
        archive_entry_set_size(entry.get(), static_cast<la_int64_t>(size));
        if (S_ISLNK(st.st_mode)) {
            std::error_code linkFailure;
            const fs::path target = fs::read_symlink(path, linkFailure);
            if (linkFailure)
                return ZAVVendorFiles::sentence(linkFailure.value(), "cannot read the link " +
                                                                         path + ": " +
                                                                         linkFailure.message());
            archive_entry_set_symlink(entry.get(), target.c_str());
        }
        // Other kinds (devices, FIFOs) go in as they are: the check below refuses them with
        // zav-pkg's own words.
        if (archive_write_header(a, entry.get()) != ARCHIVE_OK)
            return archiveFailure(a, "cannot add " + ZAVQuoted(relative) + " to the package");
        if (size > 0) {
            if (const ZAVStatus written = writeContents(a, path, size); !written)
                return written.error();
        }
    }
    if (archive_write_close(a) != ARCHIVE_OK)
        return archiveFailure(a, "cannot write the package");
    ZAVResult<Result> result = check(temporary->temporaryPath());
    if (!result)
        return result;
    if (const ZAVStatus committed = temporary->commit(); !committed)
        return ZAVVendorFiles::sentence(committed.errorNumber(),
                                        "cannot write " + output + ": " +
                                            committed.error().reasonText());
    return result;
}

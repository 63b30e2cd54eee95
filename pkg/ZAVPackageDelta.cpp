#include "ZAVPackageDelta.h"

#include "ZAVPackageEntryRules.h"
#include "ZAVPackageTree.h"
#include "ZAVPkgLog.h"
#include "base/ZAVDirectory.h"
#include "base/ZAVFd.h"
#include "base/ZAVFiles.h"
#include "base/ZAVSha256.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

#include <archive.h>
#include <archive_entry.h>
#include <zstd.h>

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

unsigned ZAVPackageDelta::windowLog(uint64_t oldSize, uint64_t newSize)
{
    const uint64_t span = std::max<uint64_t>(oldSize, newSize) + 1;
    unsigned log = 10;
    while (log < kMaxWindowLog && (uint64_t(1) << log) < span)
        ++log;
    return std::min(kMaxWindowLog, log + 1);
}

namespace {

using Tree = ZAVPackageTree;

ZAVPkgError damaged(const std::string &why)
{
    return ZAVPkgError::doesNotApply("the delta is damaged: " + why);
}

ZAVPkgError writeError(int error, const std::string &what)
{
    if (error == ENOSPC || error == EFBIG || error == EDQUOT)
        return ZAVPkgError::failed("not enough space left to install the package (" +
                                   ZAVFiles::errorText(error) + " while writing " + what + ")");
    return ZAVPkgError::failed("cannot write " + what + ": " + ZAVFiles::errorText(error));
}

struct ArchiveFree {
    void operator()(archive *a) const { archive_read_free(a); }
};
struct DCtxFree {
    void operator()(ZSTD_DCtx *context) const { ZSTD_freeDCtx(context); }
};

// A file of the installed version mapped for reading, unmapped when it goes.
class Mapping {
public:
    Mapping(int fd, size_t size) : m_size(size)
    {
        if (size > 0)
            m_data = mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
    }
    ~Mapping()
    {
        if (m_data != MAP_FAILED && m_data)
            munmap(m_data, m_size);
    }
    Mapping(const Mapping &) = delete;
    Mapping &operator=(const Mapping &) = delete;
    bool ok() const { return m_data != MAP_FAILED; }
    const char *data() const { return static_cast<const char *>(m_data); }

private:
    void *m_data = nullptr;
    size_t m_size;
};

struct ManifestEntry {
    std::string path;
    Tree::Type type = Tree::Type::File;
    unsigned mode = 0;
    std::string target;
    std::string sha256;
    uint64_t size = 0;
    std::string source; // files: "unchanged", "whole" or "patch"
    std::string from;   // unchanged, patch: the installed file's path
    std::string fromSha256;
    uint64_t fromSize = 0;
    std::string data;              // whole, patch: the name of the data entry
    std::optional<timespec> mtime; // files: the time the full package gives them
};

// Gives the file `fd` the modification time of its entry, when the manifest has one.
void setTime(int fd, const std::optional<timespec> &mtime)
{
    if (mtime) {
        const timespec times[2] = {{0, UTIME_OMIT}, *mtime};
        futimens(fd, times);
    }
}

bool isHex64(const QString &text)
{
    static const QRegularExpression hex(QStringLiteral("^[0-9a-f]{64}$"));
    return hex.match(text).hasMatch();
}

bool wholeNumber(const QJsonValue &value, uint64_t *out)
{
    if (!value.isDouble())
        return false;
    const double number = value.toDouble();
    if (number < 0 || number > 9007199254740991.0 || number != double(uint64_t(number)))
        return false;
    *out = uint64_t(number);
    return true;
}

ZAVPkgResult parseEntry(const QJsonValue &value, ManifestEntry *entry)
{
    const QJsonObject object = value.toObject();
    const QString type = object.value(QLatin1String("type")).toString();
    uint64_t mode = 0;
    if (!value.isObject() || !object.value(QLatin1String("path")).isString() ||
        !wholeNumber(object.value(QLatin1String("mode")), &mode) || mode > 07777)
        return damaged("an entry of the manifest has no path or mode");
    entry->path = object.value(QLatin1String("path")).toString().toStdString();
    const std::string what = "the manifest's entry " + ZAVQuoted(entry->path);
    if (type == QLatin1String("directory")) {
        entry->type = Tree::Type::Directory;
    } else if (type == QLatin1String("link")) {
        entry->type = Tree::Type::Link;
        if (!object.value(QLatin1String("target")).isString())
            return damaged(what + " has no target");
        entry->target = object.value(QLatin1String("target")).toString().toStdString();
    } else if (type == QLatin1String("file")) {
        entry->type = Tree::Type::File;
        const QString sha256 = object.value(QLatin1String("sha256")).toString();
        entry->source = object.value(QLatin1String("source")).toString().toStdString();
        if (!isHex64(sha256) || !wholeNumber(object.value(QLatin1String("size")), &entry->size))
            return damaged(what + " has no SHA-256 or size");
        entry->sha256 = sha256.toStdString();
        // Optional: deltas made before it was added lack it.
        uint64_t seconds = 0;
        uint64_t nanoseconds = 0;
        if (object.contains(QLatin1String("mtime"))) {
            if (!wholeNumber(object.value(QLatin1String("mtime")), &seconds) ||
                (object.contains(QLatin1String("mtimeNsec")) &&
                 !wholeNumber(object.value(QLatin1String("mtimeNsec")), &nanoseconds)) ||
                nanoseconds > 999999999)
                return damaged(what + " has a modification time that is not one");
            entry->mtime = timespec{time_t(seconds), long(nanoseconds)};
        }
        entry->from = object.value(QLatin1String("from")).toString().toStdString();
        entry->data = object.value(QLatin1String("data")).toString().toStdString();
        if (entry->source == "unchanged") {
            if (entry->from.empty())
                return damaged(what + " names no installed file to copy");
        } else if (entry->source == "whole") {
            if (entry->data.empty())
                return damaged(what + " names no data");
        } else if (entry->source == "patch") {
            const QString fromSha256 = object.value(QLatin1String("fromSha256")).toString();
            if (entry->from.empty() || entry->data.empty() || !isHex64(fromSha256) ||
                !wholeNumber(object.value(QLatin1String("fromSize")), &entry->fromSize))
                return damaged(what + " names no installed file, digest or data to patch with");
            entry->fromSha256 = fromSha256.toStdString();
        } else {
            return damaged(what + " has no source (unchanged, whole or patch)");
        }
    } else {
        return damaged(what + " is of no known type");
    }
    entry->mode = Tree::normalizedMode(entry->type, static_cast<mode_t>(mode));
    return std::nullopt;
}

// An unchanged file to copy from the installed version, checked by its digest.
struct CopyJob {
    ZAVFd from;
    ZAVFd to;
    std::string path; // in the new version
    std::string installedPath;
    std::string sha256;
    uint64_t size = 0;
    std::optional<timespec> mtime;
};

ZAVPkgResult copyAndCheck(CopyJob &job, std::vector<char> &buffer)
{
    // A clone shares the blocks until either copy is written: the installed version stays as
    // it is. Its bytes are read back for the digest, which is what checks the copy.
    int source = job.from.get();
    posix_fadvise(source, 0, 0, POSIX_FADV_SEQUENTIAL);
    const bool cloned = ioctl(job.to.get(), FICLONE, job.from.get()) == 0;
    if (cloned)
        source = job.to.get();
    ZAVSha256 sha256;
    uint64_t total = 0;
    while (true) {
        const ssize_t n = pread(source, buffer.data(), buffer.size(), static_cast<off_t>(total));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return ZAVPkgError::doesNotApply("cannot read the installed file " +
                                             ZAVQuoted(job.installedPath) + ": " +
                                             ZAVFiles::errorText(errno));
        if (n == 0)
            break;
        sha256.update(buffer.data(), static_cast<size_t>(n));
        if (!cloned) {
            if (const ZAVStatus written =
                    ZAVFiles::writeAll(job.to.get(), std::string_view(buffer.data(), size_t(n)),
                                       static_cast<off_t>(total), job.path);
                !written)
                return writeError(written.errorNumber(), ZAVQuoted(job.path));
        }
        total += static_cast<uint64_t>(n);
        if (total > job.size)
            break; // larger than the file it must be: no need to read the rest
    }
    if (total != job.size || sha256.hexDigest() != job.sha256)
        return ZAVPkgError::doesNotApply("the installed file " + ZAVQuoted(job.installedPath) +
                                         " was changed since it was installed");
    setTime(job.to.get(), job.mtime);
    if (close(job.to.release()) != 0)
        return writeError(errno, ZAVQuoted(job.path));
    return std::nullopt;
}

// Copies the unchanged files on threads of their own while the main thread goes on with the
// entries after them, as the package's own unpacking reads and writes side by side. At most
// kQueued jobs (two descriptors each) wait; the first failure stops the rest.
class Copiers {
public:
    static constexpr size_t kQueued = 32;
    // More than the cores: while one thread waits for the disk, another copies from the cache.
    static constexpr int kThreads = 4;

    Copiers()
    {
        for (int i = 0; i < kThreads; ++i)
            m_threads.emplace_back([this] { work(); });
    }
    ~Copiers() { finish(); }
    Copiers(const Copiers &) = delete;
    Copiers &operator=(const Copiers &) = delete;

    // Queues the job, waiting while the queue is full; false once a job failed.
    bool add(CopyJob job)
    {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [&] { return m_jobs.size() < kQueued || m_error; });
        if (m_error)
            return false;
        m_jobs.push_back(std::move(job));
        m_changed.notify_all();
        return true;
    }
    // Waits for every job; the first failure, if any.
    ZAVPkgResult finish()
    {
        {
            const std::lock_guard lock(m_mutex);
            m_done = true;
            m_changed.notify_all();
        }
        for (std::thread &thread : m_threads)
            if (thread.joinable())
                thread.join();
        const std::lock_guard lock(m_mutex);
        return m_error;
    }

private:
    void work()
    {
        std::vector<char> buffer(1 << 20);
        while (true) {
            CopyJob job;
            {
                std::unique_lock lock(m_mutex);
                m_changed.wait(lock, [&] { return !m_jobs.empty() || m_done || m_error; });
                if (m_error || m_jobs.empty())
                    return;
                job = std::move(m_jobs.front());
                m_jobs.pop_front();
                m_changed.notify_all();
            }
            ZAVPkgResult error = copyAndCheck(job, buffer);
            if (error) {
                const std::lock_guard lock(m_mutex);
                if (!m_error)
                    m_error = std::move(error);
                m_changed.notify_all();
            }
        }
    }

    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<CopyJob> m_jobs;
    bool m_done = false;
    ZAVPkgResult m_error;
    std::vector<std::thread> m_threads;
};

class Application {
public:
    Application(archive *reader, int installedFd, int stagingFd, ZAVPkgLog &log,
                ZAVPackageDelta::Result *result)
        : m_archive(reader), m_installedFd(installedFd), m_stagingFd(stagingFd), m_log(log),
          m_result(result)
    {
    }

    ZAVPkgResult run(const std::string &installedSha256, const ZAVPackageDelta::Pinned &pinned);

private:
    ZAVPkgResult readManifest(QJsonObject *manifest);
    ZAVPkgResult entry(const ManifestEntry &entry);
    ZAVPkgResult file(const ManifestEntry &entry, int parent, const std::string &leaf);
    // The installed file `path`, opened beneath the installed directory without following a
    // link; its size in *size.
    ZAVResult<ZAVFd> openInstalled(const std::string &path, uint64_t *size,
                                   ZAVPkgResult *error) const;
    // The next data entry, which must be `name`.
    ZAVPkgResult nextData(const std::string &name);
    // Hands each block of the current data entry to `each` (its bytes and their offset); `what`
    // names the data in an error.
    ZAVPkgResult readData(const std::string &what,
                          const std::function<ZAVPkgResult(const char *, size_t, int64_t)> &each);
    ZAVPkgResult writeWhole(int to, const ManifestEntry &entry, ZAVSha256 *sha256);
    ZAVPkgResult patch(int from, uint64_t fromSize, int to, const ManifestEntry &entry,
                       ZAVSha256 *sha256);
    ZAVPkgError archiveError(const std::string &context) const
    {
        const char *text = archive_error_string(m_archive);
        return damaged(context + ": " + (text ? text : "unknown error"));
    }

    archive *m_archive;
    int m_installedFd;
    int m_stagingFd;
    ZAVPkgLog &m_log;
    ZAVPackageDelta::Result *m_result;
    std::vector<Tree::Entry> m_tree;
    Copiers m_copiers;
};

ZAVPkgResult Application::readManifest(QJsonObject *manifest)
{
    archive_entry *header = nullptr;
    const int status = archive_read_next_header(m_archive, &header);
    if (status < ARCHIVE_WARN)
        return archiveError("not a delta");
    if (std::string(archive_entry_pathname(header)) != ZAVPackageDelta::kManifestName ||
        archive_entry_filetype(header) != AE_IFREG)
        return damaged(std::string("it does not start with ") + ZAVPackageDelta::kManifestName);
    const la_int64_t size = archive_entry_size(header);
    if (size <= 0 || size > la_int64_t(ZAVPackageDelta::kMaxManifestSize))
        return damaged("its manifest is empty or too large");
    QByteArray text(static_cast<qsizetype>(size), Qt::Uninitialized);
    la_ssize_t read = 0;
    while (read < size) {
        const la_ssize_t n =
            archive_read_data(m_archive, text.data() + read, static_cast<size_t>(size - read));
        if (n <= 0)
            return archiveError("its manifest cannot be read");
        read += n;
    }
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(text, &error);
    if (!document.isObject())
        return damaged("its manifest is not a JSON object: " + error.errorString().toStdString());
    *manifest = document.object();
    return std::nullopt;
}

ZAVPkgResult Application::run(const std::string &installedSha256,
                              const ZAVPackageDelta::Pinned &pinned)
{
    QJsonObject manifest;
    if (auto error = readManifest(&manifest))
        return error;
    const auto text = [&](const char *key) {
        return manifest.value(QLatin1String(key)).toString().toStdString();
    };
    uint64_t packageSize = 0;
    if (text("format") != ZAVPackageDelta::kFormat ||
        !isHex64(QString::fromStdString(text("fromSha256"))) ||
        !isHex64(QString::fromStdString(text("packageSha256"))) ||
        !isHex64(QString::fromStdString(text("treeSha256"))) ||
        !wholeNumber(manifest.value(QLatin1String("packageSize")), &packageSize) ||
        !manifest.value(QLatin1String("entries")).isArray())
        return damaged(std::string("its manifest is not one of the format \"") +
                       ZAVPackageDelta::kFormat + "\"");
    if (text("fromSha256") != installedSha256)
        return ZAVPkgError::doesNotApply("the delta is made for the package " + text("fromSha256") +
                                         ", and the installed version came from " +
                                         installedSha256);
    if (text("packageSha256") != pinned.packageSha256 || text("treeSha256") != pinned.treeSha256)
        return ZAVPkgError::doesNotApply("the delta makes the package " + text("packageSha256") +
                                         " (tree " + text("treeSha256") + "), not the " +
                                         pinned.packageSha256 + " (tree " + pinned.treeSha256 +
                                         ") expected");
    m_result->packageSize = static_cast<int64_t>(packageSize);

    std::string previous;
    for (const QJsonValue &value : manifest.value(QLatin1String("entries")).toArray()) {
        ManifestEntry entry;
        if (auto error = parseEntry(value, &entry))
            return error;
        if (!previous.empty() && entry.path <= previous)
            return damaged("the manifest's entries are not in the order of their paths (" +
                           ZAVQuoted(entry.path) + " after " + ZAVQuoted(previous) + ")");
        previous = entry.path;
        if (auto error = this->entry(entry))
            return error;
        m_result->unpacked.entryCount += 1;
    }
    if (auto error = m_copiers.finish())
        return error;
    archive_entry *header = nullptr;
    const int end = archive_read_next_header(m_archive, &header);
    if (end != ARCHIVE_EOF)
        return end < ARCHIVE_WARN ? archiveError("after its last entry")
                                  : damaged("it holds data no entry names");
    const std::string digest = Tree::digest(m_tree);
    if (digest != pinned.treeSha256)
        return ZAVPkgError::doesNotApply("the directory built has the tree digest " + digest +
                                         ", not the " + pinned.treeSha256 + " pinned");
    return std::nullopt;
}

ZAVPkgResult Application::entry(const ManifestEntry &entry)
{
    std::vector<std::string> components;
    if (auto error = ZAVPackageEntryRules::checkedComponents(entry.path.c_str(), &components))
        return ZAVPkgError::doesNotApply(error->message);
    const std::string path = ZAVFiles::joined(components);
    if (components.empty() || path != entry.path)
        return damaged("the manifest names the entry " + ZAVQuoted(entry.path) +
                       ", which is not a plain relative path");
    // Every folder is an entry of its own that comes before what it holds; one that is missing
    // or a link here means the delta would write through it.
    const std::vector<std::string> parents(components.begin(), components.end() - 1);
    const ZAVResult<ZAVFd> parent = ZAVDirectory::openPath(m_stagingFd, parents);
    if (!parent)
        return ZAVPkgError::doesNotApply("entry " + ZAVQuoted(path) +
                                         " would be made through a link or a folder the delta "
                                         "does not make");
    const std::string &leaf = components.back();
    if (components.size() == 1 && path.size() > 8 && path.ends_with(".desktop")) {
        if (!m_result->unpacked.desktopEntryName.empty())
            return ZAVPkgError::doesNotApply("two desktop entries at the root");
        m_result->unpacked.desktopEntryName = path;
    }
    Tree::Entry made{path, entry.type, entry.mode, entry.target, entry.sha256, entry.size};
    switch (entry.type) {
    case Tree::Type::Directory:
        if (mkdirat(parent->get(), leaf.c_str(), entry.mode) != 0)
            return errno == EEXIST ? damaged("entry " + ZAVQuoted(path) + " comes twice")
                                   : writeError(errno, "directory " + ZAVQuoted(path));
        m_result->unpacked.paths.push_back(path + '/');
        m_log.detail("directory " + path + "/");
        break;
    case Tree::Type::Link:
        if (auto error = ZAVPackageEntryRules::checkedSymlinkTarget(path, components.size() - 1,
                                                                    entry.target.c_str()))
            return ZAVPkgError::doesNotApply(error->message);
        if (symlinkat(entry.target.c_str(), parent->get(), leaf.c_str()) != 0)
            return errno == EEXIST ? damaged("entry " + ZAVQuoted(path) + " comes twice")
                                   : writeError(errno, "symbolic link " + ZAVQuoted(path));
        m_result->unpacked.paths.push_back(path);
        m_log.detail("link " + path + " -> " + ZAVQuoted(entry.target));
        break;
    case Tree::Type::File:
        if (auto error = file(entry, parent->get(), leaf))
            return error;
        m_result->unpacked.paths.push_back(path);
        break;
    }
    m_tree.push_back(std::move(made));
    return std::nullopt;
}

ZAVResult<ZAVFd> Application::openInstalled(const std::string &path, uint64_t *size,
                                            ZAVPkgResult *error) const
{
    std::vector<std::string> components;
    if (auto refused = ZAVPackageEntryRules::checkedComponents(path.c_str(), &components);
        refused || components.empty()) {
        *error = ZAVPkgError::doesNotApply(refused ? refused->message
                                                   : "an entry names no installed file");
        return ZAVFileError{path, EINVAL, ""};
    }
    const std::vector<std::string> parents(components.begin(), components.end() - 1);
    const ZAVResult<ZAVFd> parent = ZAVDirectory::openPath(m_installedFd, parents);
    ZAVFd fd(parent ? openat(parent->get(), components.back().c_str(),
                             O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY)
                    : -1);
    struct stat st {};
    if (!fd.valid() || fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) {
        *error = ZAVPkgError::doesNotApply("the installed file " + ZAVQuoted(path) +
                                           " the delta starts from is missing or not a regular "
                                           "file");
        return ZAVFileError{path, ENOENT, ""};
    }
    *size = static_cast<uint64_t>(st.st_size);
    return fd;
}

ZAVPkgResult Application::nextData(const std::string &name)
{
    archive_entry *header = nullptr;
    const int status = archive_read_next_header(m_archive, &header);
    if (status == ARCHIVE_EOF)
        return damaged("its data " + ZAVQuoted(name) + " is missing");
    if (status < ARCHIVE_WARN)
        return archiveError("before its data " + ZAVQuoted(name));
    if (archive_entry_pathname(header) != name || archive_entry_filetype(header) != AE_IFREG)
        return damaged("its data " + ZAVQuoted(name) + " is missing or out of order");
    return std::nullopt;
}

ZAVPkgResult
Application::readData(const std::string &what,
                      const std::function<ZAVPkgResult(const char *, size_t, int64_t)> &each)
{
    const void *block = nullptr;
    size_t length = 0;
    la_int64_t offset = 0;
    while (true) {
        const int status = archive_read_data_block(m_archive, &block, &length, &offset);
        if (status == ARCHIVE_EOF)
            return std::nullopt;
        if (status < ARCHIVE_WARN)
            return archiveError("in " + what);
        if (auto error = each(static_cast<const char *>(block), length, offset))
            return error;
    }
}

ZAVPkgResult Application::writeWhole(int to, const ManifestEntry &entry, ZAVSha256 *sha256)
{
    if (auto error = nextData(entry.data))
        return error;
    return readData("the data of " + ZAVQuoted(entry.path),
                    [&](const char *block, size_t length, int64_t offset) -> ZAVPkgResult {
                        sha256->update(block, length);
                        if (const ZAVStatus written = ZAVFiles::writeAll(
                                to, std::string_view(block, length), offset, entry.path);
                            !written)
                            return writeError(written.errorNumber(), ZAVQuoted(entry.path));
                        return std::nullopt;
                    });
}

ZAVPkgResult Application::patch(int from, uint64_t fromSize, int to, const ManifestEntry &entry,
                                ZAVSha256 *sha256)
{
    if (fromSize != entry.fromSize)
        return ZAVPkgError::doesNotApply("the installed file " + ZAVQuoted(entry.from) +
                                         " was changed: it has " + std::to_string(fromSize) +
                                         " bytes, not the " + std::to_string(entry.fromSize) +
                                         " the delta starts from");
    const Mapping old(from, static_cast<size_t>(fromSize));
    if (!old.ok())
        return ZAVPkgError::failed("cannot map the installed file " + ZAVQuoted(entry.from) + ": " +
                                   ZAVFiles::errorText(errno));
    ZAVSha256 oldDigest;
    oldDigest.update(old.data(), static_cast<size_t>(fromSize));
    if (oldDigest.hexDigest() != entry.fromSha256)
        return ZAVPkgError::doesNotApply("the installed file " + ZAVQuoted(entry.from) +
                                         " was changed since it was installed");
    if (auto error = nextData(entry.data))
        return error;
    std::unique_ptr<ZSTD_DCtx, DCtxFree> context(ZSTD_createDCtx());
    if (!context ||
        ZSTD_isError(
            ZSTD_DCtx_setParameter(context.get(), ZSTD_d_windowLogMax,
                                   int(ZAVPackageDelta::windowLog(fromSize, entry.size)))) ||
        ZSTD_isError(ZSTD_DCtx_refPrefix(context.get(), old.data(), static_cast<size_t>(fromSize))))
        return ZAVPkgError::failed("cannot set up zstd to patch " + ZAVQuoted(entry.path));
    std::vector<char> output(ZSTD_DStreamOutSize());
    uint64_t written = 0;
    size_t pending = 1; // 0 once a frame has ended
    auto apply = [&](const char *block, size_t length, int64_t) -> ZAVPkgResult {
        ZSTD_inBuffer in{block, length, 0};
        while (in.pos < in.size) {
            if (pending == 0)
                return damaged("the patch of " + ZAVQuoted(entry.path) + " goes on past its end");
            ZSTD_outBuffer out{output.data(), output.size(), 0};
            pending = ZSTD_decompressStream(context.get(), &out, &in);
            if (ZSTD_isError(pending))
                return damaged("the patch of " + ZAVQuoted(entry.path) +
                               " does not apply: " + ZSTD_getErrorName(pending));
            if (written + out.pos > entry.size)
                return damaged("the patch of " + ZAVQuoted(entry.path) + " makes too much");
            sha256->update(output.data(), out.pos);
            if (const ZAVStatus done =
                    ZAVFiles::writeAll(to, std::string_view(output.data(), out.pos),
                                       static_cast<off_t>(written), entry.path);
                !done)
                return writeError(done.errorNumber(), ZAVQuoted(entry.path));
            written += out.pos;
        }
        return std::nullopt;
    };
    if (auto error = readData("the patch of " + ZAVQuoted(entry.path), apply))
        return error;
    if (pending != 0)
        return damaged("the patch of " + ZAVQuoted(entry.path) + " is cut short");
    return std::nullopt;
}

ZAVPkgResult Application::file(const ManifestEntry &entry, int parent, const std::string &leaf)
{
    ZAVFd fd(openat(parent, leaf.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                    entry.mode));
    if (!fd.valid())
        return errno == EEXIST ? damaged("entry " + ZAVQuoted(entry.path) + " comes twice")
                               : writeError(errno, ZAVQuoted(entry.path));
    ZAVSha256 sha256;
    if (entry.source == "whole") {
        if (auto error = writeWhole(fd.get(), entry, &sha256))
            return error;
    } else {
        ZAVPkgResult refused;
        uint64_t fromSize = 0;
        ZAVResult<ZAVFd> from = openInstalled(entry.from, &fromSize, &refused);
        if (!from)
            return refused;
        if (entry.source == "unchanged") {
            m_result->unpacked.byteCount += entry.size;
            m_log.detail("file " + entry.path + " " + std::to_string(entry.size) +
                         " bytes (unchanged)");
            if (!m_copiers.add({std::move(*from), std::move(fd), entry.path, entry.from,
                                entry.sha256, entry.size, entry.mtime}))
                return m_copiers.finish();
            return std::nullopt;
        }
        if (auto error = patch(from->get(), fromSize, fd.get(), entry, &sha256))
            return error;
    }
    struct stat st {};
    if (fstat(fd.get(), &st) != 0 || static_cast<uint64_t>(st.st_size) != entry.size ||
        sha256.hexDigest() != entry.sha256)
        return ZAVPkgError::doesNotApply("the file " + ZAVQuoted(entry.path) +
                                         " the delta makes is not the one expected");
    setTime(fd.get(), entry.mtime);
    if (close(fd.release()) != 0)
        return writeError(errno, ZAVQuoted(entry.path));
    m_result->unpacked.byteCount += entry.size;
    m_log.detail("file " + entry.path + " " + std::to_string(entry.size) + " bytes (" +
                 entry.source + ")");
    return std::nullopt;
}

} // namespace

ZAVPkgResult ZAVPackageDelta::apply(int deltaFd, int installedFd,
                                    const std::string &installedSha256, int stagingFd,
                                    const Pinned &pinned, ZAVPkgLog &log, Result *result)
{
    std::unique_ptr<archive, ArchiveFree> reader(archive_read_new());
    if (!reader)
        return ZAVPkgError::failed("cannot set up the archive reader");
    archive_read_support_filter_zstd(reader.get());
    archive_read_support_format_tar(reader.get());
    if (archive_read_open_fd(reader.get(), deltaFd, 1 << 16) != ARCHIVE_OK)
        return damaged(std::string("not a delta: ") + archive_error_string(reader.get()));
    Application application(reader.get(), installedFd, stagingFd, log, result);
    return application.run(installedSha256, pinned);
}

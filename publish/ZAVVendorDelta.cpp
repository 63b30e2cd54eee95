#include "ZAVVendorDelta.h"

#include "ZAVVendorFiles.h"
#include "ZAVVendorPackager.h"
#include "base/ZAVAtomicFile.h"
#include "base/ZAVDirectory.h"
#include "base/ZAVFd.h"
#include "base/ZAVFiles.h"
#include "base/ZAVUserAppLayout.h"
#include "pkg/ZAVPackageDelta.h"
#include "pkg/ZAVPackageInstaller.h"
#include "pkg/ZAVPackageTree.h"
#include "pkg/ZAVPkgLog.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <archive.h>
#include <archive_entry.h>
#include <zstd.h>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <map>
#include <memory>
#include <vector>

namespace {

using Tree = ZAVPackageTree;

ZAVFileError failure(int error, const std::string &text)
{
    return ZAVVendorFiles::sentence(error, text);
}

struct WriterFree {
    void operator()(archive *a) const { archive_write_free(a); }
    void operator()(archive_entry *entry) const { archive_entry_free(entry); }
};
struct CCtxFree {
    void operator()(ZSTD_CCtx *context) const { ZSTD_freeCCtx(context); }
};

// The throw-away homes the two packages are installed in, removed when it goes.
struct Homes {
    std::string oldHome;
    std::string newHome;
    std::string scratch; // patches waiting to be archived
    ~Homes()
    {
        for (const std::string *home : {&oldHome, &newHome, &scratch})
            if (!home->empty())
                ZAVVendorFiles::removeScratchDirectory(*home);
    }
};

std::string applicationDirectory(const std::string &home, const std::string &id)
{
    return ZAVUserAppLayout::forApplication(id, home)->applicationDirectory();
}

// Compresses the file `newPath` with zstd into `outFd` (or only counts the bytes when it is
// -1), with `prefix` as patch-from's reference when it is given. The compressed size, or
// something above `limit` once it is passed.
ZAVResult<uint64_t> compress(const std::string &newPath, uint64_t newSize, const char *prefix,
                             uint64_t prefixSize, int outFd, uint64_t limit = UINT64_MAX)
{
    std::unique_ptr<ZSTD_CCtx, CCtxFree> context(ZSTD_createCCtx());
    const unsigned windowLog = ZAVPackageDelta::windowLog(prefixSize, newSize);
    if (!context ||
        ZSTD_isError(ZSTD_CCtx_setParameter(context.get(), ZSTD_c_compressionLevel,
                                            ZAVVendorDelta::kLevel)) ||
        ZSTD_isError(ZSTD_CCtx_setParameter(context.get(), ZSTD_c_checksumFlag, 1)) ||
        ZSTD_isError(ZSTD_CCtx_setPledgedSrcSize(context.get(), newSize)))
        return failure(ENOMEM, "cannot set up zstd");
    if (prefix &&
        (ZSTD_isError(
             ZSTD_CCtx_setParameter(context.get(), ZSTD_c_enableLongDistanceMatching, 1)) ||
         ZSTD_isError(ZSTD_CCtx_setParameter(context.get(), ZSTD_c_windowLog, int(windowLog))) ||
         ZSTD_isError(ZSTD_CCtx_refPrefix(context.get(), prefix, static_cast<size_t>(prefixSize)))))
        return failure(ENOMEM, "cannot set up zstd's patch-from");
    const ZAVFd in(open(newPath.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    if (!in.valid())
        return failure(errno, "cannot read " + newPath + ": " + ZAVFiles::errorText(errno));
    std::vector<char> input(1 << 20);
    std::vector<char> output(ZSTD_CStreamOutSize());
    uint64_t total = 0;
    bool end = false;
    while (!end) {
        const ssize_t n = read(in.get(), input.data(), input.size());
        if (n < 0)
            return failure(errno, "cannot read " + newPath + ": " + ZAVFiles::errorText(errno));
        end = n == 0;
        ZSTD_inBuffer buffer{input.data(), static_cast<size_t>(n), 0};
        size_t remaining = 0;
        do {
            ZSTD_outBuffer out{output.data(), output.size(), 0};
            remaining = ZSTD_compressStream2(context.get(), &out, &buffer,
                                             end ? ZSTD_e_end : ZSTD_e_continue);
            if (ZSTD_isError(remaining))
                return failure(EIO,
                               "cannot compress " + newPath + ": " + ZSTD_getErrorName(remaining));
            if (outFd >= 0)
                if (const ZAVStatus written =
                        ZAVFiles::writeAll(outFd, std::string_view(output.data(), out.pos),
                                           static_cast<off_t>(total), "the patch");
                    !written)
                    return failure(written.errorNumber(),
                                   "cannot write a patch: " + written.error().reasonText());
            total += out.pos;
            if (total > limit)
                return total;
        } while (end ? remaining != 0 : buffer.pos < buffer.size);
    }
    return total;
}

ZAVStatus addFile(archive *a, const std::string &name, const std::string &path, uint64_t size)
{
    std::unique_ptr<archive_entry, WriterFree> entry(archive_entry_new());
    archive_entry_set_pathname(entry.get(), name.c_str());
    archive_entry_set_filetype(entry.get(), AE_IFREG);
    archive_entry_set_perm(entry.get(), 0644);
    archive_entry_set_size(entry.get(), static_cast<la_int64_t>(size));
    if (archive_write_header(a, entry.get()) != ARCHIVE_OK)
        return failure(EIO, std::string("cannot write the delta: ") + archive_error_string(a));
    const ZAVFd in(open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    if (!in.valid())
        return failure(errno, "cannot read " + path + ": " + ZAVFiles::errorText(errno));
    std::vector<char> buffer(1 << 20);
    uint64_t done = 0;
    while (done < size) {
        const ssize_t n = read(in.get(), buffer.data(), buffer.size());
        if (n <= 0)
            return failure(n < 0 ? errno : EIO, "cannot read " + path);
        if (archive_write_data(a, buffer.data(), static_cast<size_t>(n)) != n)
            return failure(EIO, std::string("cannot write the delta: ") + archive_error_string(a));
        done += static_cast<uint64_t>(n);
    }
    return {};
}

} // namespace

ZAVResult<ZAVVendorDelta::Result> ZAVVendorDelta::make(const std::string &oldPackage,
                                                       const std::string &newPackage,
                                                       const std::string &output)
{
    Homes homes;
    const ZAVResult<ZAVVendorPackager::Result> from =
        ZAVVendorPackager::check(oldPackage, {}, &homes.oldHome);
    if (!from)
        return failure(from.errorNumber(), oldPackage + ": " + from.error().message());
    const ZAVResult<ZAVVendorPackager::Result> to =
        ZAVVendorPackager::check(newPackage, {}, &homes.newHome);
    if (!to)
        return failure(to.errorNumber(), newPackage + ": " + to.error().message());
    if (from->applicationId != to->applicationId)
        return failure(EINVAL, "the packages hold two applications, " + from->applicationId +
                                   " and " + to->applicationId);
    if (from->sha256 == to->sha256)
        return failure(EINVAL, "the two packages are the same");
    const std::string oldDir = applicationDirectory(homes.oldHome, from->applicationId);
    const std::string newDir = applicationDirectory(homes.newHome, to->applicationId);
    const ZAVResult<ZAVFd> oldFd = ZAVDirectory::open(AT_FDCWD, oldDir);
    const ZAVResult<ZAVFd> newFd = ZAVDirectory::open(AT_FDCWD, newDir);
    if (!oldFd || !newFd)
        return failure(EIO, "cannot read the installed packages");
    const ZAVResult<std::vector<Tree::Entry>> oldTree = Tree::scan(oldFd->get());
    const ZAVResult<std::vector<Tree::Entry>> newTree = Tree::scan(newFd->get());
    if (!oldTree || !newTree)
        return failure(EIO, "cannot read the installed packages");
    std::map<std::string, const Tree::Entry *> oldByPath;
    std::map<std::string, const Tree::Entry *> oldByDigest;
    for (const Tree::Entry &entry : *oldTree) {
        if (entry.type != Tree::Type::File)
            continue;
        oldByPath[entry.path] = &entry;
        oldByDigest.emplace(entry.sha256, &entry);
    }
    homes.scratch = ZAVVendorFiles::makeScratchDirectory("zav-vendor-delta-");
    if (homes.scratch.empty())
        return failure(errno, "cannot make a scratch folder: " + ZAVFiles::errorText(errno));

    Result result;
    result.applicationId = to->applicationId;
    result.fromSha256 = from->sha256;
    result.packageSha256 = to->sha256;
    result.packageSize = to->size;
    result.treeSha256 = to->treeSha256;
    // Each data entry to archive after the manifest: its name, the file and its size.
    struct Data {
        std::string name, path;
        uint64_t size;
    };
    std::vector<Data> data;
    QJsonArray entries;
    for (const Tree::Entry &entry : *newTree) {
        QJsonObject object{{QStringLiteral("path"), QString::fromStdString(entry.path)},
                           {QStringLiteral("mode"), qint64(entry.mode)}};
        if (entry.type == Tree::Type::Directory) {
            object.insert(QStringLiteral("type"), QStringLiteral("directory"));
        } else if (entry.type == Tree::Type::Link) {
            object.insert(QStringLiteral("type"), QStringLiteral("link"));
            object.insert(QStringLiteral("target"), QString::fromStdString(entry.target));
        } else {
            object.insert(QStringLiteral("type"), QStringLiteral("file"));
            object.insert(QStringLiteral("sha256"), QString::fromStdString(entry.sha256));
            object.insert(QStringLiteral("size"), qint64(entry.size));
            // The time the full package gives the file, so that both ways make the same.
            if (entry.mtime.tv_sec >= 0) {
                object.insert(QStringLiteral("mtime"), qint64(entry.mtime.tv_sec));
                if (entry.mtime.tv_nsec != 0)
                    object.insert(QStringLiteral("mtimeNsec"), qint64(entry.mtime.tv_nsec));
            }
            const auto same = oldByPath.find(entry.path);
            const auto byDigest = oldByDigest.find(entry.sha256);
            // The same content at the same path, else at any other.
            const Tree::Entry *copy =
                same != oldByPath.end() && same->second->sha256 == entry.sha256 ? same->second
                : byDigest != oldByDigest.end()                                 ? byDigest->second
                                                                                : nullptr;
            const std::string newPath = newDir + '/' + entry.path;
            const std::string name = "data/" + std::to_string(data.size());
            if (copy) {
                object.insert(QStringLiteral("source"), QStringLiteral("unchanged"));
                object.insert(QStringLiteral("from"), QString::fromStdString(copy->path));
                result.unchanged += 1;
            } else {
                bool patched = false;
                if (same != oldByPath.end()) {
                    const Tree::Entry &old = *same->second;
                    const std::string oldPath = oldDir + '/' + old.path;
                    const ZAVFd oldFile(open(oldPath.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
                    void *mapped =
                        old.size > 0 && oldFile.valid()
                            ? mmap(nullptr, old.size, PROT_READ, MAP_PRIVATE, oldFile.get(), 0)
                            : nullptr;
                    if (mapped == MAP_FAILED || !oldFile.valid())
                        return failure(errno, "cannot read " + oldPath);
                    const std::string patchPath = homes.scratch + '/' + std::to_string(data.size());
                    const ZAVFd patchFd(
                        open(patchPath.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
                    const ZAVResult<uint64_t> patch =
                        patchFd.valid()
                            ? compress(newPath, entry.size, static_cast<const char *>(mapped),
                                       old.size, patchFd.get())
                            : ZAVResult<uint64_t>(failure(errno, "cannot write a patch"));
                    if (mapped)
                        munmap(mapped, old.size);
                    if (!patch)
                        return patch.error();
                    // The file compressed on its own, as far as it takes to pass the patch.
                    const ZAVResult<uint64_t> whole =
                        compress(newPath, entry.size, nullptr, 0, -1, *patch);
                    if (!whole)
                        return whole.error();
                    if (*patch < *whole) {
                        patched = true;
                        object.insert(QStringLiteral("source"), QStringLiteral("patch"));
                        object.insert(QStringLiteral("from"), QString::fromStdString(old.path));
                        object.insert(QStringLiteral("fromSha256"),
                                      QString::fromStdString(old.sha256));
                        object.insert(QStringLiteral("fromSize"), qint64(old.size));
                        data.push_back({name, patchPath, *patch});
                        result.patched += 1;
                    } else {
                        unlink(patchPath.c_str());
                    }
                }
                if (!patched) {
                    object.insert(QStringLiteral("source"), QStringLiteral("whole"));
                    data.push_back({name, newPath, entry.size});
                    result.whole += 1;
                }
                object.insert(QStringLiteral("data"), QString::fromStdString(name));
            }
        }
        entries.append(object);
    }
    const QJsonObject manifest{
        {QStringLiteral("format"), QLatin1String(ZAVPackageDelta::kFormat)},
        {QStringLiteral("fromSha256"), QString::fromStdString(from->sha256)},
        {QStringLiteral("packageSha256"), QString::fromStdString(to->sha256)},
        {QStringLiteral("packageSize"), qint64(to->size)},
        {QStringLiteral("treeSha256"), QString::fromStdString(to->treeSha256)},
        {QStringLiteral("entries"), entries},
    };
    const std::string manifestPath = homes.scratch + "/manifest.json";
    const QByteArray manifestText = QJsonDocument(manifest).toJson(QJsonDocument::Compact);
    if (const ZAVStatus written = ZAVAtomicFile::write(
            manifestPath, std::string_view(manifestText.constData(), size_t(manifestText.size())),
            0600);
        !written)
        return failure(written.errorNumber(),
                       "cannot write the manifest: " + written.error().reasonText());

    ZAVResult<ZAVAtomicFile> file = ZAVAtomicFile::createBeside(output, 0644);
    if (!file)
        return failure(file.errorNumber(),
                       "cannot create " + output + ": " + file.error().reasonText());
    {
        std::unique_ptr<archive, WriterFree> writer(archive_write_new());
        archive *a = writer.get();
        archive_write_set_format_pax_restricted(a);
        archive_write_add_filter_zstd(a);
        archive_write_set_filter_option(a, "zstd", "compression-level",
                                        std::to_string(kLevel).c_str());
        if (archive_write_open_fd(a, file->fd()) != ARCHIVE_OK)
            return failure(EIO, std::string("cannot write the delta: ") + archive_error_string(a));
        if (const ZAVStatus added = addFile(a, ZAVPackageDelta::kManifestName, manifestPath,
                                            static_cast<uint64_t>(manifestText.size()));
            !added)
            return added.error();
        for (const Data &item : data)
            if (const ZAVStatus added = addFile(a, item.name, item.path, item.size); !added)
                return added.error();
        if (archive_write_close(a) != ARCHIVE_OK)
            return failure(EIO, std::string("cannot write the delta: ") + archive_error_string(a));
    }
    if (const ZAVStatus read =
            ZAVVendorFiles::digestFile(file->temporaryPath(), &result.sha256, &result.size);
        !read)
        return failure(read.errorNumber(), "cannot read the delta back");

    // The delta must make the new tree from the old installation, as a user's zav-pkg will.
    ZAVPkgLog log(false, false);
    ZAVPackageInstaller::Options options;
    options.expectedId = result.applicationId;
    options.expected = {result.sha256, static_cast<int64_t>(result.size)};
    options.delta = ZAVPackageInstaller::Delta{result.treeSha256, result.packageSha256};
    const mode_t mask = umask(0);
    const ZAVPkgResult applied =
        ZAVPackageInstaller::install(file->temporaryPath(), homes.oldHome, options, log);
    umask(mask);
    if (applied)
        return failure(EIO, "the delta made does not apply: " + applied->message);
    if (const ZAVStatus committed = file->commit(); !committed)
        return failure(committed.errorNumber(),
                       "cannot write " + output + ": " + committed.error().reasonText());
    return result;
}

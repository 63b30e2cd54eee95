#include "ZAVVendorRelease.h"

#include "ZAVVendorDelta.h"
#include "ZAVVendorFiles.h"
#include "ZAVVendorVerifier.h"
#include "base/ZAVAtomicFile.h"
#include "base/ZAVDirectory.h"
#include "base/ZAVFd.h"
#include "base/ZAVFiles.h"
#include "base/ZAVRename.h"

#include <QDateTime>
#include <QUrl>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace {

// The base URL as given less its trailing '/', or empty when it is not an absolute http(s)
// URL that a file name can be appended to.
QString baseUrlOf(QString text)
{
    while (text.endsWith(QLatin1Char('/')))
        text.chop(1);
    const QUrl url(text, QUrl::StrictMode);
    const bool web =
        url.scheme() == QLatin1String("https") || url.scheme() == QLatin1String("http");
    if (!url.isValid() || !web || url.host().isEmpty() || url.hasQuery() || url.hasFragment())
        return {};
    return text;
}

// The folder a release goes to: its parent and its last component, or nothing when the path
// names no folder of its own ("", ".", "..", "/").
struct Place {
    std::string parent;
    std::string name;
    std::string path; // without trailing '/'
};

std::optional<Place> placeOf(std::string path)
{
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    const size_t slash = path.rfind('/');
    Place place;
    place.path = path;
    place.name = slash == std::string::npos ? path : path.substr(slash + 1);
    place.parent = slash == std::string::npos ? std::string(".")
                   : slash == 0               ? std::string("/")
                                              : path.substr(0, slash);
    if (place.name.empty() || place.name == "." || place.name == "..")
        return std::nullopt;
    return place;
}

// The work folder: removed with what it holds unless it took the output's place.
class WorkFolder {
public:
    explicit WorkFolder(std::string path) : m_path(std::move(path)) {}
    ~WorkFolder()
    {
        if (!m_path.empty() && !m_kept)
            ZAVVendorFiles::removeScratchDirectory(m_path);
    }
    WorkFolder(const WorkFolder &) = delete;
    WorkFolder &operator=(const WorkFolder &) = delete;
    const std::string &path() const { return m_path; }
    void keep() { m_kept = true; }

private:
    std::string m_path;
    bool m_kept = false;
};

ZAVFileError failure(int error, const std::string &text)
{
    return ZAVVendorFiles::sentence(error, text);
}

ZAVStatus flushDirectory(const std::string &path)
{
    const ZAVFd fd(open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!fd.valid() || fsync(fd.get()) != 0)
        return failure(errno, "cannot flush " + path + " to disk: " + ZAVFiles::errorText(errno));
    return {};
}

} // namespace

std::string ZAVVendorRelease::packageFileName(const ZAVVendorPackager::Result &package,
                                              const std::string &version)
{
    std::string safe = version;
    for (char &c : safe) {
        const bool kept = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                          (c >= '0' && c <= '9') || c == '.' || c == '_' || c == '+' || c == '~' ||
                          c == '-';
        if (!kept)
            c = '_';
    }
    return package.applicationId + '-' + safe + '-' + package.sha256.substr(0, 16) + ".tar.zst";
}

ZAVResult<ZAVVendorRelease::Result> ZAVVendorRelease::make(const Options &options,
                                                           const ZAVVendorKey &key, std::FILE *out)
{
    const QString base = baseUrlOf(options.baseUrl);
    if (base.isEmpty())
        return failure(EINVAL, "--base-url " + options.baseUrl.toStdString() +
                                   " is not an absolute http(s) URL without query or fragment");
    const std::optional<Place> place = placeOf(options.outputDir);
    if (!place)
        return failure(EINVAL, "-o names no folder of its own: " + options.outputDir);

    // The output must be a new or an empty folder, so that one rename puts the release there.
    struct stat st {};
    const bool existed = lstat(place->path.c_str(), &st) == 0;
    if (!existed && errno != ENOENT)
        return failure(errno, "cannot look at " + place->path + ": " + ZAVFiles::errorText(errno));
    if (existed) {
        if (!S_ISDIR(st.st_mode))
            return failure(ENOTDIR, place->path + " is not a folder (a link is not followed)");
        const ZAVResult<ZAVFd> folder = ZAVDirectory::open(AT_FDCWD, place->path);
        if (!folder)
            return failure(folder.errorNumber(), "cannot read " + folder.error().message());
        const ZAVResult<std::vector<std::string>> names = ZAVDirectory::entries(folder->get());
        if (!names)
            return failure(names.errorNumber(),
                           "cannot read " + place->path + ": " + names.error().reasonText());
        if (!names->empty())
            return failure(ENOTEMPTY, place->path +
                                          " is not empty: a release goes into a new or empty "
                                          "folder, which it fills in one step");
    }
    const mode_t mask = umask(0);
    umask(mask);
    const mode_t mode = existed ? (st.st_mode & 07777) : (0777 & ~mask);

    std::string work = place->parent + "/." + place->name + ".zav-release-XXXXXX";
    if (!mkdtemp(work.data()))
        return failure(errno, "cannot make a work folder beside " + place->path + ": " +
                                  ZAVFiles::errorText(errno));
    WorkFolder folder(work);
    if (chmod(work.c_str(), mode) != 0)
        return failure(errno, "cannot set the mode of " + work + ": " + ZAVFiles::errorText(errno));

    ZAVResult<ZAVVendorPackager::Result> packed =
        ZAVVendorPackager::pack(options.appDir, work + "/.package.tar.zst");
    if (!packed)
        return packed.error();

    ZAVVendorFeedWriter::Options feed = options.feed;
    if (feed.product.isEmpty())
        feed.product = QString::fromStdString(packed->name);
    if (feed.bundleId.isEmpty())
        feed.bundleId = QString::fromStdString(packed->applicationId);
    if (feed.version.isEmpty())
        feed.version = QString::fromStdString(packed->version);
    if (feed.product.isEmpty())
        return failure(EINVAL, "the package's desktop entry has no Name: add one, or give "
                               "--product NAME");
    if (feed.version.isEmpty())
        return failure(EINVAL, "the package's desktop entry has no X-Package-Version: add "
                               "one, or give --version V");

    const std::string packageName = packageFileName(*packed, feed.version.toStdString());
    if (const ZAVStatus renamed = ZAVRename::noReplace(AT_FDCWD, work + "/.package.tar.zst",
                                                       AT_FDCWD, work + '/' + packageName);
        !renamed)
        return failure(renamed.errorNumber(), "cannot name the package " + packageName + ": " +
                                                  renamed.error().reasonText());
    feed.pkgUrl = base + QLatin1Char('/') + QString::fromStdString(packageName);
    feed.feedUrl = base + QStringLiteral("/feed.json");
    std::string deltaName;
    if (!options.previousPackage.empty()) {
        const ZAVResult<ZAVVendorDelta::Result> delta = ZAVVendorDelta::make(
            options.previousPackage, work + '/' + packageName, work + "/.delta.tar.zst");
        if (!delta)
            return failure(delta.errorNumber(), "--previous: " + delta.error().message());
        ZAVVendorPackager::Result named = *packed;
        named.sha256 = delta->sha256;
        deltaName = packageFileName(named, feed.version.toStdString());
        deltaName.replace(deltaName.size() - std::string_view(".tar.zst").size(), 0, ".delta");
        if (const ZAVStatus renamed = ZAVRename::noReplace(AT_FDCWD, work + "/.delta.tar.zst",
                                                           AT_FDCWD, work + '/' + deltaName);
            !renamed)
            return failure(renamed.errorNumber(), "cannot name the delta " + deltaName + ": " +
                                                      renamed.error().reasonText());
        feed.deltas.append({QString::fromStdString(delta->fromSha256),
                            base + QLatin1Char('/') + QString::fromStdString(deltaName),
                            QString::fromStdString(delta->sha256), qint64(delta->size)});
        std::fprintf(out,
                     "ok    delta %s: %llu bytes from the package %s (%d files unchanged, %d "
                     "patched, %d whole)\n",
                     deltaName.c_str(), static_cast<unsigned long long>(delta->size),
                     delta->fromSha256.c_str(), delta->unchanged, delta->patched, delta->whole);
    }

    std::string error;
    const std::optional<QByteArray> document =
        ZAVVendorFeedWriter::document(feed, *packed, QDateTime::currentDateTimeUtc(), &error);
    if (!document)
        return failure(EINVAL, error);
    const std::string feedPath = work + "/feed.json";
    if (const ZAVStatus written = ZAVAtomicFile::write(
            feedPath,
            std::string_view(document->constData(), static_cast<size_t>(document->size())), 0644);
        !written)
        return failure(written.errorNumber(),
                       "cannot write " + feedPath + ": " + written.error().reasonText());
    const ZAVResult<std::string> signature = key.signatureFor(feedPath, "feed.json");
    if (!signature)
        return failure(signature.errorNumber(), "cannot read " + signature.error().message());
    if (const ZAVStatus written = ZAVAtomicFile::write(feedPath + ".minisig", *signature, 0644);
        !written)
        return failure(written.errorNumber(),
                       "cannot write " + feedPath + ".minisig: " + written.error().reasonText());

    ZAVVendorVerifier::Request check;
    check.publicKeyPath = options.publicKeyPath;
    if (options.publicKeyPath.empty()) {
        check.publicKeyPath = "of the signing key";
        check.publicKeyText = key.publicKeyFileText();
    }
    check.feed = feedPath;
    check.feedUrl = feed.feedUrl.toStdString();
    check.package = work + '/' + packageName;
    check.feedName = place->path + "/feed.json";
    check.packageName = place->path + '/' + packageName;
    check.minimumSerial = options.minimumSerial;
    if (!ZAVVendorVerifier::verify(check, out))
        return failure(EPERM, "the release would be refused as shown above; " + place->path +
                                  " is left as it was");

    // The files are on disk (each was flushed); so must be the folder's names before it moves.
    if (const ZAVStatus flushed = flushDirectory(work); !flushed)
        return flushed.error();
    const ZAVStatus moved = existed ? ZAVRename::replace(AT_FDCWD, work, AT_FDCWD, place->path)
                                    : ZAVRename::noReplace(AT_FDCWD, work, AT_FDCWD, place->path);
    if (!moved)
        return failure(moved.errorNumber(), "cannot put the release at " + place->path + ": " +
                                                moved.error().reasonText());
    folder.keep();
    if (const ZAVStatus flushed = flushDirectory(place->parent); !flushed)
        return flushed.error();

    Result result;
    result.package = *packed;
    result.packagePath = place->path + '/' + packageName;
    if (!deltaName.empty())
        result.deltaPath = place->path + '/' + deltaName;
    result.feedPath = place->path + "/feed.json";
    result.signaturePath = result.feedPath + ".minisig";
    result.baseUrl = base;
    result.feedUrl = feed.feedUrl;
    return result;
}

#include "ZAVVendorVerifier.h"

#include "ZAVVendorFiles.h"
#include "ZAVVendorPackager.h"
#include "base/ZAVFileReader.h"
#include "base/ZAVFiles.h"
#include "base/ZAVRename.h"
#include "feed/ZAVFeedLoader.h"
#include "feed/ZAVFeedTrust.h"
#include "platform/ZAVURLSession.h"
#include "platform/ZAVURLSessionDownloadTask.h"
#include "trust/ZAVMinisign.h"

#include <QDateTime>
#include <QFile>
#include <QUrl>

#include <cerrno>
#include <cstdlib>
#include <future>

#include <fcntl.h>
#include <unistd.h>

namespace {

// The most a feed or signature may be, as the installer reads them.
constexpr qint64 kMaxDocumentSize = ZAVFeedData::kMaximumDocumentSize;

struct Fetched {
    std::optional<QByteArray> body;
    std::string error;
};

bool isWebUrl(const std::string &text)
{
    return text.starts_with("http://") || text.starts_with("https://");
}

// One GET over a session of its own, waited for.
Fetched fetch(const QUrl &url)
{
    ZAVURLSessionConfiguration configuration;
    configuration.requestCachePolicy = ZAVURLRequestCachePolicy::ReloadIgnoringLocalCacheData;
    configuration.maximumDataTaskBodySize = kMaxDocumentSize;
    auto session = ZAVURLSession::sessionWithConfiguration(configuration);
    std::promise<Fetched> done;
    auto task =
        session->dataTaskWithURL(url, [&done](const std::optional<QByteArray> &body,
                                              const std::optional<ZAVHTTPURLResponse> &response,
                                              const ZAVOptionalError &error) {
            Fetched result;
            if (error)
                result.error = error->localizedDescription.toStdString();
            else if (!response || response->statusCode < 200 || response->statusCode > 299)
                result.error = "HTTP status " + std::to_string(response ? response->statusCode : 0);
            else
                result.body = body;
            done.set_value(std::move(result));
        });
    task->resume();
    session->finishTasksAndInvalidate();
    return done.get_future().get();
}

Fetched load(const std::string &feed, bool signature)
{
    const std::string suffix = signature ? ".minisig" : "";
    if (isWebUrl(feed)) {
        const QUrl url = QUrl::fromEncoded(QByteArray::fromStdString(feed), QUrl::StrictMode);
        return fetch(signature ? ZAVFeedTrust::signatureURL(url) : url);
    }
    Fetched result;
    if (const ZAVResult<std::string> text = ZAVFileReader::read(feed + suffix, kMaxDocumentSize))
        result.body = QByteArray::fromStdString(*text);
    else
        result.error = "cannot read " + text.error().message();
    return result;
}

// Streams a package or delta into the private temporary directory with the installer's own
// checks of its size and SHA-256 as the bytes arrive, and keeps the file for zav-pkg's checks.
class PackageDownload final : public ZAVURLSessionDelegate {
public:
    using ZAVURLSessionDelegate::URLSession;
    void URLSession(ZAVURLSession &, ZAVURLSessionDownloadTask &,
                    const QByteArray &location) override
    {
        m_path = location.toStdString() + ".zav-vendor";
        if (!ZAVRename::noReplace(AT_FDCWD, location.toStdString(), AT_FDCWD, m_path))
            m_path.clear();
    }
    void URLSession(ZAVURLSession &, ZAVURLSessionTask &, const ZAVOptionalError &error) override
    {
        if (error)
            m_error = error->localizedDescription.toStdString();
        else if (m_path.empty())
            m_error = "the file could not be kept for checking";
        m_done.set_value();
    }

    std::future<void> finished() { return m_done.get_future(); }
    std::string path() const { return m_path; }
    std::string error() const { return m_error; }

private:
    std::string m_path;
    std::string m_error;
    std::promise<void> m_done;
};

struct Downloaded {
    std::string path;  // the file kept, which the caller removes
    std::string error; // empty when it arrived whole
};

// Downloads `url` with the installer's checks of `size` and `sha256` as the bytes arrive.
Downloaded download(const QUrl &url, qint64 size, const QString &sha256)
{
    auto delegate = std::make_shared<PackageDownload>();
    std::future<void> finished = delegate->finished();
    auto session = ZAVURLSession::sessionWithConfiguration(
        ZAVURLSessionConfiguration::defaultSessionConfiguration(), delegate, nullptr);
    auto task = session->downloadTaskWithURL(url);
    task->setExpectedContent(size, sha256.toLatin1());
    task->resume();
    session->finishTasksAndInvalidate();
    finished.get();
    if (!delegate->error().empty() && !delegate->path().empty())
        unlink(delegate->path().c_str());
    return {delegate->error().empty() ? delegate->path() : std::string(), delegate->error()};
}

class Report {
public:
    explicit Report(std::FILE *out) : m_out(out) {}
    void ok(const std::string &line) { std::fprintf(m_out, "ok      %s\n", line.c_str()); }
    bool failed(const std::string &line)
    {
        std::fflush(m_out);
        std::fprintf(stderr, "FAILED  %s\n", line.c_str());
        return false;
    }

private:
    std::FILE *m_out;
};

// Checks the local `path` against the size and SHA-256 the feed pins, as the installer checks
// what it downloads, before zav-pkg's checks run on it. Empty when they hold.
std::string localPackageMismatch(const std::string &path, const QString &sha256, qint64 size)
{
    std::string digest;
    uint64_t actual = 0;
    if (const ZAVStatus read = ZAVVendorFiles::digestFile(path, &digest, &actual); !read)
        return "cannot read " + read.error().message();
    if (actual != static_cast<uint64_t>(size))
        return "the file has " + std::to_string(actual) + " bytes instead of " +
               std::to_string(size);
    if (QString::fromStdString(digest) != sha256)
        return "the file's SHA-256 is " + digest + " instead of " + sha256.toStdString();
    return {};
}

// What the report says of a delta that is the one the feed pins.
std::string asPinned(const ZAVFeedData::Delta &delta)
{
    return ": " + std::to_string(delta.size) +
           " bytes, SHA-256 as the feed says (from the package " + delta.fromSha256.toStdString() +
           ")";
}

// zav-pkg's checks on the package file at `path`, given the size and SHA-256 as the installer
// gives them, and its application id against the feed's bundleId.
bool checkedByZavPkg(Report &report, const std::string &path, const ZAVFeedData &record,
                     const QString &sha256, qint64 size)
{
    const ZAVResult<ZAVVendorPackager::Result> package =
        ZAVVendorPackager::check(path, {sha256.toStdString(), size});
    if (!package)
        return report.failed("package: " + package.error().message());
    if (QString::fromStdString(package->applicationId) != record.bundleId())
        return report.failed("package: its application id is " + package->applicationId +
                             ", the feed's bundleId " +
                             record.bundleId().value_or(QString()).toStdString());
    if (record.pkgTreeSha256() &&
        QString::fromStdString(package->treeSha256) != *record.pkgTreeSha256())
        return report.failed("package: its tree digest is " + package->treeSha256 +
                             ", the feed's pkgTreeSha256 " + record.pkgTreeSha256()->toStdString());
    report.ok("package: zav-pkg accepts it; application id " + package->applicationId +
              (record.pkgTreeSha256() ? "; tree digest as the feed says" : ""));
    return true;
}

} // namespace

bool ZAVVendorVerifier::verify(const Request &request, std::FILE *out)
{
    Report report(out);
    const std::string &publicKeyPath = request.publicKeyPath;
    const std::string &feed = request.feed;
    const std::string &feedName = request.feedName.empty() ? feed : request.feedName;
    const qint64 minimumSerial = request.minimumSerial;
    ZAVResult<std::string> keyText = request.publicKeyText.empty()
                                         ? ZAVFileReader::read(publicKeyPath, 4096)
                                         : ZAVResult<std::string>(request.publicKeyText);
    if (!keyText)
        return report.failed("public key " + publicKeyPath + ": cannot read " +
                             keyText.error().message());
    const ZAVResult<ZAVMinisign::PublicKey> key = ZAVMinisign::parsePublicKey(*keyText);
    if (!key)
        return report.failed("public key " + publicKeyPath + ": " + key.error().message());
    report.ok("public key " + ZAVMinisign::keyIdText(key->keyId));

    const Fetched document = load(feed, false);
    if (!document.body)
        return report.failed("feed " + feedName + ": " + document.error);
    report.ok("feed " + feedName + ": " + std::to_string(document.body->size()) + " bytes");
    const Fetched signature = load(feed, true);
    if (!signature.body)
        return report.failed("signature " + feedName + ".minisig: " + signature.error);
    const ZAVFeedTrust trust({*key}, minimumSerial);
    QString keyId;
    if (const ZAVOptionalError refusal =
            trust.verifySignature(*document.body, *signature.body, &keyId))
        return report.failed("signature: " + refusal->localizedDescription.toStdString());
    report.ok("signature by key " + keyId.toStdString());

    ZAVOptionalError refusal;
    const auto record = ZAVFeedLoader::feedDataFromData(*document.body, &refusal);
    if (!record)
        return report.failed("feed document: " + refusal->localizedDescription.toStdString());
    // A file has no address to compare the feed's own with, unless it is told the one it is
    // to be served at: otherwise the feed's own is shown instead.
    const bool compared = isWebUrl(feed) || !request.feedUrl.empty();
    const std::string servedAt = isWebUrl(feed) ? feed : request.feedUrl;
    const QUrl feedUrl =
        compared ? QUrl::fromEncoded(QByteArray::fromStdString(servedAt), QUrl::StrictMode)
                 : QUrl(record->feedUrl().value_or(QString()), QUrl::StrictMode);
    // The installer keeps the serial it admits; the vendor's own state is left alone.
    const std::string state = ZAVVendorFiles::makeScratchDirectory("zav-vendor-state-");
    if (state.empty())
        return report.failed("cannot make a throw-away state directory: " +
                             ZAVFiles::errorText(errno));
    qputenv("XDG_STATE_HOME", QByteArray::fromStdString(state));
    refusal = trust.admit(*record, feedUrl, keyId, QDateTime::currentDateTimeUtc());
    ZAVVendorFiles::removeScratchDirectory(state);
    if (refusal && refusal->code == ZAVFeedErrorRolledBack)
        return report.failed("feed document: " + refusal->localizedDescription.toStdString() +
                             " (serial " + std::to_string(*record->feedSerial()) +
                             ", the installers' floor " + std::to_string(minimumSerial) + ")");
    if (refusal)
        return report.failed("feed document: " + refusal->localizedDescription.toStdString());
    const QString pkgUrl = record->pkgUrl().value_or(QString());
    const QString sha256 = *record->pkgSha256();
    const qint64 size = *record->pkgSize();
    report.ok("feed document: " + record->product().value_or(QString()).toStdString() + " " +
              record->version().value_or(QString()).toStdString() + ", serial " +
              std::to_string(*record->feedSerial()) + ", expires " +
              record->expiresAt()->toString(Qt::ISODate).toStdString() + ", for " +
              record->feedUrl()->toStdString() + (compared ? "" : " (not compared)"));

    QUrl packageUrl;
    if (const ZAVOptionalError refused = record->packageURL(&packageUrl))
        return report.failed("package: " + refused->localizedDescription.toStdString());

    if (!request.package.empty()) {
        const std::string &packageName =
            request.packageName.empty() ? request.package : request.packageName;
        if (const std::string mismatch = localPackageMismatch(request.package, sha256, size);
            !mismatch.empty())
            return report.failed("package " + packageName + ": " + mismatch);
        report.ok("package " + packageName + ": " + std::to_string(size) +
                  " bytes, SHA-256 as the feed says (for " + pkgUrl.toStdString() + ")");
        if (!checkedByZavPkg(report, request.package, *record, sha256, size))
            return false;
        // Each delta that lies beside the package, by the last segment of its URL, is checked
        // against what the feed pins for it.
        const std::string folder = request.package.rfind('/') == std::string::npos
                                       ? std::string()
                                       : request.package.substr(0, request.package.rfind('/') + 1);
        const std::string shownFolder = packageName.rfind('/') == std::string::npos
                                            ? std::string()
                                            : packageName.substr(0, packageName.rfind('/') + 1);
        for (const ZAVFeedData::Delta &delta : record->pkgDeltas()) {
            const std::string name = delta.url.fileName(QUrl::FullyDecoded).toStdString();
            const std::string path = folder + name;
            if (name.empty() || access(path.c_str(), F_OK) != 0) {
                report.ok("delta " + delta.url.toString().toStdString() + ": no file " +
                          shownFolder + name + " beside the package (not checked)");
                continue;
            }
            if (const std::string mismatch = localPackageMismatch(path, delta.sha256, delta.size);
                !mismatch.empty())
                return report.failed("delta " + shownFolder + name + ": " + mismatch);
            report.ok("delta " + shownFolder + name + asPinned(delta));
        }
        return true;
    }

    const Downloaded package = download(packageUrl, size, sha256);
    if (!package.error.empty())
        return report.failed("package " + pkgUrl.toStdString() + ": " + package.error);
    report.ok("package " + pkgUrl.toStdString() + ": " + std::to_string(size) +
              " bytes, SHA-256 as the feed says");
    const bool accepted = checkedByZavPkg(report, package.path, *record, sha256, size);
    unlink(package.path.c_str());
    if (!accepted)
        return false;
    // A delta missing or damaged on the server costs each user who has the version it is
    // from a failed download before the full package.
    for (const ZAVFeedData::Delta &delta : record->pkgDeltas()) {
        const std::string url = delta.url.toString().toStdString();
        const Downloaded file = download(delta.url, delta.size, delta.sha256);
        if (!file.error.empty())
            return report.failed("delta " + url + ": " + file.error);
        unlink(file.path.c_str());
        report.ok("delta " + url + asPinned(delta));
    }
    return true;
}

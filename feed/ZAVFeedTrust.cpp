#include "ZAVFeedTrust.h"

#include "platform/ZAVLog.h"

#include <QCryptographicHash>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>

#include <cerrno>
#include <cstdio>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A state file is a few dozen bytes; anything larger is not ours.
constexpr qsizetype kMaximumStateSize = 64 * 1024;

ZAVError missingKey(const char *key)
{
    return ZAVFeedError(ZAVFeedErrorMissingKey,
                        QStringLiteral("\"%1\" is missing").arg(QLatin1String(key)));
}

// The serial kept for this feed, or 0 when none is (first run, or a file that is not ours).
qint64 readStoredSerial(const QByteArray &path)
{
    const int fd = ::open(path.constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return 0;
    QByteArray text(kMaximumStateSize, '\0');
    qsizetype length = 0;
    while (length < text.size()) {
        const ssize_t n = ::read(fd, text.data() + length, size_t(text.size() - length));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        length += n;
    }
    ::close(fd);
    text.truncate(length);
    const QJsonValue serial = QJsonDocument::fromJson(text).object().value(u"feedSerial");
    if (!serial.isDouble()) {
        ZAVLog(QStringLiteral("The kept feed serial is unreadable and is ignored: ") +
               QFile::decodeName(path));
        return 0;
    }
    return qint64(serial.toDouble());
}

// Creates the directories of `path` that are missing (mode 0700).
bool makeParents(const QByteArray &path)
{
    for (qsizetype slash = path.indexOf('/', 1); slash > 0; slash = path.indexOf('/', slash + 1)) {
        if (::mkdir(path.left(slash).constData(), 0700) != 0 && errno != EEXIST)
            return false;
    }
    return true;
}

// Replaces the file at `path` with `data`: a new flushed file beside it, renamed over it.
int writeAtomically(const QByteArray &path, const QByteArray &data)
{
    if (!makeParents(path))
        return errno;
    QByteArray temporary = path + ".XXXXXX";
    const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0)
        return errno;
    int error = 0;
    qsizetype written = 0;
    while (error == 0 && written < data.size()) {
        const ssize_t n = ::write(fd, data.constData() + written, size_t(data.size() - written));
        if (n < 0 && errno != EINTR)
            error = errno;
        else if (n > 0)
            written += n;
    }
    if (error == 0 && ::fsync(fd) != 0)
        error = errno;
    if (::close(fd) != 0 && error == 0)
        error = errno;
    if (error == 0 && ::rename(temporary.constData(), path.constData()) != 0)
        error = errno;
    if (error != 0)
        ::unlink(temporary.constData());
    return error;
}

} // namespace

ZAVFeedTrust::ZAVFeedTrust(std::vector<ZAVMinisign::PublicKey> keys, qint64 minimumSerial)
    : m_keys(std::move(keys)), m_minimumSerial(minimumSerial)
{
}

ZAVFeedTrust ZAVFeedTrust::fromKeyList(const char *keys, qint64 minimumSerial)
{
    std::vector<ZAVMinisign::PublicKey> parsed;
    for (const QByteArray &line : QByteArray(keys).split(',')) {
        if (line.isEmpty())
            continue;
        std::string error;
        if (const auto key = ZAVMinisign::parsePublicKey(line.toStdString(), &error))
            parsed.push_back(*key);
        else
            ZAVLog(QStringLiteral("Trusted key %1 is left out: %2")
                       .arg(QString::fromLatin1(line), QString::fromStdString(error)));
    }
    return ZAVFeedTrust(std::move(parsed), minimumSerial);
}

QUrl ZAVFeedTrust::signatureURL(const QUrl &feedURL)
{
    QUrl url = feedURL;
    url.setPath(feedURL.path(QUrl::FullyEncoded) + QStringLiteral(".minisig"),
                QUrl::TolerantMode);
    return url;
}

ZAVOptionalError ZAVFeedTrust::verifySignature(const QByteArray &feed, const QByteArray &signature,
                                               QString *keyId) const
{
    const ZAVMinisign::Verification result = ZAVMinisign::verify(
        std::string_view(feed.constData(), size_t(feed.size())),
        std::string_view(signature.constData(), size_t(signature.size())), m_keys);
    if (!result.ok) {
        ZAVLogFormat(u"The product information could not be verified: %@",
                     QString::fromStdString(result.error));
        return ZAVFeedTrustError(ZAVFeedErrorNotVerified);
    }
    *keyId = QString::fromStdString(result.keyId);
    ZAVLogFormat(u"The product information is signed by key %@", *keyId);
    return std::nullopt;
}

ZAVOptionalError ZAVFeedTrust::admit(const ZAVFeedData &record, const QUrl &feedURL,
                                     const QString &keyId, const QDateTime &now) const
{
    if (!verifiesFeeds())
        return std::nullopt;
    if (!record.pkgSha256())
        return missingKey("pkgSha256");
    if (!record.pkgSize())
        return missingKey("pkgSize");
    if (!record.feedSerial())
        return missingKey("feedSerial");
    if (!record.expiresAt())
        return missingKey("expiresAt");
    if (!record.feedUrl())
        return missingKey("feedUrl");

    if (QUrl(*record.feedUrl(), QUrl::StrictMode) != feedURL) {
        ZAVLogFormat(u"The product information is for %@, not for %@", record.feedUrl(),
                     feedURL.toString());
        return ZAVFeedTrustError(ZAVFeedErrorOtherProduct);
    }
    if (now >= *record.expiresAt()) {
        ZAVLogFormat(u"The product information expired at %@; it is now %@",
                     record.expiresAt()->toString(Qt::ISODate), now.toUTC().toString(Qt::ISODate));
        return ZAVFeedTrustError(ZAVFeedErrorExpired);
    }
    const QByteArray path = statePath(feedURL);
    const qint64 stored = path.isEmpty() ? 0 : readStoredSerial(path);
    const qint64 serial = *record.feedSerial();
    if (serial < stored || serial < m_minimumSerial) {
        ZAVLogFormat(u"The product information has serial %@, below %@ already seen (floor %@)",
                     QString::number(serial), QString::number(stored),
                     QString::number(m_minimumSerial));
        return ZAVFeedTrustError(ZAVFeedErrorRolledBack);
    }
    const QJsonObject state{{QStringLiteral("feedSerial"), double(serial)},
                            {QStringLiteral("keyId"), keyId},
                            {QStringLiteral("feedUrl"), feedURL.toString()}};
    const int error = path.isEmpty()
                          ? ENOENT
                          : writeAtomically(path, QJsonDocument(state).toJson());
    if (error != 0)
        ZAVLogFormat(u"The feed serial could not be kept in %@: %@", QFile::decodeName(path),
                     qt_error_string(error));
    return std::nullopt;
}

QByteArray ZAVFeedTrust::statePath(const QUrl &feedURL)
{
    QByteArray base = qgetenv("XDG_STATE_HOME");
    if (!base.startsWith('/')) {
        const QByteArray home = qgetenv("HOME");
        if (!home.startsWith('/'))
            return {};
        base = home + "/.local/state";
    }
    const QByteArray name =
        QCryptographicHash::hash(feedURL.toEncoded(), QCryptographicHash::Sha256).toHex().left(16);
    return base + "/zav/feeds/" + name + ".json";
}

#include "ZAVFeedTrust.h"

#include "base/ZAVAtomicFile.h"
#include "base/ZAVFileReader.h"
#include "platform/ZAVFileLock.h"
#include "platform/ZAVLog.h"

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QThread>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>

#include <sys/stat.h>

namespace {

// A state file is a few dozen bytes; anything larger is not ours.
constexpr qsizetype kMaximumStateSize = 64 * 1024;

// Another installer holds the state folder's lock for one small read and one write; a lock
// held longer than this is not an installer's, and the serials cannot be checked.
constexpr int kStateLockWaitMs = 3000;

ZAVError missingKey(const char *key)
{
    return ZAVFeedError(
        ZAVFeedErrorMissingKey,
        ZAVTranslate("ZAVFeedTrust", "\"%1\" is missing").arg(QString::fromLatin1(key)));
}

// The largest integer a JSON number (a double) holds exactly.
constexpr double kMaximumSerial = double((qint64(1) << 53) - 1);

bool isSerial(const QJsonValue &value)
{
    const double number = value.toDouble(-1);
    return value.isDouble() && number >= 0 && number <= kMaximumSerial &&
           std::trunc(number) == number;
}

// What the state file keeps for one feed URL: for each key id, the highest serial of a feed
// signed by that key that this user accepted. `error` says, for the log, why a file that is
// there cannot be used; no file (a first run) is no error.
struct KeptSerials {
    QJsonObject serials;
    QString error;
};

KeptSerials readKeptSerials(const QByteArray &path)
{
    if (path.isEmpty())
        return {{}, QStringLiteral("neither $XDG_STATE_HOME nor $HOME names a folder")};
    // Not through a link, and without waiting for a writer at a FIFO.
    const ZAVResult<std::string> read = ZAVFileReader::read(
        path.toStdString(), size_t(kMaximumStateSize), ZAVFileReader::Links::Refuse);
    if (!read)
        return read.errorNumber() == ENOENT
                   ? KeptSerials{}
                   : KeptSerials{{}, QString::fromStdString(read.error().reasonText())};
    const QByteArray text = QByteArray::fromStdString(*read);
    const QJsonObject state = QJsonDocument::fromJson(text).object();
    KeptSerials kept;
    if (const QJsonValue serials = state.value(u"serials"); serials.isObject()) {
        kept.serials = serials.toObject();
    } else if (isSerial(state.value(u"feedSerial"))) {
        // As the first installers kept it: the serial of the last feed and the key of that
        // feed. No installer wrote one without the key; such a serial counts for every key.
        kept.serials.insert(state.value(u"keyId").toString(), state.value(u"feedSerial"));
    } else {
        return {{}, QStringLiteral("not a state file of this installer")};
    }
    for (const QJsonValue serial : kept.serials) {
        if (!isSerial(serial))
            return {{}, QStringLiteral("a serial in it is not a whole number")};
    }
    return kept;
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

// Takes the lock on the folder of `path` (made when missing), waiting for another holder at
// most kStateLockWaitMs; 0 or the errno that stopped it.
int lockFolder(const QByteArray &path, ZAVFileLock *lock)
{
    if (!makeParents(path))
        return errno;
    // "/." : a folder that is a link to another (a state kept on another disk) is locked too.
    const QByteArray folder = path.left(path.lastIndexOf('/')) + "/.";
    const QDeadlineTimer deadline(kStateLockWaitMs);
    while (!lock->tryLock(folder)) {
        if (lock->errorNumber() != EWOULDBLOCK || deadline.hasExpired())
            return lock->errorNumber();
        QThread::msleep(5);
    }
    return 0;
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
        if (const auto key = ZAVMinisign::parsePublicKey(line.toStdString()))
            parsed.push_back(*key);
        else
            ZAVLog(
                QStringLiteral("Trusted key %1 is left out: %2")
                    .arg(QString::fromLatin1(line), QString::fromStdString(key.error().message())));
    }
    return ZAVFeedTrust(std::move(parsed), minimumSerial);
}

QUrl ZAVFeedTrust::signatureURL(const QUrl &feedURL)
{
    QUrl url = feedURL;
    url.setPath(feedURL.path(QUrl::FullyEncoded) + QStringLiteral(".minisig"), QUrl::TolerantMode);
    return url;
}

ZAVOptionalError ZAVFeedTrust::verifySignature(const QByteArray &feed, const QByteArray &signature,
                                               QString *keyId) const
{
    const ZAVMinisign::Verification result = ZAVMinisign::verify(
        std::string_view(feed.constData(), size_t(feed.size())),
        std::string_view(signature.constData(), size_t(signature.size())), m_keys);
    if (!result.status) {
        ZAVLogFormat(u"The product information could not be verified: %@",
                     QString::fromStdString(result.status.error().message()));
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
    // Without it nothing can be launched, and a running copy is neither found nor closed.
    if (!record.bundleId() || record.bundleId()->isEmpty())
        return missingKey("bundleId");

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
    // Without the kept serials a rolled-back feed cannot be told from a new one: refused.
    const QByteArray path = statePath(feedURL);
    // Two installers admitting feeds of this URL at once would each write back what it had
    // read, and one key's serial could be lost: reading, checking and writing take turns.
    ZAVFileLock lock;
    if (const int error = path.isEmpty() ? 0 : lockFolder(path, &lock)) {
        ZAVLogFormat(u"The kept feed serials cannot be locked, so the product information is "
                     u"refused: %@: %@",
                     QFile::decodeName(path), qt_error_string(error));
        return ZAVFeedTrustError(ZAVFeedErrorRolledBack);
    }
    KeptSerials kept = readKeptSerials(path);
    if (!kept.error.isEmpty()) {
        ZAVLogFormat(u"The kept feed serials cannot be read, so the product information is "
                     u"refused: %@: %@",
                     QFile::decodeName(path), kept.error);
        return ZAVFeedTrustError(ZAVFeedErrorRolledBack);
    }
    // Only the serial kept for the key that signed this feed counts (and one kept without a
    // key): a feed signed with a key that was stolen, or a serial mistyped, holds back no
    // feed signed with another key.
    const qint64 serial = *record.feedSerial();
    const qint64 stored = qint64(
        std::max(kept.serials.value(keyId).toDouble(), kept.serials.value(QString()).toDouble()));
    if (serial < stored || serial < m_minimumSerial) {
        ZAVLogFormat(u"The product information signed by key %@ has serial %@, below %@ "
                     u"already seen from that key (floor %@)",
                     keyId, QString::number(serial), QString::number(stored),
                     QString::number(m_minimumSerial));
        return ZAVFeedTrustError(ZAVFeedErrorRolledBack);
    }
    kept.serials.insert(keyId, double(serial));
    // "feedSerial" and "keyId", the last feed accepted, are what the first installers read.
    const QJsonObject state{{QStringLiteral("feedSerial"), double(serial)},
                            {QStringLiteral("keyId"), keyId},
                            {QStringLiteral("feedUrl"), feedURL.toString()},
                            {QStringLiteral("serials"), kept.serials}};
    if (const int error = ZAVAtomicFile::write(path.toStdString(),
                                               QJsonDocument(state).toJson().toStdString(), 0600)
                              .errorNumber()) {
        ZAVLogFormat(u"The feed serial cannot be kept in %@, so the product information is "
                     u"refused: %@",
                     QFile::decodeName(path), qt_error_string(error));
        return ZAVFeedTrustError(ZAVFeedErrorRolledBack);
    }
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

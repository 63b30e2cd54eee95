#pragma once

#include "platform/ZAVError.h"

#include <QDateTime>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <QUrl>

#include <memory>
#include <optional>

// The feed record: the fields of the feed document, the six that describe the product and the
// five that pin what a signed feed promises (the package's SHA-256 and size, the feed's serial,
// expiry and own URL). Made and filled once, by
// initWithDictionary on the thread that parses the feed; afterwards shared read-only
// (std::shared_ptr<const ZAVFeedData>) between the main thread and the manager's threads,
// which is why no accessor locks.
class ZAVFeedData {
public:
    // The most bytes a feed document, or its signature, may have: a feed is a few hundred
    // bytes, and a server sending more is not sending a feed. The installer stops reading
    // there, and zav-vendor verify refuses what the installer would.
    static constexpr qint64 kMaximumDocumentSize = 1024 * 1024;

    // The record for a parsed feed document, or nullptr with `error` set when the document
    // does not fit the feed's data model (a known key with a value of the wrong type, or a
    // pinning key whose value breaks its rule: pkgSha256 not 64 hex digits, pkgSize not a whole
    // number above 0, feedSerial not a whole number from 1 to 2^53 - 1, expiresAt not an
    // RFC 3339 UTC time). Other keys are skipped; null counts as the key missing.
    static std::shared_ptr<ZAVFeedData> initWithDictionary(const QJsonObject &dictionary,
                                                           ZAVOptionalError *error = nullptr);

    // Absent (std::nullopt) and empty are different things.
    const std::optional<QString> &product() const { return m_product; }
    const std::optional<QString> &bundleId() const { return m_bundleId; }
    const std::optional<QString> &version() const { return m_version; }
    const std::optional<QString> &pkgUrl() const { return m_pkgUrl; }
    // Any non-zero byte means true.
    qint8 autoLaunch() const { return m_autoLaunch; }
    qint8 displayVersion() const { return m_displayVersion; }
    // 64 lower-case hex digits.
    const std::optional<QString> &pkgSha256() const { return m_pkgSha256; }
    const std::optional<qint64> &pkgSize() const { return m_pkgSize; }
    const std::optional<qint64> &feedSerial() const { return m_feedSerial; }
    // In UTC.
    const std::optional<QDateTime> &expiresAt() const { return m_expiresAt; }
    const std::optional<QString> &feedUrl() const { return m_feedUrl; }
    // Other places that hold the same package ("pkgMirrors"), in the order they are tried after
    // pkgUrl: absolute http or https URLs with a host, at most kMaximumMirrors.
    const QList<QUrl> &pkgMirrors() const { return m_pkgMirrors; }
    static constexpr int kMaximumMirrors = 8;
    // The tree digest of the package's application directory ("pkgTreeSha256",
    // docs/zav-pkg.md): what a delta must rebuild. 64 lower-case hex digits.
    const std::optional<QString> &pkgTreeSha256() const { return m_pkgTreeSha256; }
    // A delta from an installed package to this feed's ("pkgDeltas"): the installed package's
    // SHA-256, where the delta is (an absolute http or https URL with a host), its SHA-256 and
    // size; at most kMaximumDeltas.
    struct Delta {
        QString fromSha256;
        QUrl url;
        QString sha256;
        qint64 size = 0;
    };
    const QList<Delta> &pkgDeltas() const { return m_pkgDeltas; }
    static constexpr int kMaximumDeltas = 64;
    // The delta from the package `installedSha256`, when the feed offers one and pins the
    // tree it must make (pkgTreeSha256, pkgSha256); nullptr otherwise.
    const Delta *deltaFrom(const QString &installedSha256) const;

    // The package's address as a URL (into *url), or why it cannot be downloaded: pkgUrl is
    // missing or blank, or not an absolute http or https URL with a host. Other schemes would
    // read local files or the installer's own resources. The installer downloads nothing
    // else, and zav-vendor verify refuses the same feeds with the same sentence.
    ZAVOptionalError packageURL(QUrl *url) const;

    void setProduct(const std::optional<QString> &product) { m_product = product; }
    void setBundleId(const std::optional<QString> &bundleId) { m_bundleId = bundleId; }
    void setVersion(const std::optional<QString> &version) { m_version = version; }
    void setPkgUrl(const std::optional<QString> &pkgUrl) { m_pkgUrl = pkgUrl; }
    void setAutoLaunch(qint8 autoLaunch) { m_autoLaunch = autoLaunch; }
    void setDisplayVersion(qint8 displayVersion) { m_displayVersion = displayVersion; }
    void setPkgSha256(const std::optional<QString> &sha256) { m_pkgSha256 = sha256; }
    void setPkgSize(const std::optional<qint64> &size) { m_pkgSize = size; }
    void setFeedSerial(const std::optional<qint64> &serial) { m_feedSerial = serial; }
    void setExpiresAt(const std::optional<QDateTime> &time) { m_expiresAt = time; }
    void setFeedUrl(const std::optional<QString> &url) { m_feedUrl = url; }
    void setPkgMirrors(const QList<QUrl> &mirrors) { m_pkgMirrors = mirrors; }
    void setPkgTreeSha256(const std::optional<QString> &sha256) { m_pkgTreeSha256 = sha256; }
    void setPkgDeltas(const QList<Delta> &deltas) { m_pkgDeltas = deltas; }

private:
    // Assigns each known key through its setter. Stops at the first value of the wrong type.
    ZAVOptionalError setValuesForKeysWithDictionary(const QJsonObject &dictionary);
    ZAVOptionalError setMirrorValues(const QJsonObject &dictionary);
    ZAVOptionalError setDeltaValues(const QJsonObject &dictionary);
    ZAVOptionalError setPinningValues(const QJsonObject &dictionary);

    std::optional<QString> m_product;
    std::optional<QString> m_bundleId;
    std::optional<QString> m_version;
    std::optional<QString> m_pkgUrl;
    qint8 m_autoLaunch = 0;
    qint8 m_displayVersion = 0;
    std::optional<QString> m_pkgSha256;
    std::optional<qint64> m_pkgSize;
    std::optional<qint64> m_feedSerial;
    std::optional<QDateTime> m_expiresAt;
    std::optional<QString> m_feedUrl;
    QList<QUrl> m_pkgMirrors;
    std::optional<QString> m_pkgTreeSha256;
    QList<Delta> m_pkgDeltas;
};

// Domain of the errors for a feed that cannot be used.
inline constexpr auto ZAVFeedErrorDomain = "ZAVFeedErrorDomain";
enum ZAVFeedErrorCode : int {
    ZAVFeedErrorWrongType = 1,
    ZAVFeedErrorNotJSON = 2,
    ZAVFeedErrorNotAnObject = 3,
    ZAVFeedErrorHTTPStatus = 4,
    // A feed that cannot be trusted (ZAVFeedTrust); each has its own sentence.
    ZAVFeedErrorNotVerified = 5,
    ZAVFeedErrorOtherProduct = 6,
    ZAVFeedErrorExpired = 7,
    ZAVFeedErrorRolledBack = 8,
    ZAVFeedErrorMissingKey = 9, // a pinning key a signed feed must have
};

// "The product information could not be read (<reason>)."
ZAVError ZAVFeedError(int code, const ZAVUserText &reason);
// The error for one of the trust codes above, with the sentence the user reads.
ZAVError ZAVFeedTrustError(ZAVFeedErrorCode code);

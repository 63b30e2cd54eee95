#pragma once

#include "platform/ZAVError.h"

#include <QJsonObject>
#include <QString>

#include <memory>
#include <optional>

// The feed record: the six fields of the feed document. Made and filled once, by
// initWithDictionary on the thread that parses the feed; afterwards shared read-only
// (std::shared_ptr<const ZAVFeedData>) between the main thread and the manager's threads,
// which is why no accessor locks.
class ZAVFeedData {
public:
    // The record for a parsed feed document, or nullptr with `error` set when the document
    // does not fit the feed's data model (a known key with a value of the wrong type).
    // Keys other than the six are skipped; null counts as the key missing.
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

    void setProduct(const std::optional<QString> &product) { m_product = product; }
    void setBundleId(const std::optional<QString> &bundleId) { m_bundleId = bundleId; }
    void setVersion(const std::optional<QString> &version) { m_version = version; }
    void setPkgUrl(const std::optional<QString> &pkgUrl) { m_pkgUrl = pkgUrl; }
    void setAutoLaunch(qint8 autoLaunch) { m_autoLaunch = autoLaunch; }
    void setDisplayVersion(qint8 displayVersion) { m_displayVersion = displayVersion; }

private:
    // Assigns each known key through its setter. Stops at the first value of the wrong type.
    ZAVOptionalError setValuesForKeysWithDictionary(const QJsonObject &dictionary);

    std::optional<QString> m_product;
    std::optional<QString> m_bundleId;
    std::optional<QString> m_version;
    std::optional<QString> m_pkgUrl;
    qint8 m_autoLaunch = 0;
    qint8 m_displayVersion = 0;
};

// Domain of the errors for a feed that cannot be used.
inline constexpr auto ZAVFeedErrorDomain = "ZAVFeedErrorDomain";
enum ZAVFeedErrorCode : int {
    ZAVFeedErrorWrongType = 1,
    ZAVFeedErrorNotJSON = 2,
    ZAVFeedErrorNotAnObject = 3,
    ZAVFeedErrorHTTPStatus = 4,
};

// "The product information could not be read (<reason>)."
ZAVError ZAVFeedError(int code, const QString &reason);

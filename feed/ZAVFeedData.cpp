#include "ZAVFeedData.h"

#include "platform/ZAVURLSession.h"

#include <QJsonArray>
#include <QJsonValue>
#include <QRegularExpression>

#include <cmath>

ZAVError ZAVFeedError(int code, const ZAVUserText &reason)
{
    return ZAVError::withText(
        QString::fromLatin1(ZAVFeedErrorDomain), code,
        ZAVTranslate("ZAVFeedData", "The product information could not be read (%1).").arg(reason));
}

ZAVError ZAVFeedTrustError(ZAVFeedErrorCode code)
{
    ZAVUserText text;
    switch (code) {
    case ZAVFeedErrorOtherProduct:
        text = ZAVTranslate("ZAVFeedData",
                            "The server offered a different product. Nothing was installed.");
        break;
    case ZAVFeedErrorExpired:
        text = ZAVTranslate("ZAVFeedData", "The product information has expired. Check the date "
                                           "and time of this computer.");
        break;
    case ZAVFeedErrorRolledBack:
        text = ZAVTranslate("ZAVFeedData", "The server offered older product information than "
                                           "this computer has already seen.");
        break;
    default:
        text = ZAVTranslate("ZAVFeedData", "The product information could not be verified. "
                                           "Nothing was installed.");
        break;
    }
    return ZAVError::withText(QString::fromLatin1(ZAVFeedErrorDomain), code, text);
}

namespace {

bool isWebURL(const QUrl &url)
{
    const bool web = url.scheme() == u"http" || url.scheme() == u"https";
    return url.isValid() && !url.isRelative() && web && !url.host().isEmpty();
}

} // namespace

ZAVOptionalError ZAVFeedData::packageURL(QUrl *url) const
{
    if (!m_pkgUrl || m_pkgUrl->trimmed().isEmpty())
        return ZAVURLErrorMake(
            ZAVURLErrorBadURL,
            ZAVTranslate("ZAVFeedData", "The product information gives no package address."));
    *url = QUrl(*m_pkgUrl);
    if (!isWebURL(*url))
        return ZAVURLErrorMake(
            ZAVURLErrorBadURL,
            ZAVTranslate("ZAVFeedData", "The package address is not a complete URL (%1).")
                .arg(*m_pkgUrl));
    return std::nullopt;
}

std::shared_ptr<ZAVFeedData> ZAVFeedData::initWithDictionary(const QJsonObject &dictionary,
                                                             ZAVOptionalError *error)
{
    auto record = std::make_shared<ZAVFeedData>();
    if (ZAVOptionalError refused = record->setValuesForKeysWithDictionary(dictionary)) {
        if (error)
            *error = std::move(refused);
        return nullptr;
    }
    return record;
}

namespace {

using StringSetter = void (ZAVFeedData::*)(const std::optional<QString> &);
using FlagSetter = void (ZAVFeedData::*)(qint8);

struct StringKey {
    QLatin1StringView key;
    StringSetter set;
};
struct FlagKey {
    QLatin1StringView key;
    FlagSetter set;
};

const StringKey stringKeys[] = {
    {QLatin1StringView("product"), &ZAVFeedData::setProduct},
    {QLatin1StringView("bundleId"), &ZAVFeedData::setBundleId},
    {QLatin1StringView("version"), &ZAVFeedData::setVersion},
    {QLatin1StringView("pkgUrl"), &ZAVFeedData::setPkgUrl},
};
const FlagKey flagKeys[] = {
    {QLatin1StringView("autoLaunch"), &ZAVFeedData::setAutoLaunch},
    {QLatin1StringView("displayVersion"), &ZAVFeedData::setDisplayVersion},
};

ZAVError wrongType(QLatin1StringView key, const char *expected)
{
    return ZAVFeedError(ZAVFeedErrorWrongType,
                        ZAVTranslate("ZAVFeedData", "\"%1\" must be %2")
                            .arg(QString(key), ZAVTranslate("ZAVFeedData", expected)));
}

} // namespace

ZAVOptionalError ZAVFeedData::setValuesForKeysWithDictionary(const QJsonObject &dictionary)
{
    // Only the six keys are looked up: newer feeds may carry keys this installer does not know.
    for (const StringKey &entry : stringKeys) {
        const QJsonValue value = dictionary.value(entry.key);
        if (value.isUndefined() || value.isNull())
            continue;
        if (!value.isString())
            return wrongType(entry.key, QT_TRANSLATE_NOOP("ZAVFeedData", "a text"));
        (this->*entry.set)(value.toString());
    }
    for (const FlagKey &entry : flagKeys) {
        const QJsonValue value = dictionary.value(entry.key);
        if (value.isUndefined() || value.isNull())
            continue;
        if (value.isBool())
            (this->*entry.set)(value.toBool() ? 1 : 0);
        else if (value.isDouble())
            (this->*entry.set)(value.toDouble() != 0.0 ? 1 : 0);
        else
            return wrongType(entry.key, QT_TRANSLATE_NOOP("ZAVFeedData", "true or false"));
    }
    if (ZAVOptionalError refused = setMirrorValues(dictionary))
        return refused;
    if (ZAVOptionalError refused = setPinningValues(dictionary))
        return refused;
    return setDeltaValues(dictionary);
}

const ZAVFeedData::Delta *ZAVFeedData::deltaFrom(const QString &installedSha256) const
{
    if (!m_pkgTreeSha256 || !m_pkgSha256 || installedSha256 == *m_pkgSha256)
        return nullptr;
    for (const Delta &delta : m_pkgDeltas) {
        if (delta.fromSha256 == installedSha256.toLower())
            return &delta;
    }
    return nullptr;
}

ZAVOptionalError ZAVFeedData::setMirrorValues(const QJsonObject &dictionary)
{
    const QLatin1StringView key("pkgMirrors");
    const QJsonValue value = dictionary.value(key);
    if (value.isUndefined() || value.isNull())
        return std::nullopt;
    const char *rule = "a list of at most 8 http or https URLs";
    if (!value.isArray() || value.toArray().size() > kMaximumMirrors)
        return wrongType(key, rule);
    QList<QUrl> mirrors;
    for (const QJsonValue &entry : value.toArray()) {
        const QUrl url(entry.toString(), QUrl::StrictMode);
        if (!entry.isString() || !isWebURL(url))
            return wrongType(key, rule);
        mirrors.append(url);
    }
    m_pkgMirrors = mirrors;
    return std::nullopt;
}

namespace {

bool isHexDigest(const QJsonValue &value)
{
    static const QRegularExpression hex(QStringLiteral("^[0-9A-Fa-f]{64}$"));
    return value.isString() && hex.match(value.toString()).hasMatch();
}

// The largest integer a JSON number (a double) holds exactly.
constexpr qint64 kMaximumExactInteger = (qint64(1) << 53) - 1;

// A whole number from `minimum` to 2^53 - 1, or an error naming the key.
ZAVOptionalError wholeNumber(const QJsonValue &value, QLatin1StringView key, qint64 minimum,
                             const char *rule, std::optional<qint64> *out)
{
    if (!value.isDouble())
        return wrongType(key, rule);
    const double number = value.toDouble();
    if (std::trunc(number) != number || number < double(minimum) ||
        number > double(kMaximumExactInteger))
        return wrongType(key, rule);
    *out = qint64(number);
    return std::nullopt;
}

} // namespace

ZAVOptionalError ZAVFeedData::setPinningValues(const QJsonObject &dictionary)
{
    const auto present = [&](QLatin1StringView key) {
        const QJsonValue value = dictionary.value(key);
        return value.isUndefined() || value.isNull() ? QJsonValue() : value;
    };
    const auto sha256Key = QLatin1StringView("pkgSha256");
    if (const QJsonValue value = present(sha256Key); !value.isNull()) {
        if (!isHexDigest(value))
            return wrongType(sha256Key, QT_TRANSLATE_NOOP("ZAVFeedData", "64 hex digits"));
        m_pkgSha256 = value.toString().toLower();
    }
    const auto sizeKey = QLatin1StringView("pkgSize");
    if (const QJsonValue value = present(sizeKey); !value.isNull())
        if (auto error =
                wholeNumber(value, sizeKey, 1,
                            QT_TRANSLATE_NOOP("ZAVFeedData", "a whole number above 0"), &m_pkgSize))
            return error;
    const auto serialKey = QLatin1StringView("feedSerial");
    if (const QJsonValue value = present(serialKey); !value.isNull())
        if (auto error =
                wholeNumber(value, serialKey, 1,
                            QT_TRANSLATE_NOOP("ZAVFeedData", "a whole number from 1 to 2^53 - 1"),
                            &m_feedSerial))
            return error;
    const auto expiresKey = QLatin1StringView("expiresAt");
    if (const QJsonValue value = present(expiresKey); !value.isNull()) {
        // RFC 3339 in UTC, as 2027-03-01T00:00:00Z (fractions of a second allowed).
        static const QRegularExpression utc(
            QStringLiteral("^\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d(\\.\\d+)?Z$"));
        const QDateTime time = QDateTime::fromString(value.toString(), Qt::ISODateWithMs);
        if (!value.isString() || !utc.match(value.toString()).hasMatch() || !time.isValid())
            return wrongType(
                expiresKey,
                QT_TRANSLATE_NOOP("ZAVFeedData", "a UTC time such as 2027-03-01T00:00:00Z"));
        m_expiresAt = time.toUTC();
    }
    const auto urlKey = QLatin1StringView("feedUrl");
    if (const QJsonValue value = present(urlKey); !value.isNull()) {
        if (!value.isString())
            return wrongType(urlKey, QT_TRANSLATE_NOOP("ZAVFeedData", "a text"));
        m_feedUrl = value.toString();
    }
    return std::nullopt;
}

ZAVOptionalError ZAVFeedData::setDeltaValues(const QJsonObject &dictionary)
{
    const QLatin1StringView treeKey("pkgTreeSha256");
    if (const QJsonValue value = dictionary.value(treeKey);
        !value.isUndefined() && !value.isNull()) {
        if (!isHexDigest(value))
            return wrongType(treeKey, QT_TRANSLATE_NOOP("ZAVFeedData", "64 hex digits"));
        m_pkgTreeSha256 = value.toString().toLower();
    }
    const QLatin1StringView key("pkgDeltas");
    const QJsonValue value = dictionary.value(key);
    if (value.isUndefined() || value.isNull())
        return std::nullopt;
    // One rule for the whole list, as for the mirrors: the sentence names the key.
    const char *rule = "a list of at most 64 deltas, each with fromSha256 and sha256 (64 hex "
                       "digits), an http or https url and a size above 0";
    if (!value.isArray() || value.toArray().size() > kMaximumDeltas)
        return wrongType(key, rule);
    QList<Delta> deltas;
    for (const QJsonValue &entry : value.toArray()) {
        const QJsonObject object = entry.toObject();
        const QJsonValue url = object.value(QLatin1String("url"));
        Delta delta;
        delta.url = QUrl(url.toString(), QUrl::StrictMode);
        std::optional<qint64> size;
        if (!entry.isObject() || !isHexDigest(object.value(QLatin1String("fromSha256"))) ||
            !isHexDigest(object.value(QLatin1String("sha256"))) || !url.isString() ||
            !isWebURL(delta.url) ||
            wholeNumber(object.value(QLatin1String("size")), key, 1, rule, &size))
            return wrongType(key, rule);
        delta.fromSha256 = object.value(QLatin1String("fromSha256")).toString().toLower();
        delta.sha256 = object.value(QLatin1String("sha256")).toString().toLower();
        delta.size = *size;
        deltas.append(delta);
    }
    m_pkgDeltas = deltas;
    return std::nullopt;
}

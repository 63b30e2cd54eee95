#include "ZAVFeedData.h"

#include <QJsonValue>

ZAVError ZAVFeedError(int code, const QString &reason)
{
    return ZAVError{QString::fromLatin1(ZAVFeedErrorDomain), code,
                    QStringLiteral("The product information could not be read (%1).").arg(reason)};
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
                        QStringLiteral("\"%1\" must be %2").arg(key, QLatin1String(expected)));
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
            return wrongType(entry.key, "a text");
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
            return wrongType(entry.key, "true or false");
    }
    return std::nullopt;
}

#include "ZAVVendorFeedWriter.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QUrl>

namespace {

bool isWebUrl(const QString &text)
{
    const QUrl url(text, QUrl::StrictMode);
    return url.isValid() && !url.host().isEmpty() &&
           (url.scheme() == QLatin1String("https") || url.scheme() == QLatin1String("http"));
}

// Seconds in "<N>d" or "<N>h", or 0 when the text is neither.
qint64 duration(const QString &text)
{
    if (text.size() < 2)
        return 0;
    bool ok = false;
    const qint64 count = text.chopped(1).toLongLong(&ok);
    if (!ok || count <= 0 || count > 3650 * 24)
        return 0;
    if (text.endsWith(QLatin1Char('d')))
        return count * 86400;
    return text.endsWith(QLatin1Char('h')) ? count * 3600 : 0;
}

} // namespace

std::optional<QByteArray> ZAVVendorFeedWriter::document(const Options &options,
                                                        const ZAVVendorPackager::Result &package,
                                                        const QDateTime &now, std::string *error)
{
    if (package.applicationId != options.bundleId.toStdString()) {
        *error = "the package's application id is " + package.applicationId +
                 " (its desktop entry's name), not the bundle id " + options.bundleId.toStdString();
        return std::nullopt;
    }
    for (const auto &[name, url] :
         {std::pair{"--pkg-url", &options.pkgUrl}, std::pair{"--feed-url", &options.feedUrl}}) {
        if (!isWebUrl(*url)) {
            *error =
                std::string(name) + " " + url->toStdString() + " is not an absolute http(s) URL";
            return std::nullopt;
        }
    }
    if (options.mirrors.size() > 8) {
        *error = "at most 8 mirrors";
        return std::nullopt;
    }
    for (const QString &mirror : options.mirrors) {
        if (!isWebUrl(mirror)) {
            *error = "--mirrors " + mirror.toStdString() + " is not an absolute http(s) URL";
            return std::nullopt;
        }
    }
    for (const Delta &delta : options.deltas) {
        if (!isWebUrl(delta.url)) {
            *error =
                "the delta's URL " + delta.url.toStdString() + " is not an absolute http(s) URL";
            return std::nullopt;
        }
    }
    if (options.product.isEmpty() || options.version.isEmpty()) {
        *error = "the product name and the version must not be empty";
        return std::nullopt;
    }
    const int64_t serial = options.serial.value_or(now.toSecsSinceEpoch());
    if (serial < 1 || serial > kMaxSerial) {
        *error = "the serial must be between 1 and 2^53-1";
        return std::nullopt;
    }
    if (!options.allowSerialAhead && serial > now.toSecsSinceEpoch() + kMaxSerialAhead) {
        *error = "the serial " + std::to_string(serial) +
                 " is more than a year ahead of the current Unix time " +
                 std::to_string(now.toSecsSinceEpoch()) +
                 ": installers that accept it refuse every later feed signed with the same key "
                 "until then (--allow-serial-ahead if that is meant)";
        return std::nullopt;
    }
    const qint64 lifetime = duration(options.expires);
    if (lifetime == 0) {
        *error = "--expires takes a duration such as 90d (days) or 36h (hours)";
        return std::nullopt;
    }
    QJsonObject feed{
        {QStringLiteral("product"), options.product},
        {QStringLiteral("bundleId"), options.bundleId},
        {QStringLiteral("version"), options.version},
        {QStringLiteral("pkgUrl"), options.pkgUrl},
        {QStringLiteral("autoLaunch"), options.autoLaunch},
        {QStringLiteral("displayVersion"), options.displayVersion},
        {QStringLiteral("pkgSha256"), QString::fromStdString(package.sha256)},
        {QStringLiteral("pkgSize"), static_cast<qint64>(package.size)},
        {QStringLiteral("feedSerial"), static_cast<qint64>(serial)},
        {QStringLiteral("expiresAt"),
         now.toUTC().addSecs(lifetime).toString(QStringLiteral("yyyy-MM-ddTHH:mm:ssZ"))},
        {QStringLiteral("feedUrl"), options.feedUrl},
    };
    if (!options.mirrors.isEmpty())
        feed.insert(QStringLiteral("pkgMirrors"), QJsonArray::fromStringList(options.mirrors));
    if (!package.treeSha256.empty())
        feed.insert(QStringLiteral("pkgTreeSha256"), QString::fromStdString(package.treeSha256));
    if (!options.deltas.isEmpty()) {
        QJsonArray deltas;
        for (const Delta &delta : options.deltas)
            deltas.append(QJsonObject{{QStringLiteral("fromSha256"), delta.fromSha256},
                                      {QStringLiteral("url"), delta.url},
                                      {QStringLiteral("sha256"), delta.sha256},
                                      {QStringLiteral("size"), delta.size}});
        feed.insert(QStringLiteral("pkgDeltas"), deltas);
    }
    return QJsonDocument(feed).toJson(QJsonDocument::Indented);
}

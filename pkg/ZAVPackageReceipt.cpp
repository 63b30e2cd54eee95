#include "ZAVPackageReceipt.h"

#include "ZAVPackageHome.h"
#include "ZAVPkgLog.h"
#include "base/ZAVDirectory.h"
#include "base/ZAVFileReader.h"
#include "base/ZAVFiles.h"
#include "base/ZAVUserAppLayout.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>

namespace {

constexpr size_t kMaxReceiptSize = 64 << 20;

} // namespace

std::string ZAVPackageReceipt::text(const Contents &contents)
{
    QJsonArray files;
    for (const std::string &path : contents.files)
        files.append(QString::fromStdString(path));
    const QJsonObject receipt{
        {QStringLiteral("id"), QString::fromStdString(contents.id)},
        {QStringLiteral("version"), contents.version.empty()
                                        ? QJsonValue()
                                        : QJsonValue(QString::fromStdString(contents.version))},
        {QStringLiteral("time"), QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs)},
        {QStringLiteral("packageSha256"), QString::fromStdString(contents.packageSha256)},
        {QStringLiteral("packageSize"), static_cast<qint64>(contents.packageSize)},
        {QStringLiteral("applicationDirectory"),
         QString::fromStdString(contents.applicationDirectory)},
        {QStringLiteral("desktopEntry"), QString::fromStdString(contents.desktopEntry)},
        {QStringLiteral("icon"),
         contents.icon ? QJsonValue(QString::fromStdString(*contents.icon)) : QJsonValue()},
        {QStringLiteral("files"), files},
    };
    return QJsonDocument(receipt).toJson(QJsonDocument::Indented).toStdString();
}

namespace {

// The home's receipt for the layout's id, when it is one of ours; else an empty object.
QJsonObject readReceipt(const ZAVPackageHome &home, const ZAVUserAppLayout &layout)
{
    const ZAVResult<ZAVFd> folder =
        ZAVDirectory::openPath(home.fd.get(), ZAVPackageHome::below(layout.receiptsDirectory()));
    if (!folder)
        return {};
    const ZAVResult<std::string> text =
        ZAVFileReader::read(folder->get(), ZAVPackageHome::nameOf(layout.receiptPath()),
                            kMaxReceiptSize, ZAVFileReader::Links::Refuse);
    if (!text)
        return {};
    const QJsonObject receipt = QJsonDocument::fromJson(QByteArray::fromStdString(*text)).object();
    if (receipt.value(QLatin1String("id")).toString().toStdString() != layout.applicationId() ||
        !receipt.value(QLatin1String("files")).isArray())
        return {};
    return receipt;
}

} // namespace

bool ZAVPackageReceipt::exists(const ZAVPackageHome &home, const ZAVUserAppLayout &layout)
{
    return !readReceipt(home, layout).isEmpty();
}

std::string ZAVPackageReceipt::packageSha256(const ZAVPackageHome &home,
                                             const ZAVUserAppLayout &layout)
{
    return readReceipt(home, layout).value(QLatin1String("packageSha256")).toString().toStdString();
}

ZAVPkgResult ZAVPackageReceipt::findUnowned(const ZAVPackageHome &home,
                                            const ZAVUserAppLayout &layout, bool replaceUnowned,
                                            std::vector<Unowned> *unowned)
{
    // Both icons: a run killed between renaming the icon and the receipt into place leaves the
    // icon of one version beside the receipt of the other. The application directory goes as
    // a whole: what the application wrote into it goes with it.
    const bool receipt = exists(home, layout);
    const std::vector<std::pair<std::string, bool>> places{
        {layout.applicationDirectory(), true}, {layout.desktopEntryPath(), false},
        {layout.iconPath("svg"), false},       {layout.iconPath("png"), false},
        {layout.receiptPath(), false},
    };
    std::string names;
    for (const auto &[place, directory] : places) {
        // A folder that is missing holds nothing to replace; one that is a link is refused
        // when it is opened for writing.
        ZAVResult<ZAVFd> folder =
            ZAVDirectory::openPath(home.fd.get(), ZAVPackageHome::folderOf(place));
        if (!folder)
            continue;
        const std::string name = ZAVPackageHome::nameOf(place);
        struct stat st {};
        if (fstatat(folder->get(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
            if (errno == ENOENT)
                continue;
            return ZAVPkgError::failed("cannot look at " + ZAVQuoted(home.absolute(place)) + ": " +
                                       ZAVFiles::errorText(errno));
        }
        if (receipt && (directory ? S_ISDIR(st.st_mode) : S_ISREG(st.st_mode)))
            continue;
        names += (names.empty() ? "" : ", ") + ZAVQuoted(home.absolute(place));
        unowned->push_back({std::move(*folder), name, home.absolute(place)});
    }
    if (unowned->empty() || replaceUnowned)
        return std::nullopt;
    return ZAVPkgError::failed(
        names + (unowned->size() == 1 ? " is" : " are") +
        " not what zav-pkg installed there (no receipt of zav-pkg lists it); nothing was "
        "changed. Move it away, or run with -replace-unowned to have it moved aside");
}

#include "ZAVUserAppLayout.h"

#include <QDir>
#include <QStringList>

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>

bool ZAVUserAppLayout::isValidApplicationId(const QString &id)
{
    if (id.isEmpty() || id.size() > 255)
        return false;
    const QStringList elements = id.split(u'.');
    if (elements.size() < 2)
        return false;
    for (const QString &element : elements) {
        if (element.isEmpty() || element.front().isDigit())
            return false;
        for (const QChar c : element) {
            const bool ok = (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') ||
                            (c >= u'0' && c <= u'9') || c == u'_' || c == u'-';
            if (!ok)
                return false;
        }
    }
    return true;
}

std::optional<ZAVUserAppLayout> ZAVUserAppLayout::forApplication(const QString &id,
                                                                 const QString &home)
{
    if (!isValidApplicationId(id) || home.isEmpty() || !QDir::isAbsolutePath(home))
        return std::nullopt;
    return ZAVUserAppLayout(id, QDir::cleanPath(home));
}

QString ZAVUserAppLayout::currentUserHome()
{
    const QString home = qEnvironmentVariable("HOME");
    if (!home.isEmpty() && QDir::isAbsolutePath(home))
        return QDir::cleanPath(home);
    if (const passwd *entry = getpwuid(getuid()); entry && entry->pw_dir)
        return QDir::cleanPath(QString::fromLocal8Bit(entry->pw_dir));
    return QString();
}

std::string ZAVUserAppLayout::currentUserHomePath()
{
    if (const char *home = std::getenv("HOME"); home && home[0] == '/')
        return home;
    if (const passwd *entry = getpwuid(getuid()); entry && entry->pw_dir)
        return entry->pw_dir;
    return std::string();
}

QString ZAVUserAppLayout::inHome(QStringView relative) const
{
    // A home of "/" must not give "//.local/...": the running-application look-up compares
    // these paths with the ones the kernel reports.
    QString path = m_home == u"/" ? QString() : m_home;
    path += u'/';
    path += relative;
    return path;
}

QString ZAVUserAppLayout::optDirectory() const
{
    return inHome(u".local/opt");
}

QString ZAVUserAppLayout::applicationDirectory() const
{
    return optDirectory() + u'/' + m_id;
}

QString ZAVUserAppLayout::applicationsDirectory() const
{
    return inHome(u".local/share/applications");
}

QString ZAVUserAppLayout::desktopEntryFileName() const
{
    return m_id + QStringLiteral(".desktop");
}

QString ZAVUserAppLayout::desktopEntryPath() const
{
    return applicationsDirectory() + u'/' + desktopEntryFileName();
}

QString ZAVUserAppLayout::iconsDirectory() const
{
    return inHome(u".local/share/icons/hicolor");
}

QString ZAVUserAppLayout::iconPath(const QString &extension) const
{
    // The extension comes from a package: anything but the two icon formats (a "/../x" among
    // them) would lead the path out of the icon theme.
    const QString ext = extension.toLower();
    QString size;
    if (ext == u"svg")
        size = QStringLiteral("scalable");
    else if (ext == u"png")
        size = QStringLiteral("256x256");
    else
        return QString();
    return iconsDirectory() + u'/' + size + QStringLiteral("/apps/") + m_id + u'.' + ext;
}

QString ZAVUserAppLayout::receiptsDirectory() const
{
    return inHome(u".local/share/zav/receipts");
}

QString ZAVUserAppLayout::receiptPath() const
{
    return receiptsDirectory() + u'/' + m_id + QStringLiteral(".json");
}

#include "ZAVUserAppLayout.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <vector>

namespace {

bool isAsciiDigit(char c)
{
    return c >= '0' && c <= '9';
}

// `path` (absolute) without ".", ".." and empty components; "/" for the root.
std::string cleanAbsolute(std::string_view path)
{
    std::vector<std::string_view> parts;
    size_t start = 1;
    while (start <= path.size()) {
        size_t end = path.find('/', start);
        if (end == std::string_view::npos)
            end = path.size();
        const std::string_view part = path.substr(start, end - start);
        if (part == "..") {
            if (!parts.empty())
                parts.pop_back();
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        start = end + 1;
    }
    std::string cleaned;
    for (const std::string_view part : parts) {
        cleaned += '/';
        cleaned += part;
    }
    return cleaned.empty() ? std::string("/") : cleaned;
}

} // namespace

bool ZAVUserAppLayout::isValidApplicationId(std::string_view id)
{
    if (id.empty() || id.size() > 255)
        return false;
    int elements = 0;
    size_t start = 0;
    while (start <= id.size()) {
        size_t end = id.find('.', start);
        if (end == std::string_view::npos)
            end = id.size();
        const std::string_view element = id.substr(start, end - start);
        if (element.empty() || isAsciiDigit(element.front()))
            return false;
        for (const char c : element) {
            const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || isAsciiDigit(c) ||
                            c == '_' || c == '-';
            if (!ok)
                return false;
        }
        ++elements;
        start = end + 1;
    }
    return elements >= 2;
}

std::optional<ZAVUserAppLayout> ZAVUserAppLayout::forApplication(const std::string &id,
                                                                 const std::string &home)
{
    if (!isValidApplicationId(id) || home.empty() || home.front() != '/')
        return std::nullopt;
    return ZAVUserAppLayout(id, cleanAbsolute(home));
}

std::string ZAVUserAppLayout::currentUserHome()
{
    if (const char *home = std::getenv("HOME"); home && home[0] == '/')
        return home;
    if (const passwd *entry = getpwuid(getuid()); entry && entry->pw_dir && entry->pw_dir[0] == '/')
        return entry->pw_dir;
    return std::string();
}

std::string ZAVUserAppLayout::inHome(std::string_view relative) const
{
    // A home of "/" must not give "//.local/...": the running-application look-up compares
    // these paths with the ones the kernel reports.
    std::string path = m_home == "/" ? std::string() : m_home;
    path += '/';
    path += relative;
    return path;
}

std::string ZAVUserAppLayout::optDirectory() const
{
    return inHome(".local/opt");
}

std::string ZAVUserAppLayout::applicationDirectory() const
{
    return optDirectory() + '/' + m_id;
}

std::string ZAVUserAppLayout::applicationsDirectory() const
{
    return inHome(".local/share/applications");
}

std::string ZAVUserAppLayout::desktopEntryFileName() const
{
    return m_id + ".desktop";
}

std::string ZAVUserAppLayout::desktopEntryPath() const
{
    return applicationsDirectory() + '/' + desktopEntryFileName();
}

std::string ZAVUserAppLayout::iconsDirectory() const
{
    return inHome(".local/share/icons/hicolor");
}

std::string ZAVUserAppLayout::iconPath(std::string_view extension) const
{
    // The extension comes from a package: anything but the two icon formats (a "/../x" among
    // them) would lead the path out of the icon theme.
    std::string ext(extension);
    for (char &c : ext) {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    std::string size;
    if (ext == "svg")
        size = "scalable";
    else if (ext == "png")
        size = "256x256";
    else
        return std::string();
    return iconsDirectory() + '/' + size + "/apps/" + m_id + '.' + ext;
}

std::string ZAVUserAppLayout::receiptsDirectory() const
{
    return inHome(".local/share/zav/receipts");
}

std::string ZAVUserAppLayout::receiptPath() const
{
    return receiptsDirectory() + '/' + m_id + ".json";
}

#include "ZAVPackageEntryRules.h"

#include "ZAVPackageExtractor.h"
#include "ZAVPkgLog.h"
#include "base/ZAVFiles.h"

#include <glib.h>

#include <climits>

ZAVPkgResult ZAVPackageEntryRules::checkedComponents(const char *name,
                                                     std::vector<std::string> *components)
{
    if (!name)
        return ZAVPkgError::refused("an entry has no name");
    const std::string text = name;
    const std::string quoted = ZAVQuoted(text);
    if (!g_utf8_validate(text.data(), static_cast<gssize>(text.size()), nullptr))
        return ZAVPkgError::refused("entry " + quoted + " has a name that is not UTF-8");
    for (const char c : text) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
            return ZAVPkgError::refused("entry " + quoted + " has a control character in its name");
    }
    if (!text.empty() && text.front() == '/')
        return ZAVPkgError::refused("entry " + quoted +
                                    " has an absolute path; entries must be relative to the "
                                    "application directory");
    *components = ZAVFiles::components(text);
    for (const std::string &component : *components) {
        if (component == "..")
            return ZAVPkgError::refused("entry " + quoted +
                                        " leaves the application directory (\"..\" in its path)");
        if (component.size() > NAME_MAX)
            return ZAVPkgError::refused("entry " + quoted + " has a name longer than " +
                                        std::to_string(NAME_MAX) + " bytes");
    }
    if (components->size() > ZAVPackageExtractor::kMaxDepth)
        return ZAVPkgError::refused("entry " + quoted + " is nested more than " +
                                    std::to_string(ZAVPackageExtractor::kMaxDepth) +
                                    " directories deep");
    return std::nullopt;
}

ZAVPkgResult ZAVPackageEntryRules::checkedSymlinkTarget(const std::string &entry, size_t linkDepth,
                                                        const char *target)
{
    const std::string quoted = ZAVQuoted(entry);
    if (!target || !*target)
        return ZAVPkgError::refused("symbolic link " + quoted + " has an empty target");
    const std::string text = target;
    const std::string link = "symbolic link " + quoted + " -> " + ZAVQuoted(text);
    if (text.front() == '/')
        return ZAVPkgError::refused(link + " leaves the application directory (absolute target); "
                                           "use a relative target inside the directory");
    size_t climbs = 0;
    bool descended = false;
    for (const std::string &component : ZAVFiles::components(text)) {
        if (component != "..") {
            descended = true;
        } else if (descended) {
            return ZAVPkgError::refused(link + " uses \"..\" after a directory name; a target "
                                               "may only start with \"..\" steps");
        } else if (++climbs > linkDepth) {
            return ZAVPkgError::refused(link + " leaves the application directory");
        }
    }
    return std::nullopt;
}

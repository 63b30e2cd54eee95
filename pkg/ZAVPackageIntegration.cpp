#include "ZAVPackageIntegration.h"

#include "ZAVPkgLog.h"
#include "base/ZAVDirectory.h"
#include "base/ZAVFileReader.h"
#include "base/ZAVFiles.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>

namespace {

constexpr size_t kMaxDesktopEntrySize = 1 << 20;

} // namespace

ZAVPkgResult ZAVPackageIntegration::check(int stagingFd, const std::string &entryName,
                                          const std::string &applicationDirectory, ZAVPkgLog &log)
{
    m_applicationDirectory = applicationDirectory;
    const ZAVResult<std::string> text = ZAVFileReader::read(
        stagingFd, entryName, kMaxDesktopEntrySize, ZAVFileReader::Links::Refuse);
    if (!text) {
        if (text.errorNumber() == EFBIG)
            return ZAVPkgError::refused("desktop entry " + ZAVQuoted(entryName) +
                                        " is larger than 1 MiB");
        if (text.errorNumber() == EIO)
            return ZAVPkgError::failed("cannot read desktop entry " + ZAVQuoted(entryName),
                                       text.error());
        return ZAVPkgError::refused("desktop entry " + ZAVQuoted(entryName) +
                                    " is not a regular file");
    }
    ZAVResult<ZAVDesktopEntry> entry = ZAVDesktopEntry::fromText(*text);
    if (!entry)
        return ZAVPkgError::refused("desktop entry " + ZAVQuoted(entryName) + ": " +
                                    entry.error().message());
    m_entry = std::move(*entry);
    m_version = m_entry->packageVersion().value_or(std::string());
    m_fallbackName = entryName.substr(0, entryName.rfind('.'));
    for (const ZAVDesktopEntry::Action &action : m_entry->actions()) {
        if (action.id == kUninstallActionId || action.name == uninstallActionName())
            return ZAVPkgError::refused(
                "desktop entry " + ZAVQuoted(entryName) + ": its action " + ZAVQuoted(action.id) +
                " (" + ZAVQuoted(action.name) +
                ") stands where zav-pkg puts the action that removes the application (" +
                kUninstallActionId + ", " + ZAVQuoted(uninstallActionName()) +
                "); give the action another name");
    }

    for (const ZAVDesktopEntry::Command &command : m_entry->commands()) {
        Program program;
        if (auto error = checkProgram(stagingFd, "the Exec of [" + command.group + "]",
                                      command.arguments.front(), &program))
            return error->withContext("desktop entry " + ZAVQuoted(entryName));
        m_programs.push_back(program);
    }
    if (m_entry->tryExec()) {
        Program program;
        if (auto error = checkProgram(stagingFd, "TryExec", *m_entry->tryExec(), &program))
            return error->withContext("desktop entry " + ZAVQuoted(entryName));
        m_tryExec = program;
    }
    if (m_entry->icon())
        findIcon(stagingFd, *m_entry->icon(), log);
    return std::nullopt;
}

ZAVPkgResult ZAVPackageIntegration::checkProgram(int stagingFd, const std::string &what,
                                                 const std::string &path, Program *program) const
{
    const std::string quoted = ZAVQuoted(path);
    if (path.empty() || path.front() == '/')
        return ZAVPkgError::refused(what + " names " + quoted +
                                    ", not a program inside the application directory; name "
                                    "it by its path relative to the directory");
    const std::vector<std::string> parts = ZAVFiles::components(path);
    for (const std::string &part : parts) {
        if (part == "..")
            return ZAVPkgError::refused(what + " names " + quoted +
                                        ", which leaves the application directory");
    }
    const ZAVResult<ZAVFd> fd = ZAVDirectory::openBeneath(stagingFd, path, O_PATH);
    if (!fd) {
        const int error = fd.errorNumber();
        if (error == ENOENT || error == ENOTDIR)
            return ZAVPkgError::refused(what + " names " + quoted +
                                        ", which is not in the package");
        return ZAVPkgError::refused(what + " names " + quoted +
                                    ", which cannot be reached inside the application "
                                    "directory (" +
                                    ZAVFiles::errorText(error) + ")");
    }
    struct stat st {};
    if (fstat(fd->get(), &st) != 0 || !S_ISREG(st.st_mode))
        return ZAVPkgError::refused(what + " names " + quoted + ", which is not a regular file");
    if (!(st.st_mode & S_IXUSR))
        return ZAVPkgError::refused(what + " names " + quoted +
                                    ", which is not executable; give it mode 0755");
    program->relativePath = ZAVFiles::joined(parts);
    program->absolutePath = m_applicationDirectory + '/' + program->relativePath;
    return std::nullopt;
}

void ZAVPackageIntegration::findIcon(int stagingFd, const std::string &name, ZAVPkgLog &log)
{
    std::vector<std::string> candidates;
    if (name.ends_with(".png") || name.ends_with(".svg"))
        candidates.push_back(name);
    else
        candidates = {name + ".svg", name + ".png"};
    for (const std::string &candidate : candidates) {
        if (candidate.front() == '/' || candidate.find("..") != std::string::npos)
            break; // an icon of the theme, or somewhere we do not copy from
        ZAVResult<ZAVFd> fd = ZAVDirectory::openBeneath(stagingFd, candidate, O_RDONLY);
        struct stat st {};
        if (fd && fstat(fd->get(), &st) == 0 && S_ISREG(st.st_mode)) {
            m_iconFd = std::move(*fd);
            m_iconExtension = candidate.substr(candidate.size() - 3);
            log.detail("icon " + candidate);
            return;
        }
    }
    log.detail("Icon " + ZAVQuoted(name) +
               " is not a PNG or SVG file in the package; kept as an icon name");
}

std::vector<std::string> ZAVPackageIntegration::programPaths() const
{
    std::vector<std::string> paths;
    for (const Program &program : m_programs)
        paths.push_back(program.absolutePath);
    return paths;
}

std::optional<std::string> ZAVPackageIntegration::tryExecPath() const
{
    if (m_tryExec)
        return m_tryExec->absolutePath;
    return std::nullopt;
}

std::string ZAVPackageIntegration::uninstallActionName() const
{
    std::string text = kUninstallActionName;
    const std::string name = m_entry->name().value_or(m_fallbackName);
    if (const size_t at = text.find("%@"); at != std::string::npos)
        text.replace(at, 2, name);
    return text;
}

std::string ZAVPackageIntegration::integratedText(const std::string &id,
                                                  const std::vector<std::string> &remover) const
{
    std::optional<std::string> icon;
    if (hasIcon())
        icon = id;
    std::optional<ZAVDesktopEntry::AddedAction> action;
    if (!remover.empty())
        action = ZAVDesktopEntry::AddedAction{kUninstallActionId, uninstallActionName(), remover};
    return m_entry->integratedText(programPaths(), tryExecPath(), icon, action);
}

ZAVPkgResult ZAVPackageIntegration::checkLaunches(const std::string &path) const
{
    if (const ZAVStatus launches =
            m_entry->launchesAsIntegrated(path, programPaths(), tryExecPath());
        !launches)
        return ZAVPkgError::failed(launches.error().message());
    return std::nullopt;
}

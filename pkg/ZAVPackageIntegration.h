#pragma once

#include "ZAVDesktopEntry.h"
#include "ZAVPkgError.h"
#include "base/ZAVFd.h"

#include <optional>
#include <string>
#include <vector>

class ZAVPkgLog;

// The package's desktop integration: its desktop entry, checked so that everything it starts
// is an executable regular file inside the application directory, its icon, and the
// integrated entry zav-pkg installs (the programs by absolute path in the installed
// directory, the icon by the application id). Main thread.
class ZAVPackageIntegration {
public:
    // The action zav-pkg adds to the integrated entry to remove the application: its name in
    // Actions= and its Name, where "%@" stands for the application's Name (a text to translate).
    static constexpr char kUninstallActionId[] = "zav-uninstall";
    static constexpr char kUninstallActionName[] = "Uninstall %@";

    // Reads desktop entry `entryName` at the root of the unpacked package `stagingFd` (a
    // regular file of at most 1 MiB, no link) and checks its Exec keys (and each action's, and
    // TryExec): each names, relative to the directory and not leaving it, an executable
    // regular file of the package (links inside the package are followed as the running system
    // will). `applicationDirectory` is where the directory is installed, absolute. An Icon
    // that names a PNG or SVG file of the package makes that file the icon; any other stays an
    // icon name. An entry that has an action named as the uninstall action (by its name in
    // Actions= or by its Name) is refused. Refusals carry the vendor's words.
    ZAVPkgResult check(int stagingFd, const std::string &entryName,
                       const std::string &applicationDirectory, ZAVPkgLog &log);

    // The program the [Desktop Entry] Exec starts, relative to the application directory.
    const std::string &mainProgram() const { return m_programs.front().relativePath; }
    // The entry's Name, empty when it has none.
    std::string productName() const { return m_entry->name().value_or(std::string()); }
    // The X-...-Version of the entry, empty when it has none.
    const std::string &version() const { return m_version; }
    bool hasIcon() const { return m_iconFd.valid(); }
    int iconFd() const { return m_iconFd.get(); }
    // "png" or "svg", when hasIcon().
    const std::string &iconExtension() const { return m_iconExtension; }

    // The Name of the uninstall action for this entry: "Uninstall <Name>".
    std::string uninstallActionName() const;
    // The integrated entry's text, for the application id `id`; with `remover` (the program
    // and its arguments) the uninstall action that runs it.
    std::string integratedText(const std::string &id,
                               const std::vector<std::string> &remover = {}) const;

    // Loads the integrated entry written at `path` as the desktops' launcher does and checks
    // that it starts the programs installed; the reason otherwise.
    ZAVPkgResult checkLaunches(const std::string &path) const;

private:
    struct Program {
        std::string relativePath;
        std::string absolutePath;
    };
    ZAVPkgResult checkProgram(int stagingFd, const std::string &what, const std::string &path,
                              Program *program) const;
    void findIcon(int stagingFd, const std::string &name, ZAVPkgLog &log);
    std::vector<std::string> programPaths() const;
    std::optional<std::string> tryExecPath() const;

    std::string m_applicationDirectory;
    std::optional<ZAVDesktopEntry> m_entry;
    std::string m_version;
    std::string m_fallbackName; // the id, for an entry without a Name
    std::vector<Program> m_programs;
    std::optional<Program> m_tryExec;
    ZAVFd m_iconFd;
    std::string m_iconExtension;
};

#pragma once

#include "base/ZAVResult.h"

#include <optional>
#include <string>
#include <vector>

// The desktop entry at the root of a package, read with GLib's key-file reader (the one the
// desktops use), and the integrated copy of it that zav-pkg installs into the user's
// applications folder. Any thread; a value type.
class ZAVDesktopEntry {
public:
    struct Command {
        std::string group;                  // "Desktop Entry" or "Desktop Action <name>"
        std::vector<std::string> arguments; // Exec split as the launcher splits it
    };

    // Reads the entry's text. Refuses (EINVAL, no path, words for the vendor as the reason) text
    // that is not a
    // key file, has no [Desktop Entry] group, a Type other than Application, or an Exec that is
    // missing, empty or cannot be split into arguments. So that exactly the lines checked are
    // the lines installed, it also refuses a key that comes twice in [Desktop Entry] or in an
    // action (the key-file reader would keep only the last, yet write both back) and a
    // localized Exec or TryExec (Exec[C]=...).
    static ZAVResult<ZAVDesktopEntry> fromText(const std::string &text);

    // What the entry starts: the [Desktop Entry] Exec first, then each action's Exec.
    const std::vector<Command> &commands() const { return m_commands; }
    const std::optional<std::string> &tryExec() const { return m_tryExec; }
    const std::optional<std::string> &icon() const { return m_icon; }
    const std::optional<std::string> &packageVersion() const { return m_version; }
    // The untranslated Name of [Desktop Entry].
    const std::optional<std::string> &name() const { return m_name; }

    // The text to install: the program of each command replaced by `programs` (one per
    // command, in the order of commands(), absolute paths), TryExec by `tryExec` and Icon by
    // `icon` where given. Everything else, comments and translations included, is kept.
    std::string integratedText(const std::vector<std::string> &programs,
                               const std::optional<std::string> &tryExec,
                               const std::optional<std::string> &icon) const;

    // One argument of an Exec value, quoted the way desktop entries quote: in double quotes
    // when it holds a reserved character. With `literalPercent` a '%' is doubled, so that a
    // path is never read as a field code.
    static std::string quotedArgument(const std::string &argument, bool literalPercent);

    // Loads the installed entry at `path` (bytes) as the desktops' launcher does (GIO) and
    // checks that it would run what was meant: the [Desktop Entry] Exec and each action's Exec
    // split into `programs[i]` followed by the arguments of commands()[i], and TryExec is
    // `tryExec`. Field codes are compared as written (both sides expand them alike). Fails
    // (no path, EINVAL, the sentence as the reason) when the entry does not load or runs
    // anything else.
    ZAVStatus launchesAsIntegrated(const std::string &path,
                                   const std::vector<std::string> &programs,
                                   const std::optional<std::string> &tryExec) const;

private:
    std::string m_text;
    std::vector<Command> m_commands;
    std::optional<std::string> m_tryExec;
    std::optional<std::string> m_icon;
    std::optional<std::string> m_version;
    std::optional<std::string> m_name;
};

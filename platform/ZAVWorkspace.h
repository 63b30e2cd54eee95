#pragma once

#include <QString>

#include <optional>

// The desktop's services for whole applications. Main thread only.
class ZAVWorkspace {
public:
    static ZAVWorkspace &sharedWorkspace();

    // Launches the application <id> from the desktop entry zav-pkg integrated for the user
    // (ZAVUserAppLayout::desktopEntryPath(), <home>/.local/share/applications/<id>.desktop),
    // by that path and the way the desktop does (GIO). An entry of the same id found earlier
    // along $XDG_DATA_HOME or $XDG_DATA_DIRS is never used. Returns once the program has been
    // started; it is not waited for, is not the installer's child and runs in a session of its
    // own, so it outlives the installer and the installer's terminal.
    // An absent or invalid id, an application that is not installed (or whose entry is hidden
    // or names a program that is not there), or a failed start launches nothing and returns
    // false; nothing else is reported.
    // `launchIdentifier`: when not null, receives the pid of the started program (0 when
    // nothing was started).
    bool launchAppWithBundleIdentifier(const std::optional<QString> &bundleIdentifier,
                                       qint64 *launchIdentifier = nullptr);

private:
    ZAVWorkspace() = default;
};

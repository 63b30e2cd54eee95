#pragma once

#include <QString>

#include <optional>

// The only launch option: start the application and return without waiting for it to finish
// launching. Every launch here works that way; the option is accepted so that callers can say so.
inline constexpr unsigned long ZAVWorkspaceLaunchAsync = 0x10000;

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
    // `additionalEventParamDescriptor`: no such thing exists on this desktop; pass nullptr.
    // `launchIdentifier`: when not null, receives the pid of the started program (0 when
    // nothing was started).
    bool launchAppWithBundleIdentifier(const std::optional<QString> &bundleIdentifier,
                                       unsigned long options,
                                       const void *additionalEventParamDescriptor,
                                       qint64 *launchIdentifier);

private:
    ZAVWorkspace() = default;
};

#pragma once

#include <QByteArray>
#include <QString>
#include <QStringView>

#include <memory>
#include <optional>
#include <sys/types.h>
#include <vector>

// A running process that belongs to an installed application, found by the application's id
// (the bundle identifier, e.g. org.example.DemoViewer).
//
// A process belongs to the application <id> when it runs as the current user (real and
// effective user id) and any of these holds:
//   - its executable lies inside the application directory <home>/.local/opt/<id>/;
//   - it was started from the desktop entry: GIO_LAUNCHED_DESKTOP_FILE in its environment ends
//     in "/<id>.desktop" and, when the launcher also recorded GIO_LAUNCHED_DESKTOP_FILE_PID,
//     that is its own pid (children inherit the variables: a browser the product opened is
//     not the product);
//   - it runs in the desktop's application scope or service for <id>, as systemd names them
//     for desktop applications: app[-<launcher>]-<id>-<random>.scope or
//     app[-<launcher>]-<id>[@<random>].service, with the id's '-' written as "\x2d".
// The installer's own process is never listed, nor a process in the middle of exiting.
//
// What is missed: a copy started by hand from outside the application directory (a copy of
// the program elsewhere, a program whose executable is an interpreter such as /bin/sh running
// a script inside the directory) that was neither launched from the desktop entry nor placed
// in a scope for the id; a copy whose environment cannot be read (a non-dumpable process).
//
// A handle holds a pidfd taken at look-up, so terminate() reaches that very process and never
// one that later got the same pid. Handles are cheap to copy; copies share the pidfd.
// Look-up and terminate are safe on any thread.
class ZAVRunningApplication {
public:
    // The copies of <id> running now, oldest first (by start time, then by pid). Empty for an
    // absent or invalid id. Reads /proc afresh on every call.
    static std::vector<ZAVRunningApplication>
    runningApplicationsWithBundleIdentifier(const std::optional<QString> &bundleIdentifier);

    // The ordinary quit request: SIGTERM, never SIGKILL. Returns at once, without waiting for
    // the process to exit; false when the signal could not be sent (the process is gone).
    bool terminate() const;

    // True once the process has exited (a zombie counts as exited): its pidfd has become
    // readable, or, where the kernel has no pidfds, its /proc directory no longer answers for
    // it. Does not block.
    bool isTerminated() const;
    // The pidfd taken at look-up, readable once the process has exited (for a notifier); -1
    // where the kernel has no pidfds. Owned by the handle.
    int processDescriptor() const;

    pid_t processIdentifier() const;
    const QString &bundleIdentifier() const;
    // The executable as the kernel names it; empty when it could not be read.
    const QString &executablePath() const;
    // Start time in clock ticks after boot, as /proc/<pid>/stat gives it.
    quint64 startTime() const;

    // The rules above, on the text of the files they read; exposed for tests.
    // `cgroup`: the text of /proc/<pid>/cgroup. `environment`: /proc/<pid>/environ, the
    // NUL-separated environment the process was started with.
    static bool cgroupNamesApplication(QStringView cgroup, QStringView bundleIdentifier);
    static bool environmentNamesApplication(const QByteArray &environment, pid_t pid,
                                            QStringView bundleIdentifier);
    static bool executableLiesInDirectory(const QString &executable, const QString &directory);

    struct State;

private:
    explicit ZAVRunningApplication(std::shared_ptr<State> state) : m_state(std::move(state)) {}

    std::shared_ptr<State> m_state;
};

#pragma once

#include <QString>
#include <QStringList>

#include <sys/types.h>

// A child process: a program and its arguments, with the caller's environment and standard
// input, output and error. No shell is involved; each argument stays one argument.
// One thread at a time (the installer uses it from a background thread).
class ZAVTask {
public:
    enum class TerminationReason { NotExited, Exit, UncaughtSignal };

    void setLaunchPath(const QString &path) { m_launchPath = path; }
    void setArguments(const QStringList &arguments) { m_arguments = arguments; }

    // Starts the child. False when it could not be started (the program is missing or not
    // executable, no resources); the reason is in launchError().
    bool launch();
    // Blocks until the child has exited. No time-out.
    void waitUntilExit();

    // The exit status when the child exited; the signal number when a signal ended it;
    // -1 when it never ran.
    int terminationStatus() const { return m_status; }
    TerminationReason terminationReason() const { return m_reason; }
    const QString &launchError() const { return m_launchError; }

private:
    QString m_launchPath;
    QStringList m_arguments;
    pid_t m_pid = -1;
    int m_status = -1;
    TerminationReason m_reason = TerminationReason::NotExited;
    QString m_launchError;
};

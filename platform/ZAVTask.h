#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <sys/types.h>

// A child process: a program and its arguments, with the caller's environment and standard
// input, output and error. No shell is involved; each argument stays one argument. The program
// is started by its path, which becomes its argv[0]. Path and arguments are bytes, passed to
// the system unchanged (a file name that is not UTF-8 stays what it is).
// One thread at a time (the installer uses it from a background thread).
class ZAVTask {
public:
    enum class TerminationReason { NotExited, Exit, UncaughtSignal };

    void setLaunchPath(const QByteArray &path) { m_launchPath = path; }
    void setArguments(const QList<QByteArray> &arguments) { m_arguments = arguments; }

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
    QByteArray m_launchPath;
    QList<QByteArray> m_arguments;
    pid_t m_pid = -1;
    int m_status = -1;
    TerminationReason m_reason = TerminationReason::NotExited;
    QString m_launchError;
};

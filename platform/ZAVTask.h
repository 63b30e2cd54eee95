#pragma once

#include "base/ZAVFd.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <sys/types.h>

#include <optional>

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
    // Set before launch(): the child's standard error reaches ours through a pipe, unchanged,
    // and waitUntilExit() keeps the last line that is not empty (at most 4 KiB, without its
    // newline) for lastErrorLine(). A descendant that keeps the pipe open after the child has
    // exited is not waited for.
    void setKeepsLastErrorLine(bool keep) { m_keepsLastErrorLine = keep; }
    const QByteArray &lastErrorLine() const { return m_lastErrorLine; }

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
    // Copies what the child writes on standard error to ours until the pipe ends or the child
    // has exited; its status then, when it had.
    std::optional<int> passOnErrors();

    QByteArray m_launchPath;
    QList<QByteArray> m_arguments;
    pid_t m_pid = -1;
    int m_status = -1;
    TerminationReason m_reason = TerminationReason::NotExited;
    QString m_launchError;
    bool m_keepsLastErrorLine = false;
    ZAVFd m_errors; // the pipe's reading end, while the child runs
    QByteArray m_lastErrorLine;
};

#include "ZAVTask.h"

#include <cerrno>
#include <cstring>
#include <vector>

#include <spawn.h>
#include <sys/wait.h>

extern char **environ;

bool ZAVTask::launch()
{
    std::vector<QByteArray> storage;
    storage.push_back(m_launchPath);
    for (const QByteArray &argument : m_arguments)
        storage.push_back(argument);
    std::vector<char *> argv;
    for (QByteArray &item : storage)
        argv.push_back(item.data());
    argv.push_back(nullptr);

    // posix_spawn reports a program that cannot be executed as its own error (glibc uses
    // vfork + exec and passes exec's failure back), never as a child that runs on.
    const int result =
        posix_spawn(&m_pid, storage.front().constData(), nullptr, nullptr, argv.data(), environ);
    if (result != 0) {
        m_pid = -1;
        m_launchError = QString::fromLocal8Bit(std::strerror(result));
        return false;
    }
    return true;
}

void ZAVTask::waitUntilExit()
{
    if (m_pid <= 0 || m_reason != TerminationReason::NotExited)
        return;
    int status = 0;
    pid_t done;
    do {
        done = waitpid(m_pid, &status, 0);
    } while (done < 0 && errno == EINTR);
    if (done < 0) {
        m_reason = TerminationReason::UncaughtSignal;
        m_status = -1;
        return;
    }
    if (WIFEXITED(status)) {
        m_reason = TerminationReason::Exit;
        m_status = WEXITSTATUS(status);
    } else {
        m_reason = TerminationReason::UncaughtSignal;
        m_status = WIFSIGNALED(status) ? WTERMSIG(status) : -1;
    }
}

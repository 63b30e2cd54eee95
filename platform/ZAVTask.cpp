#include "ZAVTask.h"

#include <cerrno>
#include <cstring>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

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

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    ZAVFd writer;
    if (m_keepsLastErrorLine) {
        int ends[2];
        if (pipe2(ends, O_CLOEXEC) != 0) {
            m_launchError = QString::fromLocal8Bit(std::strerror(errno));
            posix_spawn_file_actions_destroy(&actions);
            return false;
        }
        m_errors.reset(ends[0]);
        writer.reset(ends[1]);
        posix_spawn_file_actions_adddup2(&actions, writer.get(), STDERR_FILENO);
    }
    // posix_spawn reports a program that cannot be executed as its own error (glibc uses
    // vfork + exec and passes exec's failure back), never as a child that runs on.
    const int result =
        posix_spawn(&m_pid, storage.front().constData(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (result != 0) {
        m_errors.reset();
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
    pid_t done = -1;
    if (const std::optional<int> exited = passOnErrors()) {
        status = *exited;
        done = m_pid;
    } else {
        do {
            done = waitpid(m_pid, &status, 0);
        } while (done < 0 && errno == EINTR);
    }
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

std::optional<int> ZAVTask::passOnErrors()
{
    if (!m_errors.valid())
        return std::nullopt;
    constexpr qsizetype kLineLimit = 4096;
    QByteArray line;
    std::optional<int> exited;
    char buffer[4096];
    for (;;) {
        pollfd wait{m_errors.get(), POLLIN, 0};
        // Once the child has exited, only what is already in the pipe is read.
        const int ready = poll(&wait, 1, exited ? 0 : 200);
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready == 0 && !exited) {
            int status = 0;
            if (waitpid(m_pid, &status, WNOHANG) == m_pid)
                exited = status;
            continue;
        }
        if (ready <= 0)
            break;
        const ssize_t n = read(m_errors.get(), buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        for (ssize_t written = 0; written < n;) {
            const ssize_t w = write(STDERR_FILENO, buffer + written, size_t(n - written));
            if (w < 0 && errno == EINTR)
                continue;
            if (w <= 0)
                break;
            written += w;
        }
        for (ssize_t i = 0; i < n; ++i) {
            if (buffer[i] != '\n') {
                if (line.size() < kLineLimit)
                    line += buffer[i];
            } else if (!line.isEmpty()) {
                m_lastErrorLine = line;
                line.clear();
            }
        }
    }
    if (!line.isEmpty())
        m_lastErrorLine = line;
    m_errors.reset();
    return exited;
}

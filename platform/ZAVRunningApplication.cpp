#include "ZAVRunningApplication.h"

#include "base/ZAVUserAppLayout.h"

#include <QByteArray>
#include <QFile>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/syscall.h>
#include <unistd.h>

struct ZAVRunningApplication::State {
    pid_t pid = 0;
    QString bundleIdentifier;
    QString executable;
    quint64 startTime = 0;
    int pidfd = -1;         // -1 only where the kernel has no pidfds
    int procDirectory = -1; // /proc/<pid>, kept to check identity when there is no pidfd

    State() = default;
    State(const State &) = delete;
    State &operator=(const State &) = delete;
    ~State()
    {
        if (pidfd >= 0)
            close(pidfd);
        if (procDirectory >= 0)
            close(procDirectory);
    }
};

namespace {

// Reads a whole /proc file through the process's directory; nullopt when it cannot be read
// (the process is gone, or its owner keeps it private). Stops at `limit` bytes.
std::optional<QByteArray> readProcFile(int procDirectory, const char *name,
                                       qsizetype limit = 64 * 1024)
{
    const int fd = openat(procDirectory, name, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    QByteArray content;
    char buffer[8192];
    for (;;) {
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            close(fd);
            return std::nullopt;
        }
        if (n == 0)
            break;
        content.append(buffer, n);
        if (content.size() >= limit)
            break;
    }
    close(fd);
    return content;
}

struct ProcStat {
    char state = '?';
    quint64 startTime = 0;
};

// /proc/<pid>/stat: "pid (comm) state ppid ... starttime ...". The command name may hold
// blanks and parentheses, so the fields are counted from the last ')'.
std::optional<ProcStat> readStat(int procDirectory)
{
    const std::optional<QByteArray> text = readProcFile(procDirectory, "stat");
    if (!text)
        return std::nullopt;
    const qsizetype paren = text->lastIndexOf(')');
    if (paren < 0)
        return std::nullopt;
    const QList<QByteArray> fields = text->mid(paren + 1).simplified().split(' ');
    // fields[0] is field 3 (state); starttime is field 22.
    if (fields.size() < 20 || fields[0].isEmpty())
        return std::nullopt;
    bool ok = false;
    ProcStat stat;
    stat.state = fields[0].at(0);
    stat.startTime = fields[19].toULongLong(&ok);
    if (!ok)
        return std::nullopt;
    return stat;
}

// True when both the real and the effective user id in /proc/<pid>/status are `uid`.
bool runsAsUser(int procDirectory, uid_t uid)
{
    const std::optional<QByteArray> text = readProcFile(procDirectory, "status");
    if (!text)
        return false;
    for (const QByteArray &line : text->split('\n')) {
        if (!line.startsWith("Uid:"))
            continue;
        const QList<QByteArray> ids = line.mid(4).simplified().split(' ');
        if (ids.size() < 2)
            return false;
        bool realOk = false, effectiveOk = false;
        const qulonglong real = ids[0].toULongLong(&realOk);
        const qulonglong effective = ids[1].toULongLong(&effectiveOk);
        return realOk && effectiveOk && real == uid && effective == uid;
    }
    return false;
}

QString readExecutable(int procDirectory)
{
    char buffer[PATH_MAX];
    const ssize_t n = readlinkat(procDirectory, "exe", buffer, sizeof buffer);
    if (n <= 0 || static_cast<size_t>(n) >= sizeof buffer)
        return QString();
    QString path = QString::fromLocal8Bit(buffer, n);
    // The kernel marks an executable that was removed or replaced since it was started.
    static const QString deleted = QStringLiteral(" (deleted)");
    if (path.endsWith(deleted))
        path.chop(deleted.size());
    return path;
}

// systemd's unit-name escaping: "\xNN" stands for the byte NN.
QString unescapeUnitName(QStringView text)
{
    QByteArray bytes;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == u'\\' && i + 3 < text.size() && text[i + 1] == u'x') {
            bool ok = false;
            const int byte = text.mid(i + 2, 2).toInt(&ok, 16);
            if (ok) {
                bytes.append(static_cast<char>(byte));
                i += 3;
                continue;
            }
        }
        bytes.append(text[i].toLatin1());
    }
    return QString::fromUtf8(bytes);
}

// app[-<launcher>]-<id>-<random>.scope or app[-<launcher>]-<id>[@<random>].service, where
// '-' separates the parts and a '-' inside the id is escaped.
bool unitNamesApplication(QStringView unit, QStringView id)
{
    const bool scope = unit.endsWith(u".scope");
    const bool service = unit.endsWith(u".service");
    if ((!scope && !service) || !unit.startsWith(u"app-"))
        return false;
    QStringView rest = unit.mid(4).chopped(scope ? 6 : 8);
    if (service) {
        if (const qsizetype at = rest.indexOf(u'@'); at >= 0)
            rest = rest.left(at);
    }
    const QList<QStringView> parts = rest.split(u'-');
    if (std::any_of(parts.begin(), parts.end(), [](QStringView p) { return p.isEmpty(); }))
        return false;
    QStringView candidate;
    if (scope && (parts.size() == 2 || parts.size() == 3))
        candidate = parts[parts.size() - 2];
    else if (service && (parts.size() == 1 || parts.size() == 2))
        candidate = parts.last();
    else
        return false;
    return unescapeUnitName(candidate) == id;
}

// Through syscall(2): glibc 2.36's <sys/pidfd.h> declares its wrappers without C linkage.
int openPidfd(pid_t pid)
{
    const int fd = static_cast<int>(syscall(SYS_pidfd_open, pid, 0u));
    if (fd >= 0 || errno != ENOSYS)
        return fd;
    return -2; // no pidfds on this kernel
}

} // namespace

bool ZAVRunningApplication::cgroupNamesApplication(QStringView cgroup, QStringView bundleIdentifier)
{
    // One line per hierarchy, "<n>:<controllers>:<path>"; the path follows the second ':'.
    for (QStringView line : cgroup.split(u'\n')) {
        const qsizetype first = line.indexOf(u':');
        const qsizetype second = first < 0 ? -1 : line.indexOf(u':', first + 1);
        if (second < 0)
            continue;
        for (QStringView component : line.mid(second + 1).split(u'/')) {
            if (unitNamesApplication(component, bundleIdentifier))
                return true;
        }
    }
    return false;
}

bool ZAVRunningApplication::environmentNamesApplication(const QByteArray &environment, pid_t pid,
                                                        QStringView bundleIdentifier)
{
    static const QByteArray fileKey = "GIO_LAUNCHED_DESKTOP_FILE=";
    static const QByteArray pidKey = "GIO_LAUNCHED_DESKTOP_FILE_PID=";
    std::optional<QByteArray> file;
    std::optional<QByteArray> launchedPid;
    for (const QByteArray &entry : environment.split('\0')) {
        // The first definition counts, as getenv() finds it.
        if (!file && entry.startsWith(fileKey))
            file = entry.mid(fileKey.size());
        else if (!launchedPid && entry.startsWith(pidKey))
            launchedPid = entry.mid(pidKey.size());
    }
    const QByteArray suffix = '/' + bundleIdentifier.toUtf8() + ".desktop";
    if (!file || !file->endsWith(suffix))
        return false;
    if (launchedPid) {
        bool ok = false;
        const qlonglong value = launchedPid->toLongLong(&ok);
        return ok && value == pid;
    }
    return true;
}

bool ZAVRunningApplication::executableLiesInDirectory(const QString &executable,
                                                      const QString &directory)
{
    if (executable.isEmpty() || directory.isEmpty())
        return false;
    const QString prefix = directory.endsWith(u'/') ? directory : directory + u'/';
    return executable.size() > prefix.size() && executable.startsWith(prefix);
}

std::vector<ZAVRunningApplication> ZAVRunningApplication::runningApplicationsWithBundleIdentifier(
    const std::optional<QString> &bundleIdentifier)
{
    std::vector<ZAVRunningApplication> found;
    if (!bundleIdentifier)
        return found;
    const QString &id = *bundleIdentifier;
    const std::optional<ZAVUserAppLayout> layout =
        ZAVUserAppLayout::forApplication(id.toStdString(), ZAVUserAppLayout::currentUserHome());
    if (!layout)
        return found;

    // The kernel names executables by their real path: compare with the directory as given
    // and as resolved, for a home reached through a link.
    QStringList directories{
        QFile::decodeName(QByteArray::fromStdString(layout->applicationDirectory()))};
    if (char *resolved = realpath(QFile::encodeName(directories.first()).constData(), nullptr)) {
        directories.append(QFile::decodeName(resolved));
        free(resolved);
    }

    const uid_t uid = getuid();
    const pid_t self = getpid();
    DIR *proc = opendir("/proc");
    if (!proc)
        return found;
    while (const dirent *entry = readdir(proc)) {
        char *end = nullptr;
        const long value = std::strtol(entry->d_name, &end, 10);
        if (*entry->d_name < '1' || *entry->d_name > '9' || *end != '\0' || value <= 0 ||
            value > INT_MAX)
            continue;
        const pid_t pid = static_cast<pid_t>(value);
        if (pid == self)
            continue;

        auto state = std::make_shared<State>();
        state->pid = pid;
        state->procDirectory =
            openat(dirfd(proc), entry->d_name, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (state->procDirectory < 0)
            continue;
        const std::optional<ProcStat> procStat = readStat(state->procDirectory);
        if (!procStat || procStat->state == 'Z' || procStat->state == 'X' ||
            !runsAsUser(state->procDirectory, uid))
            continue;

        state->executable = readExecutable(state->procDirectory);
        bool belongs = std::any_of(directories.begin(), directories.end(), [&](const QString &d) {
            return executableLiesInDirectory(state->executable, d);
        });
        if (!belongs) {
            const std::optional<QByteArray> cgroup = readProcFile(state->procDirectory, "cgroup");
            belongs = cgroup && cgroupNamesApplication(QString::fromUtf8(*cgroup), id);
        }
        if (!belongs) {
            const std::optional<QByteArray> environment =
                readProcFile(state->procDirectory, "environ", 4 * 1024 * 1024);
            belongs = environment && environmentNamesApplication(*environment, pid, id);
        }
        if (!belongs)
            continue;

        // Pin the process. Reading its stat again through the directory taken before proves
        // that the pidfd refers to the process examined, not to a newcomer with its pid.
        state->pidfd = openPidfd(pid);
        if (state->pidfd == -1)
            continue;
        if (state->pidfd == -2)
            state->pidfd = -1;
        const std::optional<ProcStat> again = readStat(state->procDirectory);
        if (!again || again->startTime != procStat->startTime)
            continue;
        state->startTime = procStat->startTime;
        state->bundleIdentifier = id;
        found.push_back(ZAVRunningApplication(std::move(state)));
    }
    closedir(proc);

    std::sort(found.begin(), found.end(), [](const auto &a, const auto &b) {
        if (a.startTime() != b.startTime())
            return a.startTime() < b.startTime();
        return a.processIdentifier() < b.processIdentifier();
    });
    return found;
}

bool ZAVRunningApplication::terminate() const
{
    if (m_state->pidfd >= 0)
        return syscall(SYS_pidfd_send_signal, m_state->pidfd, SIGTERM, nullptr, 0u) == 0;
    // Without pidfds: the directory taken at look-up stops answering once the process has
    // been reaped, so a pid that has been handed on is never signalled.
    const std::optional<ProcStat> procStat = readStat(m_state->procDirectory);
    if (!procStat || procStat->startTime != m_state->startTime)
        return false;
    return ::kill(m_state->pid, SIGTERM) == 0;
}

bool ZAVRunningApplication::isTerminated() const
{
    if (m_state->pidfd >= 0) {
        pollfd entry{m_state->pidfd, POLLIN, 0};
        int ready;
        do
            ready = poll(&entry, 1, 0);
        while (ready < 0 && errno == EINTR);
        return ready > 0;
    }
    const std::optional<ProcStat> procStat = readStat(m_state->procDirectory);
    return !procStat || procStat->startTime != m_state->startTime || procStat->state == 'Z' ||
           procStat->state == 'X';
}

int ZAVRunningApplication::processDescriptor() const
{
    return m_state->pidfd;
}

pid_t ZAVRunningApplication::processIdentifier() const
{
    return m_state->pid;
}

const QString &ZAVRunningApplication::bundleIdentifier() const
{
    return m_state->bundleIdentifier;
}

const QString &ZAVRunningApplication::executablePath() const
{
    return m_state->executable;
}

quint64 ZAVRunningApplication::startTime() const
{
    return m_state->startTime;
}

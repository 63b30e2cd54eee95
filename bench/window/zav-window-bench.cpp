// The main thread's event loop through one whole run of the real installer window (feed,
// download, install with zav-pkg): a 1 ms timer on that thread measures how late each of its
// ticks comes, and the longest stall is reported per stage of the run.
//
//   zav-window-bench                      the window's run, against the compiled-in feed URL
//   zav-window-bench --baseline URL FILE  the same timer on an event loop that only waits for
//                                         `curl -o FILE URL` and then for zav-pkg on FILE, as
//                                         the installer runs it: what the machine alone does
//                                         to an event loop under the same kind of load
//   zav-window-bench --feed-url           prints the compiled-in feed URL
//
// The platform is offscreen unless QT_QPA_PLATFORM says otherwise. In the window's run the
// stages follow its log: "start" from the first tick to "Start download: ...", "download" up to
// "Downlaoded", "install" up to "Install complete", where the run ends (the feed must say
// autoLaunch false); every alert is answered with its first button. In the baseline they follow
// the two programs. A stall is the time between two ticks minus the interval; one that spans a
// change of stage counts for both. Per stage one line:
//
//   phase=<name> seconds=<s> ticks=<n> longest_ms=<x> p99_ms=<y> longest_cpu_ms=<c>
//       longest_sys_ms=<k> longest_wait_ms=<w> longest_vcsw=<v> longest_ivcsw=<i>
//       longest_minflt=<f> longest_majflt=<F> busiest_ms=<u> main_cpu_pct=<m>
//       process_cpu_pct=<p> machine_busy_pct=<b> machine_iowait_pct=<o> watchdog_late_ms=<l>
//
// The longest_* figures split the longest stall: CPU time of the main thread within it (of
// which in the kernel: sys), time runnable but waiting for a core (wait; -1 when the kernel
// keeps no schedstat), the rest asleep past the tick (blocked, or woken late); voluntary and
// involuntary context switches (one voluntary switch is the loop's own wait for the tick) and
// page faults. busiest_ms is the most CPU time the main thread spent between two ticks: the
// window's own longest stretch of work, whatever the machine did meanwhile. Over the whole
// stage: the main thread's CPU and the process's (its children, zav-pkg and curl, once they
// have ended) as a share of one core, how busy the machine's cores were and how much they
// waited for the disk, and how late, at most, a watchdog thread's own 2 ms sleeps ended: a
// second probe, without Qt, of what the machine does to any thread.
//
// Then what happened during the longest stall and the busiest gap: the log lines (and the one
// before), and what the watchdog saw of the main thread while it was more than 10 ms late (its
// state, its core and its kernel stack; the stack needs root). Last, progress_deliveries=<n>,
// every alert, and the outcome.
//
// Exit status: 0 when the run reached its end ("Install complete", or zav-pkg's success in the
// baseline), 1 otherwise, 2 on bad usage.

#include "app/ZAVInstallerWindow.h"
#include "feed/ZAVConstants.h"
#include "install/ZAVInstallationManager.h"
#include "platform/ZAVAlert.h"
#include "platform/ZAVApplication.h"
#include "platform/ZAVDispatch.h"
#include "platform/ZAVLog.h"
#include "platform/ZAVURLSession.h"
#include "platform/ZAVWindow.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QPointer>
#include <QProcess>
#include <QTimer>

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

namespace {

enum Phase : int { StartPhase, DownloadPhase, InstallPhase, DonePhase };
constexpr int measuredPhases = DonePhase;
constexpr std::array<const char *, measuredPhases> phaseNames{"start", "download", "install"};

constexpr int intervalMs = 1;
constexpr qint64 intervalNs = qint64(intervalMs) * 1000000;
constexpr int timeoutSeconds = 900;
constexpr size_t keptLines = 1024;

// Read from every thread; started before anything logs.
QElapsedTimer g_clock;
std::atomic<int> g_phase{StartPhase};
std::array<std::atomic<qint64>, measuredPhases + 1> g_phaseStartNs{};
std::atomic<long> g_progressDeliveries{0};

// A log line, or one of the watchdog's samples; `source` says which: "main" or "other" for a
// line logged on the main thread or another, "watch" for a sample.
struct LogLine {
    qint64 ns = 0;
    const char *source = "";
    QString text;
};

std::mutex g_linesMutex;
std::deque<LogLine> g_lines; // the latest lines, oldest first

QByteArray readSmallFile(const QByteArray &path)
{
    const int fd = open(path.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return {};
    QByteArray text(4096, Qt::Uninitialized);
    qsizetype used = 0;
    while (used < text.size()) {
        const ssize_t n = read(fd, text.data() + used, size_t(text.size() - used));
        if (n <= 0)
            break;
        used += n;
    }
    close(fd);
    text.truncate(used);
    return text;
}

// The machine's two CPU figures from /proc/stat, in clock ticks: busy (everything but idle and
// I/O wait) and I/O wait, and the total.
struct MachineCpu {
    unsigned long long busy = 0;
    unsigned long long iowait = 0;
    unsigned long long total = 0;
};

MachineCpu readMachineCpu()
{
    const QByteArray stat = readSmallFile("/proc/stat");
    unsigned long long v[8] = {};
    MachineCpu cpu;
    if (std::sscanf(stat.constData(), "cpu %llu %llu %llu %llu %llu %llu %llu %llu", &v[0], &v[1],
                    &v[2], &v[3], &v[4], &v[5], &v[6], &v[7]) == 8) {
        cpu.total = v[0] + v[1] + v[2] + v[3] + v[4] + v[5] + v[6] + v[7];
        cpu.iowait = v[4];
        cpu.busy = cpu.total - v[3] - v[4];
    }
    return cpu;
}

qint64 threadCpuNs()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return qint64(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

qint64 usageNs(const rusage &usage)
{
    return (qint64(usage.ru_utime.tv_sec) + qint64(usage.ru_stime.tv_sec)) * 1000000000 +
           (qint64(usage.ru_utime.tv_usec) + qint64(usage.ru_stime.tv_usec)) * 1000;
}

// The process's CPU time: all its threads, and its children that have been waited for.
qint64 processCpuNs()
{
    rusage self{}, children{};
    getrusage(RUSAGE_SELF, &self);
    getrusage(RUSAGE_CHILDREN, &children);
    return usageNs(self) + usageNs(children);
}

// Where each stage began.
struct PhaseMark {
    MachineCpu machine;
    qint64 processCpuNs = 0;
    qint64 mainCpuNs = -1; // -1 when the stage began on another thread
};

std::mutex g_phaseMarksMutex;
std::array<PhaseMark, measuredPhases + 1> g_phaseMarks;

void enterPhase(int phase)
{
    {
        std::lock_guard lock(g_phaseMarksMutex);
        g_phaseMarks[size_t(phase)] = {readMachineCpu(), processCpuNs(),
                                       ZAVIsMainThread() ? threadCpuNs() : -1};
    }
    g_phaseStartNs[size_t(phase)].store(g_clock.nsecsElapsed());
    g_phase.store(phase);
}

// The log capture: runs on the thread that logged, under the log's own lock.
void captureLine(const QString &text)
{
    const qint64 now = g_clock.nsecsElapsed();
    const char *source = ZAVIsMainThread() ? "main" : "other";
    if (text.startsWith(QLatin1String("Start download: "))) {
        enterPhase(DownloadPhase);
    } else if (text == QLatin1String("Downlaoded")) {
        enterPhase(InstallPhase);
    } else if (text == QLatin1String("Install complete")) {
        enterPhase(DonePhase);
        QMetaObject::invokeMethod(qApp, &QCoreApplication::quit, Qt::QueuedConnection);
    } else if (text.startsWith(QLatin1String("Progress is "))) {
        g_progressDeliveries.fetch_add(1);
    }
    std::lock_guard lock(g_linesMutex);
    g_lines.push_back({now, source, text});
    if (g_lines.size() > keptLines)
        g_lines.pop_front();
}

// What the watchdog saw of the main thread while it was late: its state (R runnable, S asleep,
// D in uninterruptible wait) and where in the kernel it was.
struct Sample {
    qint64 ns = 0;
    QString text;
};

std::mutex g_samplesMutex;
std::deque<Sample> g_samples; // the latest samples, oldest first

// The events within [from, to] for a stall's report: log lines (preceded by the last one before
// `from`) and the watchdog's samples, in order of time.
std::vector<LogLine> eventsBetween(qint64 from, qint64 to)
{
    std::vector<LogLine> found;
    {
        std::lock_guard lock(g_linesMutex);
        auto it = std::lower_bound(g_lines.begin(), g_lines.end(), from,
                                   [](const LogLine &line, qint64 ns) { return line.ns < ns; });
        if (it != g_lines.begin())
            --it;
        for (; it != g_lines.end() && it->ns <= to; ++it)
            found.push_back(*it);
    }
    {
        std::lock_guard lock(g_samplesMutex);
        for (const Sample &sample : g_samples) {
            if (sample.ns >= from && sample.ns <= to)
                found.push_back({sample.ns, "watch", sample.text});
        }
    }
    std::stable_sort(found.begin(), found.end(),
                     [](const LogLine &a, const LogLine &b) { return a.ns < b.ns; });
    return found;
}

// Looks at the main thread whenever it is more than `lateNs` past its tick: at most a few
// samples per stall, one every `lateNs`. Sleeps 2 ms between looks, so it takes next to no
// CPU from the threads it watches.
class Watchdog {
public:
    Watchdog(pid_t mainThread, const std::atomic<qint64> &lastTickNs)
        : m_task("/proc/self/task/" + QByteArray::number(mainThread)), m_lastTickNs(lastTickNs),
          m_thread([this] { run(); })
    {
    }
    ~Watchdog() { stop(); }

    void stop()
    {
        m_stop.store(true);
        if (m_thread.joinable())
            m_thread.join();
    }
    Watchdog(const Watchdog &) = delete;
    Watchdog &operator=(const Watchdog &) = delete;

    // How late the watchdog's own 2 ms sleeps ended, at most, per stage: a second probe, on a
    // thread of its own and without Qt. Read once stopped.
    qint64 longestOwnLatenessNs(int phase) const { return m_ownLatenessNs[size_t(phase)]; }

private:
    static constexpr qint64 lateNs = 10000000;
    static constexpr qint64 pauseNs = 2000000;
    static constexpr int samplesPerStall = 6;

    void run()
    {
        qint64 sampledTick = -1;
        int samples = 0;
        qint64 nextNs = 0;
        while (!m_stop.load()) {
            const timespec pause{0, pauseNs};
            const qint64 before = g_clock.nsecsElapsed();
            nanosleep(&pause, nullptr);
            const qint64 tick = m_lastTickNs.load();
            const qint64 now = g_clock.nsecsElapsed();
            const qint64 ownLateness = now - before - pauseNs;
            const int phase = g_phase.load();
            if (phase < measuredPhases) {
                qint64 &longest = m_ownLatenessNs[size_t(phase)];
                longest = std::max(longest, ownLateness);
            }
            if (ownLateness >= lateNs / 2) {
                addSample(before, QStringLiteral("the watchdog's own 2 ms sleep from here ended "
                                                 "%1 ms late (watchdog on cpu %2)")
                                      .arg(double(ownLateness) / 1e6, 0, 'f', 1)
                                      .arg(sched_getcpu()));
            }
            if (tick < 0 || now - tick < lateNs)
                continue;
            if (tick != sampledTick) {
                sampledTick = tick;
                samples = 0;
                nextNs = 0;
            }
            if (samples >= samplesPerStall || now < nextNs)
                continue;
            samples += 1;
            nextNs = now + lateNs;
            record(now, tick);
        }
    }

    void record(qint64 now, qint64 tick) const
    {
        const QByteArray stat = readSmallFile(m_task + "/stat");
        const qsizetype close = stat.lastIndexOf(')');
        const char state = close >= 0 && close + 2 < stat.size() ? stat.at(close + 2) : '?';
        // The kernel stack (root only), else the one function the thread waits in.
        QStringList frames;
        for (const QByteArray &line : readSmallFile(m_task + "/stack").split('\n')) {
            QByteArray frame = line.mid(line.indexOf(' ') + 1);
            frame.truncate(frame.indexOf('+'));
            if (!frame.isEmpty() && !frame.startsWith("entry_SYSCALL") &&
                !frame.startsWith("do_syscall"))
                frames.append(QString::fromLatin1(frame));
        }
        if (frames.isEmpty())
            frames.append(QString::fromLatin1(readSmallFile(m_task + "/wchan")));
        while (frames.size() > 6)
            frames.removeLast();
        // The core it last ran on: the 39th field of stat, the 37th after the command name.
        const QList<QByteArray> fields = stat.mid(close + 2).split(' ');
        const QByteArray core = fields.size() > 36 ? fields.at(36) : QByteArray("?");
        addSample(now, QStringLiteral("main thread %1 ms late, state %2 (last on cpu %3, watchdog "
                                      "on cpu %4), in %5")
                           .arg(double(now - tick) / 1e6, 0, 'f', 1)
                           .arg(QLatin1Char(state))
                           .arg(QString::fromLatin1(core))
                           .arg(sched_getcpu())
                           .arg(frames.join(QStringLiteral(" < "))));
    }

    static void addSample(qint64 ns, QString text)
    {
        std::lock_guard lock(g_samplesMutex);
        g_samples.push_back({ns, std::move(text)});
        if (g_samples.size() > keptLines)
            g_samples.pop_front();
    }

    const QByteArray m_task;
    const std::atomic<qint64> &m_lastTickNs;
    std::atomic<bool> m_stop{false};
    std::array<qint64, measuredPhases> m_ownLatenessNs{};
    std::thread m_thread; // last: starts once the rest is ready
};

// The calling thread's time spent runnable but waiting for a core (the second figure of its
// schedstat), in ns; -1 when the kernel does not tell.
class RunQueueWait {
public:
    RunQueueWait() : m_fd(open("/proc/thread-self/schedstat", O_RDONLY | O_CLOEXEC)) {}
    ~RunQueueWait()
    {
        if (m_fd >= 0)
            close(m_fd);
    }
    RunQueueWait(const RunQueueWait &) = delete;
    RunQueueWait &operator=(const RunQueueWait &) = delete;

    qint64 read() const
    {
        char text[128];
        const ssize_t n = m_fd >= 0 ? pread(m_fd, text, sizeof text - 1, 0) : -1;
        if (n <= 0)
            return -1;
        text[n] = '\0';
        unsigned long long running = 0, waiting = 0;
        if (std::sscanf(text, "%llu %llu", &running, &waiting) != 2)
            return -1;
        return qint64(waiting);
    }

private:
    int m_fd;
};

struct Stall {
    qint64 wallNs = 0;
    qint64 cpuNs = 0;
    qint64 waitNs = -1;
    long voluntary = 0;
    long involuntary = 0;
    long majorFaults = 0;
    long minorFaults = 0;
    qint64 systemNs = 0;
    qint64 fromNs = 0;
    qint64 toNs = 0;
    std::vector<LogLine> lines;
};

struct PhaseStats {
    std::vector<qint64> stallsNs;
    long ticks = 0;
    Stall longest;
    Stall busiest; // the gap in which the main thread ran longest
};

// The main thread's timer and what its ticks saw.
class LoopMeter {
public:
    LoopMeter()
    {
        m_timer.setTimerType(Qt::PreciseTimer);
        m_timer.setInterval(intervalMs);
        QObject::connect(&m_timer, &QTimer::timeout, [this] { tick(); });
    }

    void start()
    {
        enterPhase(StartPhase);
        m_timer.start();
    }
    void stop() { m_timer.stop(); }

    const PhaseStats &stats(int phase) const { return m_stats[size_t(phase)]; }
    // Any thread.
    const std::atomic<qint64> &lastTickNs() const { return m_lastTickNs; }

private:
    static qint64 systemNs(const rusage &usage)
    {
        return qint64(usage.ru_stime.tv_sec) * 1000000000 + qint64(usage.ru_stime.tv_usec) * 1000;
    }

    void tick()
    {
        const qint64 now = g_clock.nsecsElapsed();
        const qint64 cpu = threadCpuNs();
        const qint64 wait = m_runQueueWait.read();
        rusage usage{};
        getrusage(RUSAGE_THREAD, &usage);
        const int phase = g_phase.load();
        if (m_lastNs >= 0) {
            const qint64 stall = std::max<qint64>(0, now - m_lastNs - intervalNs);
            for (int p = m_lastPhase; p <= std::min(phase, measuredPhases - 1); ++p) {
                PhaseStats &stats = m_stats[size_t(p)];
                stats.stallsNs.push_back(stall);
                const bool longer = stall > stats.longest.wallNs;
                const bool busier = cpu - m_lastCpuNs > stats.busiest.cpuNs;
                if (!longer && !busier)
                    continue;
                const Stall gap{stall,
                                cpu - m_lastCpuNs,
                                wait >= 0 && m_lastWaitNs >= 0 ? wait - m_lastWaitNs : -1,
                                usage.ru_nvcsw - m_lastVoluntary,
                                usage.ru_nivcsw - m_lastInvoluntary,
                                usage.ru_majflt - m_lastMajorFaults,
                                usage.ru_minflt - m_lastMinorFaults,
                                systemNs(usage) - m_lastSystemNs,
                                m_lastNs,
                                now,
                                eventsBetween(m_lastNs, now)};
                if (longer)
                    stats.longest = gap;
                if (busier)
                    stats.busiest = gap;
            }
        }
        if (phase < measuredPhases)
            m_stats[size_t(phase)].ticks += 1;
        m_lastNs = now;
        m_lastTickNs.store(now);
        m_lastCpuNs = cpu;
        m_lastWaitNs = wait;
        m_lastVoluntary = usage.ru_nvcsw;
        m_lastInvoluntary = usage.ru_nivcsw;
        m_lastMajorFaults = usage.ru_majflt;
        m_lastMinorFaults = usage.ru_minflt;
        m_lastSystemNs = systemNs(usage);
        m_lastPhase = phase;
    }

    QTimer m_timer;
    RunQueueWait m_runQueueWait; // made on the main thread, read there only
    std::array<PhaseStats, measuredPhases> m_stats;
    qint64 m_lastNs = -1;
    std::atomic<qint64> m_lastTickNs{-1};
    qint64 m_lastCpuNs = 0;
    qint64 m_lastWaitNs = -1;
    long m_lastVoluntary = 0;
    long m_lastInvoluntary = 0;
    long m_lastMajorFaults = 0;
    long m_lastMinorFaults = 0;
    qint64 m_lastSystemNs = 0;
    int m_lastPhase = StartPhase;
};

double ms(qint64 ns)
{
    return double(ns) / 1e6;
}

// Nearest rank.
qint64 percentile(std::vector<qint64> values, double fraction)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    size_t rank = size_t(fraction * double(values.size()) + 0.999999);
    rank = std::clamp<size_t>(rank, 1, values.size());
    return values[rank - 1];
}

void printPhase(const LoopMeter &meter, qint64 watchdogLatenessNs, int phase)
{
    const PhaseStats &stats = meter.stats(phase);
    const qint64 begin = g_phaseStartNs[size_t(phase)].load();
    const qint64 end = g_phaseStartNs[size_t(phase) + 1].load();
    const double seconds = end > begin ? double(end - begin) / 1e9 : 0.0;
    const Stall &longest = stats.longest;
    PhaseMark from, to;
    {
        std::lock_guard lock(g_phaseMarksMutex);
        from = g_phaseMarks[size_t(phase)];
        to = g_phaseMarks[size_t(phase) + 1];
    }
    const double wallNs = double(end > begin ? end - begin : 0);
    const auto share = [wallNs](qint64 ns) {
        return wallNs > 0 ? 100.0 * double(ns) / wallNs : 0.0;
    };
    const double mainCpu =
        from.mainCpuNs >= 0 && to.mainCpuNs >= 0 ? share(to.mainCpuNs - from.mainCpuNs) : -1.0;
    const double processCpu = share(to.processCpuNs - from.processCpuNs);
    const double total =
        to.machine.total > from.machine.total ? double(to.machine.total - from.machine.total) : 0.0;
    const double busy =
        total > 0 ? 100.0 * double(to.machine.busy - from.machine.busy) / total : 0.0;
    const double iowait =
        total > 0 ? 100.0 * double(to.machine.iowait - from.machine.iowait) / total : 0.0;
    std::printf("phase=%s seconds=%.3f ticks=%ld longest_ms=%.3f p99_ms=%.3f longest_cpu_ms=%.3f "
                "longest_sys_ms=%.3f longest_wait_ms=%.3f longest_vcsw=%ld longest_ivcsw=%ld "
                "longest_minflt=%ld longest_majflt=%ld busiest_ms=%.3f main_cpu_pct=%.1f "
                "process_cpu_pct=%.0f "
                "machine_busy_pct=%.0f machine_iowait_pct=%.0f watchdog_late_ms=%.3f\n",
                phaseNames[size_t(phase)], seconds, stats.ticks, ms(longest.wallNs),
                ms(percentile(stats.stallsNs, 0.99)), ms(longest.cpuNs), ms(longest.systemNs),
                longest.waitNs >= 0 ? ms(longest.waitNs) : -1.0, longest.voluntary,
                longest.involuntary, longest.minorFaults, longest.majorFaults,
                ms(stats.busiest.cpuNs), mainCpu, processCpu, busy, iowait, ms(watchdogLatenessNs));
    const Stall &busiest = stats.busiest;
    const qint64 first = g_phaseStartNs[0].load();
    const char *name = phaseNames[size_t(phase)];
    // "longest download stall", "busiest install gap", ...
    const auto describe = [first, name](const char *which, const char *what, const Stall &gap) {
        std::printf("  %s %s %s: from %.3f ms to %.3f ms after the first tick; meanwhile:\n", which,
                    name, what, ms(gap.fromNs - first), ms(gap.toNs - first));
        for (const LogLine &line : gap.lines)
            std::printf("    %+9.3f ms %-6s %s\n", ms(line.ns - gap.fromNs), line.source,
                        qPrintable(line.text));
    };
    if (longest.wallNs > 0)
        describe("longest", "stall", longest);
    if (busiest.cpuNs > 0) {
        std::printf("  busiest %s gap: %.3f ms of main-thread CPU (%.3f ms in the kernel) in a "
                    "stall of %.3f ms%s\n",
                    phaseNames[size_t(phase)], ms(busiest.cpuNs), ms(busiest.systemNs),
                    ms(busiest.wallNs),
                    busiest.fromNs == longest.fromNs ? ", the longest stall itself" : "");
    }
    if (busiest.cpuNs > 0 && busiest.fromNs != longest.fromNs)
        describe("busiest", "gap", busiest);
}

// The baseline's load: curl fetches the package, then zav-pkg installs it with the installer's
// own arguments, both with the driver's standard streams, as the installer's child would have.
class BaselineRun {
public:
    BaselineRun(QString url, QString file, QString packageInstaller)
        : m_url(std::move(url)), m_file(std::move(file)),
          m_packageInstaller(std::move(packageInstaller))
    {
        m_process.setProcessChannelMode(QProcess::ForwardedChannels);
        QObject::connect(&m_process, &QProcess::finished,
                         [this](int code, QProcess::ExitStatus how) { finished(code, how); });
    }

    void start()
    {
        enterPhase(DownloadPhase);
        m_process.start(QStringLiteral("curl"), {QStringLiteral("-s"), QStringLiteral("-f"),
                                                 QStringLiteral("-o"), m_file, m_url});
    }
    bool succeeded() const { return m_succeeded; }
    const QString &failure() const { return m_failure; }

private:
    void finished(int code, QProcess::ExitStatus how)
    {
        const QString program = m_process.program();
        if (how != QProcess::NormalExit || code != 0) {
            m_failure = QStringLiteral("%1 ended with status %2").arg(program).arg(code);
            QCoreApplication::quit();
            return;
        }
        if (g_phase.load() == DownloadPhase) {
            enterPhase(InstallPhase);
            m_process.start(m_packageInstaller,
                            {QStringLiteral("-dumplog"), QStringLiteral("-verbose"),
                             QStringLiteral("-pkg"), m_file, QStringLiteral("-target"),
                             QStringLiteral("CurrentUserHomeDirectory")});
            return;
        }
        enterPhase(DonePhase);
        m_succeeded = true;
        QCoreApplication::quit();
    }

    const QString m_url;
    const QString m_file;
    const QString m_packageInstaller;
    QProcess m_process;
    bool m_succeeded = false;
    QString m_failure;
};

} // namespace

int main(int argc, char **argv)
{
    if (argc == 2 && std::strcmp(argv[1], "--feed-url") == 0) {
        // The stamped URL (the lookup logs its line to standard error, not here).
        std::printf("%s\n", qPrintable(ZAVConstants::getFeedURL().toString()));
        return 0;
    }
    const bool baseline = argc == 4 && std::strcmp(argv[1], "--baseline") == 0;
    if (argc != 1 && !baseline) {
        std::fprintf(stderr, "usage: %s [--feed-url | --baseline URL FILE]\n", argv[0]);
        return 2;
    }
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");

    g_clock.start();
    QApplication app(argc, argv);

    const QString packageInstaller = QCoreApplication::applicationDirPath() + "/zav-pkg";
    if (!QFileInfo(packageInstaller).isExecutable()) {
        std::fprintf(stderr, "%s: no zav-pkg beside the driver (%s)\n", argv[0],
                     qPrintable(packageInstaller));
        return 1;
    }
    ZAVInstallerOptions options;
    options.installation.packageInstallerPath = QFile::encodeName(packageInstaller);
    ZAVInstallerWindow::registerWindowClass(options);

    QStringList alerts;
    QStringList terminations;
    QPointer<ZAVWindow> window;
    std::unique_ptr<BaselineRun> baselineRun;
    if (baseline) {
        baselineRun = std::make_unique<BaselineRun>(
            QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]), packageInstaller);
    } else {
        ZAVAlert::setResponder([&alerts](const ZAVAlert &alert) {
            alerts.append(alert.messageText() + " / " + alert.informativeText());
            return ZAVAlertFirstButtonReturn;
        });
        ZAVApplication::sharedApplication().setTerminateHandler(
            [&terminations](const char *sender) {
                terminations.append(QString::fromLatin1(sender));
                QMetaObject::invokeMethod(qApp, &QCoreApplication::quit, Qt::QueuedConnection);
            });
        ZAVLogSetCapture(captureLine);

        // As the installer's own main routine: load (which starts the run), show, then the loop.
        window = ZAVLoadWindowDescription(QStringLiteral(":/zav/main.ui"));
        if (!window) {
            std::fprintf(stderr, "%s: the window description could not be loaded\n", argv[0]);
            return 1;
        }
        ZAVApplication::sharedApplication().setMainWindow(window);
        window->show();
    }

    bool timedOut = false;
    QTimer::singleShot(timeoutSeconds * 1000, &app, [&timedOut] {
        timedOut = true;
        QCoreApplication::quit();
    });
    LoopMeter meter;
    meter.start();
    if (baselineRun)
        baselineRun->start();
    bool complete = false;
    std::array<qint64, measuredPhases> watchdogLateness{};
    {
        Watchdog watchdog(pid_t(syscall(SYS_gettid)), meter.lastTickNs());
        app.exec();
        meter.stop();
        complete = g_phase.load() == DonePhase;
        if (!complete)
            enterPhase(DonePhase); // ends the open stage, for the figures and the watchdog
        watchdog.stop();
        for (int phase = 0; phase < measuredPhases; ++phase)
            watchdogLateness[size_t(phase)] = watchdog.longestOwnLatenessNs(phase);
    }

    if (!baseline) {
        ZAVURLSession::shutdownAll();
        ZAVDispatchWaitForBackground();
        ZAVLogSetCapture(nullptr);
    }

    std::printf("mode=%s\n", baseline ? "baseline" : "window");
    for (int phase = baseline ? DownloadPhase : StartPhase; phase < measuredPhases; ++phase)
        printPhase(meter, watchdogLateness[size_t(phase)], phase);
    std::printf("interval_ms=%d progress_deliveries=%ld\n", intervalMs,
                g_progressDeliveries.load());
    for (const QString &alert : alerts)
        std::printf("alert: %s\n", qPrintable(alert));
    if (timedOut)
        std::printf("outcome: timed out after %d s\n", timeoutSeconds);
    else if (baselineRun && !complete)
        std::printf("outcome: %s\n", qPrintable(baselineRun->failure()));
    else if (baselineRun)
        std::printf("outcome: zav-pkg succeeded\n");
    else if (complete)
        std::printf("outcome: Install complete\n");
    else
        std::printf("outcome: ended before \"Install complete\" (termination requested by %s)\n",
                    qPrintable(terminations.join(", ")));

    delete window;
    if (!baseline) {
        ZAVApplication::sharedApplication().setTerminateHandler(nullptr);
        ZAVAlert::setResponder(nullptr);
    }
    return complete ? 0 : 1;
}

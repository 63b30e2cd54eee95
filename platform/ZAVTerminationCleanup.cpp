#include "ZAVTerminationCleanup.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

namespace {

struct Slot {
    std::atomic<bool> used{false};
    std::atomic<bool> armed{false}; // set once `path` is complete, cleared before it changes
    char path[PATH_MAX];
};

constexpr int kSlots = 8;
constexpr int kSignals[] = {SIGTERM, SIGINT, SIGHUP};
Slot g_slots[kSlots];
struct sigaction g_previous[std::size(kSignals)];
std::once_flag g_installed;
std::atomic<int> g_holds{0};
std::atomic<int> g_pending{0};
int g_notifier[2] = {-1, -1};

void removeArmedFiles()
{
    for (Slot &slot : g_slots) {
        if (slot.armed.load(std::memory_order_acquire))
            ::unlink(slot.path);
    }
}

// Ends the process the way `signal` would have without us, after the previous handler (if
// any) has had its turn.
void passOn(int signal, siginfo_t *info, void *context)
{
    for (size_t i = 0; i < std::size(kSignals); ++i) {
        if (kSignals[i] != signal)
            continue;
        const struct sigaction &previous = g_previous[i];
        if (previous.sa_flags & SA_SIGINFO) {
            previous.sa_sigaction(signal, info, context);
        } else if (previous.sa_handler != SIG_DFL && previous.sa_handler != SIG_IGN) {
            previous.sa_handler(signal);
        } else {
            ::signal(signal, SIG_DFL);
            sigset_t set;
            sigemptyset(&set);
            sigaddset(&set, signal);
            ::sigprocmask(SIG_UNBLOCK, &set, nullptr);
            ::raise(signal);
        }
    }
}

void onTerminationSignal(int signal, siginfo_t *info, void *context)
{
    const int savedErrno = errno;
    if (g_holds.load(std::memory_order_acquire) > 0) {
        int none = 0;
        if (g_pending.compare_exchange_strong(none, signal) && g_notifier[1] >= 0) {
            const char byte = 1;
            [[maybe_unused]] const ssize_t n = ::write(g_notifier[1], &byte, 1);
        }
        errno = savedErrno;
        return;
    }
    removeArmedFiles();
    passOn(signal, info, context);
    errno = savedErrno;
}

void installHandlers()
{
    if (::pipe2(g_notifier, O_CLOEXEC | O_NONBLOCK) != 0)
        g_notifier[0] = g_notifier[1] = -1;
    // exit(3) from anywhere (the toolkit's own ending when the display is lost) runs this;
    // the installer's own ending (_exit) does not need it.
    std::atexit(removeArmedFiles);
    for (size_t i = 0; i < std::size(kSignals); ++i) {
        struct sigaction current {};
        if (::sigaction(kSignals[i], nullptr, &current) != 0 || current.sa_handler == SIG_IGN)
            continue;
        g_previous[i] = current;
        struct sigaction action {};
        action.sa_sigaction = onTerminationSignal;
        action.sa_flags = SA_SIGINFO | SA_RESTART;
        sigemptyset(&action.sa_mask);
        ::sigaction(kSignals[i], &action, nullptr);
    }
}

} // namespace

int ZAVRemoveOnTermination(const QByteArray &path)
{
    if (path.isEmpty() || size_t(path.size()) >= sizeof Slot::path)
        return -1;
    std::call_once(g_installed, installHandlers);
    for (int i = 0; i < kSlots; ++i) {
        Slot &slot = g_slots[i];
        if (slot.used.exchange(true))
            continue;
        std::memcpy(slot.path, path.constData(), size_t(path.size()) + 1);
        slot.armed.store(true, std::memory_order_release);
        return i;
    }
    return -1;
}

void ZAVKeepOnTermination(int slot)
{
    if (slot < 0 || slot >= kSlots)
        return;
    g_slots[slot].armed.store(false, std::memory_order_release);
    g_slots[slot].used.store(false, std::memory_order_release);
}

void ZAVHoldTermination()
{
    std::call_once(g_installed, installHandlers);
    g_holds.fetch_add(1, std::memory_order_acq_rel);
}

void ZAVReleaseTermination()
{
    g_holds.fetch_sub(1, std::memory_order_acq_rel);
}

int ZAVPendingTermination()
{
    return g_pending.load(std::memory_order_acquire);
}

int ZAVTerminationNotifier()
{
    std::call_once(g_installed, installHandlers);
    return g_notifier[0];
}

void ZAVFinishPendingTermination()
{
    const int signal = g_pending.load(std::memory_order_acquire);
    if (signal == 0)
        return;
    g_holds.store(0, std::memory_order_release);
    removeArmedFiles();
    passOn(signal, nullptr, nullptr);
}

#include "ZAVTerminationCleanup.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstring>
#include <mutex>

#include <signal.h>
#include <unistd.h>

namespace {

struct Slot {
    std::atomic<bool> used{false};
    std::atomic<bool> armed{false}; // set once `path` is complete, cleared before it changes
    char path[PATH_MAX];
};

constexpr int kSlots = 8;
constexpr int kSignals[] = {SIGTERM, SIGINT};
Slot g_slots[kSlots];
struct sigaction g_previous[std::size(kSignals)];
std::once_flag g_installed;

void onTerminationSignal(int signal, siginfo_t *info, void *context)
{
    const int savedErrno = errno;
    for (Slot &slot : g_slots) {
        if (slot.armed.load(std::memory_order_acquire))
            ::unlink(slot.path);
    }
    for (size_t i = 0; i < std::size(kSignals); ++i) {
        if (kSignals[i] != signal)
            continue;
        const struct sigaction &previous = g_previous[i];
        if (previous.sa_flags & SA_SIGINFO) {
            previous.sa_sigaction(signal, info, context);
        } else if (previous.sa_handler != SIG_DFL && previous.sa_handler != SIG_IGN) {
            previous.sa_handler(signal);
        } else {
            // End the way the signal would have ended the process without us.
            ::signal(signal, SIG_DFL);
            ::raise(signal);
        }
    }
    errno = savedErrno;
}

void installHandlers()
{
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

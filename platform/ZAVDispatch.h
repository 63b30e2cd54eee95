#pragma once

#include <functional>

// The main queue: `work` runs later, once, on the main thread's event loop, in posting order.
// It never runs on the caller's stack, even when the caller is the main thread.
// Safe on any thread once the application object exists.
void ZAVDispatchMainAsync(std::function<void()> work);

// The global queue of background priority: `work` runs later on a low-priority pool thread,
// never on the main thread. Closures may run concurrently with each other.
void ZAVDispatchBackgroundAsync(std::function<void()> work);

// Waits for every closure put on the background queue to finish. Called when the application
// shuts down, so that no work outlives the objects it uses.
void ZAVDispatchWaitForBackground();

bool ZAVIsMainThread();

// Debug builds stop at once when a main-thread-only operation runs elsewhere.
#ifdef NDEBUG
#define ZAV_ASSERT_MAIN_THREAD() ((void)0)
#else
#define ZAV_ASSERT_MAIN_THREAD() ZAVAssertMainThread(__FILE__, __LINE__)
#endif
void ZAVAssertMainThread(const char *file, int line);

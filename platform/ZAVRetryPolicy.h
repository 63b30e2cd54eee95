#pragma once

#include "ZAVError.h"

#include <QElapsedTimer>

#include <chrono>
#include <optional>
#include <vector>

// When a transfer that failed for want of a network is asked for again, and when a transfer
// gives up. One policy serves every task of a URL session (ZAVURLSessionTask::setRetryPolicy);
// each caller picks its own limits. A value: copy it freely.
struct ZAVRetryPolicy {
    // The wait before each new attempt; their number is the number of retries a run may make,
    // counted over the whole run (new bytes do not give them back).
    std::vector<std::chrono::milliseconds> delays;
    // The whole run, waits included, ends by this time after it started, with a time-out;
    // 0: no limit. A wait that would end past the deadline is not started.
    std::chrono::milliseconds deadline{0};
    // A transfer that receives fewer than `slowBytesPerSecond` on average over `slowWindow`
    // (measured window after window while it runs) is ended as a lost connection, and then
    // retried like one. 0 bytes per second: no floor.
    qint64 slowBytesPerSecond = 1024;
    std::chrono::milliseconds slowWindow{60'000};

    // No retries, no deadline, the default floor.
    static ZAVRetryPolicy none() { return {}; }
    // The feed and its signature: asked again after 1 s and 2 s; everything within 2 minutes.
    static ZAVRetryPolicy feedFetch();
    // The package: resumed after 1, 2, 4, 8 and 16 s; no deadline (a large package on a slow
    // line takes what it takes, as long as it moves above the floor).
    static ZAVRetryPolicy packageDownload();

    int attempts() const { return int(delays.size()); }
    // True for a failure of the network itself, which may pass (no connection, reset,
    // time-out, a lost connection, a transfer under the floor); false for an answer of the
    // server, a refused redirect, certificate or size, a cancellation, or a local error.
    static bool isTransient(const ZAVError &error);
};

// One run under a policy: when it started and how many retries it has made. Not thread-safe:
// used on the session's thread by the task that owns it.
class ZAVRetryRun {
public:
    explicit ZAVRetryRun(ZAVRetryPolicy policy = {});

    const ZAVRetryPolicy &policy() const { return m_policy; }
    // Starts the clock; a later call does nothing.
    void start();
    // The next retry (1-based) and the wait before it, counting it as made; nothing when
    // `error` is not transient, the retries are spent, or the wait would pass the deadline.
    struct Retry {
        int attempt = 0;
        int attempts = 0;
        std::chrono::milliseconds delay{0};
    };
    std::optional<Retry> next(const ZAVError &error);
    // Time left before the deadline (never negative); nothing when the policy has none.
    std::optional<std::chrono::milliseconds> remaining() const;
    int retries() const { return m_retries; }

private:
    ZAVRetryPolicy m_policy;
    QElapsedTimer m_clock;
    int m_retries = 0;
};

#include "ZAVRetryPolicy.h"

#include "ZAVURLSession.h"

#include <QNetworkReply>

using namespace std::chrono_literals;

ZAVRetryPolicy ZAVRetryPolicy::feedFetch()
{
    ZAVRetryPolicy policy;
    policy.delays = {1s, 2s};
    policy.deadline = 2min;
    return policy;
}

ZAVRetryPolicy ZAVRetryPolicy::packageDownload()
{
    ZAVRetryPolicy policy;
    policy.delays = {1s, 2s, 4s, 8s, 16s};
    return policy;
}

bool ZAVRetryPolicy::isTransient(const ZAVError &error)
{
    if (error.domain != QLatin1StringView(ZAVURLErrorDomain))
        return false;
    switch (error.code) {
    case ZAVURLErrorTimedOut:
    case ZAVURLErrorNetworkConnectionLost:
    case QNetworkReply::ConnectionRefusedError:
    case QNetworkReply::RemoteHostClosedError:
    case QNetworkReply::HostNotFoundError:
    case QNetworkReply::TimeoutError:
    case QNetworkReply::TemporaryNetworkFailureError:
    case QNetworkReply::NetworkSessionFailedError:
    case QNetworkReply::ProxyConnectionRefusedError:
    case QNetworkReply::ProxyConnectionClosedError:
    case QNetworkReply::ProxyTimeoutError:
    case QNetworkReply::UnknownNetworkError:
    case QNetworkReply::ProtocolFailure: // a body that broke off in the middle of a chunk
        return true;
    default:
        return false;
    }
}

ZAVRetryRun::ZAVRetryRun(ZAVRetryPolicy policy) : m_policy(std::move(policy)) {}

void ZAVRetryRun::start()
{
    if (!m_clock.isValid())
        m_clock.start();
}

std::optional<ZAVRetryRun::Retry> ZAVRetryRun::next(const ZAVError &error)
{
    if (!ZAVRetryPolicy::isTransient(error) || m_retries >= m_policy.attempts())
        return std::nullopt;
    const std::chrono::milliseconds delay = m_policy.delays[size_t(m_retries)];
    if (const auto left = remaining(); left && delay >= *left)
        return std::nullopt;
    ++m_retries;
    return Retry{m_retries, m_policy.attempts(), delay};
}

std::optional<std::chrono::milliseconds> ZAVRetryRun::remaining() const
{
    if (m_policy.deadline <= 0ms)
        return std::nullopt;
    const std::chrono::milliseconds spent{m_clock.isValid() ? m_clock.elapsed() : 0};
    return std::max(m_policy.deadline - spent, 0ms);
}

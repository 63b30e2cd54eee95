#include "ZAVScopedEnvironment.h"

#include <QtGlobal>

#include <algorithm>

ZAVScopedEnvironment &ZAVScopedEnvironment::set(const char *name, const QByteArray &value)
{
    remember(name);
    qputenv(name, value);
    return *this;
}

ZAVScopedEnvironment &ZAVScopedEnvironment::unset(const char *name)
{
    remember(name);
    qunsetenv(name);
    return *this;
}

void ZAVScopedEnvironment::restore()
{
    for (auto it = m_saved.rbegin(); it != m_saved.rend(); ++it) {
        if (it->second)
            qputenv(it->first.constData(), *it->second);
        else
            qunsetenv(it->first.constData());
    }
    m_saved.clear();
}

void ZAVScopedEnvironment::remember(const char *name)
{
    const bool known = std::any_of(m_saved.begin(), m_saved.end(),
                                   [name](const auto &saved) { return saved.first == name; });
    if (known)
        return;
    std::optional<QByteArray> value;
    if (qEnvironmentVariableIsSet(name))
        value = qgetenv(name);
    m_saved.emplace_back(name, value);
}

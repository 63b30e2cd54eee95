#include "ZAVTestLog.h"

#include "platform/ZAVLog.h"

ZAVTestLog::ZAVTestLog()
{
    ZAVLogSetCapture([this](const QString &line) {
        QMutexLocker lock(&m_mutex);
        m_lines.append(line);
    });
}

ZAVTestLog::~ZAVTestLog()
{
    ZAVLogSetCapture(nullptr);
}

QStringList ZAVTestLog::lines() const
{
    QMutexLocker lock(&m_mutex);
    return m_lines;
}

void ZAVTestLog::clear()
{
    QMutexLocker lock(&m_mutex);
    m_lines.clear();
}

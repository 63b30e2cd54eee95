#pragma once

#include <QMutex>
#include <QStringList>

// Captures the lines of the system log while it exists. Lines may come from any thread.
class ZAVTestLog {
public:
    ZAVTestLog();
    ~ZAVTestLog();

    QStringList lines() const;
    int count(const QString &line) const { return int(lines().count(line)); }
    bool contains(const QString &line) const { return lines().contains(line); }
    // Index of the first line equal to `line`, or -1.
    int indexOf(const QString &line) const { return int(lines().indexOf(line)); }
    void clear();

private:
    mutable QMutex m_mutex;
    QStringList m_lines;
};

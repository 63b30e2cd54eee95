#pragma once

#include <QByteArray>

// An exclusive advisory lock (flock(2)) on a directory or a regular file, held from a successful
// tryLock() until unlock() or the object goes. Locks of two objects exclude each other, in one
// process or two. Nothing is created, so nothing is left behind. The descriptor is
// close-on-exec: children never inherit the lock. One thread at a time.
class ZAVFileLock {
public:
    ZAVFileLock() = default;
    ZAVFileLock(const ZAVFileLock &) = delete;
    ZAVFileLock &operator=(const ZAVFileLock &) = delete;
    ~ZAVFileLock() { unlock(); }

    // Opens `path` (never through a link, never blocking on what is neither a directory nor a
    // regular file) and tries once, without waiting. True when the lock is held;
    // otherwise errorNumber() says why: EWOULDBLOCK while another holder has it, or the error
    // that kept the file from being opened or locked.
    bool tryLock(const QByteArray &path);
    void unlock();
    int errorNumber() const { return m_error; }

private:
    int m_fd = -1;
    int m_error = 0;
};

#include "ZAVFileLock.h"

#include <cerrno>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

bool ZAVFileLock::tryLock(const QByteArray &path)
{
    if (m_fd >= 0)
        return true;
    const int fd =
        ::open(path.constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) {
        m_error = errno;
        return false;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !(S_ISDIR(st.st_mode) || S_ISREG(st.st_mode))) {
        m_error = EINVAL;
        ::close(fd);
        return false;
    }
    int result;
    do {
        result = ::flock(fd, LOCK_EX | LOCK_NB);
    } while (result != 0 && errno == EINTR);
    if (result != 0) {
        m_error = errno;
        ::close(fd);
        return false;
    }
    m_error = 0;
    m_fd = fd;
    return true;
}

void ZAVFileLock::unlock()
{
    if (m_fd >= 0)
        ::close(m_fd); // closing the only descriptor releases the lock
    m_fd = -1;
}

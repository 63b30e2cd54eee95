#include "ZAVTemporaryDirectory.h"

#include <QByteArray>
#include <QFile>

#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

QString ZAVTemporaryDirectory()
{
    QByteArray base = qgetenv("TMPDIR");
    if (!base.startsWith('/'))
        base = QByteArrayLiteral("/tmp");
    while (base.endsWith('/'))
        base.chop(1);

    const uid_t uid = geteuid();
    const QByteArray dir = base + "/zav-" + QByteArray::number(uid);
    if (::mkdir(dir.constData(), 0700) != 0 && errno != EEXIST)
        return {};

    // Judge what is there through a descriptor that cannot have followed a link, so that the
    // checks and the mode change apply to the same object.
    const int fd = ::open(dir.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return {};
    struct stat st {};
    bool usable = ::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == uid;
    if (usable && (st.st_mode & 07777) != 0700)
        usable = ::fchmod(fd, 0700) == 0;
    ::close(fd);
    if (!usable)
        return {};
    return QFile::decodeName(dir) + u'/';
}

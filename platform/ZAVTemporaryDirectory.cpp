#include "ZAVTemporaryDirectory.h"

#include <cerrno>
#include <cstring>
#include <ctime>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QByteArray absoluteOrEmpty(QByteArray path)
{
    if (!path.startsWith('/'))
        return {};
    while (path.size() > 1 && path.endsWith('/'))
        path.chop(1);
    return path;
}

// "<base>/zav-<uid>" when it is, or could be made into, a directory of the user's alone.
QByteArray privateDirectoryIn(const QByteArray &base, uid_t uid)
{
    if (base.isEmpty())
        return {};
    const QByteArray dir = (base == "/" ? QByteArray() : base) + "/zav-" + QByteArray::number(uid);
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
    return usable ? dir + '/' : QByteArray();
}

} // namespace

QByteArray ZAVTemporaryDirectory()
{
    const uid_t uid = geteuid();
    QByteArray tmp = absoluteOrEmpty(qgetenv("TMPDIR"));
    if (tmp.isEmpty())
        tmp = QByteArrayLiteral("/tmp");
    if (QByteArray dir = privateDirectoryIn(tmp, uid); !dir.isEmpty())
        return dir;
    if (QByteArray dir = privateDirectoryIn(absoluteOrEmpty(qgetenv("XDG_RUNTIME_DIR")), uid);
        !dir.isEmpty())
        return dir;
    QByteArray cache = absoluteOrEmpty(qgetenv("XDG_CACHE_HOME"));
    if (cache.isEmpty()) {
        const QByteArray home = absoluteOrEmpty(qgetenv("HOME"));
        if (home.isEmpty())
            return {};
        cache = (home == "/" ? QByteArray() : home) + "/.cache";
        ::mkdir(cache.constData(), 0700); // the usual place; made as the desktop rules ask
    }
    return privateDirectoryIn(cache, uid);
}

int ZAVRemoveLeftoversOfEndedRuns(const QByteArray &directory)
{
    const int fd = ::open(directory.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return 0;
    DIR *dir = ::fdopendir(fd);
    if (!dir) {
        ::close(fd);
        return 0;
    }
    const uid_t uid = geteuid();
    const auto startsWith = [](const char *name, const char *prefix) {
        return std::strncmp(name, prefix, std::strlen(prefix)) == 0;
    };
    int removed = 0;
    while (const dirent *entry = ::readdir(dir)) {
        if (!startsWith(entry->d_name, ZAVPartialDownloadPrefix) &&
            !startsWith(entry->d_name, ZAVPackageFilePrefix))
            continue;
        struct stat st {};
        if (::fstatat(fd, entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode) ||
            st.st_uid != uid)
            continue;
        if (::unlinkat(fd, entry->d_name, 0) == 0)
            ++removed;
    }
    ::closedir(dir);
    return removed;
}

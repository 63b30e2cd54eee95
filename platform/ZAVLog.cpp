#include "ZAVLog.h"

#include "base/ZAVEscaped.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFileInfo>

#include <cstdio>
#include <mutex>

#include <sys/syscall.h>
#include <syslog.h>
#include <unistd.h>

namespace {

std::mutex g_mutex;
std::function<void(const QString &)> g_capture;
QByteArray g_program;

const QByteArray &programName()
{
    // Guarded by g_mutex.
    if (g_program.isEmpty()) {
        QString name = QCoreApplication::applicationName();
        if (name.isEmpty()) {
            char path[4096];
            const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
            name = n > 0 ? QFileInfo(QString::fromLocal8Bit(path, n)).fileName()
                         : QStringLiteral("zav");
        }
        g_program = name.toLocal8Bit();
        openlog(g_program.constData(), LOG_PID, LOG_USER);
    }
    return g_program;
}

} // namespace

QString ZAVLogEscaped(const QString &text)
{
    const QByteArray utf8 = text.toUtf8();
    return QString::fromStdString(
        ZAVEscaped(std::string_view(utf8.constData(), static_cast<size_t>(utf8.size()))));
}

void ZAVLog(const QString &raw)
{
    const QByteArray stamp =
        QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz")).toLatin1();
    const QString text = ZAVLogEscaped(raw);
    const QByteArray bytes = text.toUtf8();

    std::lock_guard lock(g_mutex);
    const QByteArray &program = programName();
    std::fprintf(stderr, "%s %s[%d:%ld] %s\n", stamp.constData(), program.constData(),
                 int(getpid()), long(syscall(SYS_gettid)), bytes.constData());
    std::fflush(stderr);
    syslog(LOG_NOTICE, "%s", bytes.constData());
    if (g_capture)
        g_capture(text);
}

void ZAVLogSetCapture(std::function<void(const QString &)> capture)
{
    std::lock_guard lock(g_mutex);
    g_capture = std::move(capture);
}

void ZAVLogFlush()
{
    std::lock_guard lock(g_mutex);
    std::fflush(stderr);
    std::fflush(stdout);
}

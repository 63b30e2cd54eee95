#include "ZAVTestSandbox.h"

#include <QDir>
#include <QFile>
#include <QTest>

#include <cstdlib>

void ZAVTestSandbox::tearDown()
{
    if (!root.isEmpty())
        QDir(root).removeRecursively();
    root.clear();
}

bool ZAVTestSandbox::setUp(const char *name)
{
    QByteArray pattern = "/tmp/zav-" + QByteArray(name) + "-XXXXXX";
    if (!::mkdtemp(pattern.data()))
        return false;
    root = QFile::decodeName(pattern);
    home = root + QStringLiteral("/home");
    records = root + QStringLiteral("/records");
    if (!QDir().mkpath(home) || !QDir().mkpath(records))
        return false;
    const QByteArray homeBytes = QFile::encodeName(home);
    qputenv("HOME", homeBytes);
    qputenv("XDG_CONFIG_HOME", homeBytes + "/.config");
    qputenv("XDG_CACHE_HOME", homeBytes + "/.cache");
    qputenv("XDG_DATA_HOME", homeBytes + "/.local/share");
    qputenv("XDG_STATE_HOME", homeBytes + "/.local/state");
    qputenv("ZAV_FIXTURE_RECORD_DIR", QFile::encodeName(records));
    qunsetenv("GIO_LAUNCHED_DESKTOP_FILE");
    qunsetenv("GIO_LAUNCHED_DESKTOP_FILE_PID");
    return true;
}

QString ZAVTestSandbox::record(qint64 pid, const char *kind) const
{
    return QStringLiteral("%1/%2.%3").arg(records).arg(pid).arg(QLatin1String(kind));
}

void ZAVTestSandbox::clearRecords() const
{
    QDir folder(records);
    for (const QString &name : folder.entryList(QDir::Files))
        folder.remove(name);
}

std::unique_ptr<QProcess>
ZAVTestSandbox::startFixture(const QString &program, const QStringList &environment,
                             const std::function<void()> &childSetup) const
{
    auto copy = std::make_unique<QProcess>();
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const QString &entry : environment)
        env.insert(entry.section(u'=', 0, 0), entry.section(u'=', 1));
    copy->setProcessEnvironment(env);
    copy->setProgram(program);
    copy->setProcessChannelMode(QProcess::ForwardedChannels);
    if (childSetup)
        copy->setChildProcessModifier(childSetup);
    copy->start();
    if (!copy->waitForStarted(5000))
        return nullptr;
    const QString started = record(copy->processId(), "started");
    if (!QTest::qWaitFor([&] { return QFile::exists(started); }, 5000)) {
        copy->kill();
        copy->waitForFinished(5000);
        return nullptr;
    }
    return copy;
}

// The package download: the user's temporary directory, the session's download task, and the
// installation manager's download half, against the fake server.

#include "install/ZAVInstallationManager.h"
#include "platform/ZAVDispatch.h"
#include "platform/ZAVFileLock.h"
#include "platform/ZAVFormat.h"
#include "platform/ZAVTemporaryDirectory.h"
#include "platform/ZAVURLSessionDownloadTask.h"
#include "tests/support/ZAVFakeHTTPServer.h"
#include "tests/support/ZAVScopedEnvironment.h"
#include "tests/support/ZAVTestFiles.h"
#include "tests/support/ZAVTestLog.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QMutex>
#include <QProcess>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>
#include <csignal>
#include <memory>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

class DownloadTest : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void temporaryDirectoryIsPrivateToTheUser();
    void temporaryDirectoryRefusesWhatIsNotTheUsersOwnDirectory_data();
    void temporaryDirectoryRefusesWhatIsNotTheUsersOwnDirectory();
    void temporaryDirectoryThatIsNotUtf8IsUsedAsBytes();

    void taskReportsInOrderOnTheSessionThread_data();
    void taskReportsInOrderOnTheSessionThread();
    void cancelledTaskEndsOnceAndLeavesNoFile();
    void sessionUsedAfterItsNoticeStaysQuiet();

    void knownLengthPercentagesRiseToExactly100_data();
    void knownLengthPercentagesRiseToExactly100();
    void unknownLengthPercentagesArePassedOnNegative();
    void failuresDeliverOneErrorAndLeaveNothing_data();
    void failuresDeliverOneErrorAndLeaveNothing();
    void downloadLandsAtTheInstallerPath_data();
    void downloadLandsAtTheInstallerPath();
    void linkAtTheInstallerPathIsReplacedNotFollowed_data();
    void linkAtTheInstallerPathIsReplacedNotFollowed();
    void packageAddressThatIsNotAURLMakesNoRequest_data();
    void packageAddressThatIsNotAURLMakesNoRequest();
    void installerFileNameIsShortAndPlain_data();
    void installerFileNameIsShortAndPlain();
    void secondRunWaitsForTheFirstOnesLock_data();
    void secondRunWaitsForTheFirstOnesLock();
    void stalePartialDownloadsOfEarlierRunsAreRemoved_data();
    void stalePartialDownloadsOfEarlierRunsAreRemoved();
    void pinnedPackageMustMatchItsSizeAndDigest_data();
    void pinnedPackageMustMatchItsSizeAndDigest();
    void lostConnectionResumesOrStartsAgain_data();
    void lostConnectionResumesOrStartsAgain();
    void mirrorsServeThePinnedBytes_data();
    void mirrorsServeThePinnedBytes();
    void deltaFromTheInstalledPackageElseThePackage_data();
    void deltaFromTheInstalledPackageElseThePackage();
    void notEnoughFreeSpaceFailsBeforeTheFirstByte_data();
    void notEnoughFreeSpaceFailsBeforeTheFirstByte();
    void redirectFromHttpsToHttpIsRefused();

private:
    std::unique_ptr<QTemporaryDir> m_tmp;
    ZAVScopedEnvironment m_environment;
};

namespace {

const QString kFailedNoError = QStringLiteral("Failed with error: (null)");

QByteArray bytes(qint64 offset, qint64 length)
{
    QByteArray data(length, Qt::Uninitialized);
    for (qint64 i = 0; i < length; ++i)
        data[i] = char(((offset + i) * 131 + 7) % 251);
    return data;
}

const char *const kBaseVariables[] = {"TMPDIR", "XDG_RUNTIME_DIR", "XDG_CACHE_HOME"};

QByteArray userDirectoryName()
{
    return "/zav-" + QByteArray::number(geteuid());
}

// A route whose body comes in `chunks` pieces of 64 KiB with a pause between them, so that the
// transfer spans several progress intervals.
ZAVFakeHTTPServer::Route slowBody(int chunks, int delayMs = 60)
{
    ZAVFakeHTTPServer::Route route =
        ZAVFakeHTTPServer::ok(bytes(0, qint64(chunks) * 64 * 1024), "application/octet-stream");
    route.chunkSize = 64 * 1024;
    route.chunkDelayMs = delayMs;
    return route;
}

// The product's options with waits of 10 ms before each of the five retries.
ZAVInstallationOptions quick()
{
    using namespace std::chrono_literals;
    ZAVInstallationOptions options;
    options.retryPolicy.delays = {10ms, 10ms, 10ms, 10ms, 10ms};
    return options;
}

std::shared_ptr<ZAVInstallationManager> managerFor(const std::optional<QString> &pkgUrl,
                                                   const ZAVInstallationOptions &options = quick())
{
    auto feed = std::make_shared<ZAVFeedData>();
    feed->setPkgUrl(pkgUrl);
    return ZAVInstallationManager::initWithFeedData(feed, options);
}

// What reaches the window's two handlers.
struct Run {
    int calls = 0;
    bool handlersOnMainThread = true;
    std::optional<QString> path;
    ZAVOptionalError error;
    QList<double> percents;
    int progressAfterResult = 0;
    int logLinesAtCall = -1;
};

std::shared_ptr<Run> startDownload(ZAVInstallationManager &manager, const ZAVTestLog &log)
{
    auto run = std::make_shared<Run>();
    manager.startDownloadWithCompletion(
        [run, &log](const std::optional<QString> &path, const ZAVOptionalError &error) {
            run->calls += 1;
            run->handlersOnMainThread &= ZAVIsMainThread();
            run->path = path;
            run->error = error;
            run->logLinesAtCall = int(log.lines().size());
        },
        [run](double percent) {
            run->handlersOnMainThread &= ZAVIsMainThread();
            run->percents.append(percent);
            if (run->calls > 0)
                run->progressAfterResult += 1;
        });
    return run;
}

// Waits until the session has delivered its invalidation notice, the last thing a download
// does, then a little longer to see that nothing else reaches the window.
void waitUntilOver(const ZAVTestLog &log)
{
    QTRY_VERIFY_WITH_TIMEOUT(log.contains(kFailedNoError), 20000);
    QTest::qWait(50);
}

// The manager's lines, in order.
QStringList managerLines(const ZAVTestLog &log)
{
    QStringList lines;
    for (const QString &line : log.lines()) {
        if (line.startsWith(QStringLiteral("path:")) ||
            line.startsWith(QStringLiteral("Start download: ")) ||
            line.startsWith(QStringLiteral("pkg failed with error ")) ||
            line.startsWith(QStringLiteral("Failed with error: ")))
            lines.append(line);
    }
    return lines;
}

// Records what a download task tells its session's delegate, from the session's thread.
class RecordingDelegate : public ZAVURLSessionDelegate {
public:
    struct Record {
        QStringList events; // runs of "progress" folded into one
        bool onSessionThread = true;
        QString location;
        QByteArray contents;
        qint64 stepSum = 0, lastTotal = -2, expected = -2;
    };
    QString moveTo; // when set, the finished file is moved here

    void URLSession(ZAVURLSession &session, const ZAVOptionalError &error) override
    {
        record(session, error ? "invalid error" : "invalid");
    }
    void URLSession(ZAVURLSession &session, ZAVURLSessionTask &,
                    const ZAVOptionalError &error) override
    {
        record(session, error ? QStringLiteral("complete %1").arg(error->code) : "complete");
    }
    void URLSession(ZAVURLSession &session, ZAVURLSessionDownloadTask &, int64_t bytesWritten,
                    int64_t totalBytesWritten, int64_t totalBytesExpectedToWrite) override
    {
        QMutexLocker lock(&m_mutex);
        m_record.stepSum += bytesWritten;
        m_record.lastTotal = totalBytesWritten;
        m_record.expected = totalBytesExpectedToWrite;
        if (m_record.events.isEmpty() || m_record.events.last() != u"progress")
            append(session, "progress");
    }
    void URLSession(ZAVURLSession &session, ZAVURLSessionDownloadTask &,
                    const QByteArray &location) override
    {
        QMutexLocker lock(&m_mutex);
        m_record.location = QFile::decodeName(location);
        m_record.contents = fileContents(m_record.location);
        if (!moveTo.isEmpty())
            ::rename(location.constData(), QFile::encodeName(moveTo).constData());
        append(session, "file");
    }

    Record record() const
    {
        QMutexLocker lock(&m_mutex);
        return m_record;
    }

private:
    void record(ZAVURLSession &session, const QString &event)
    {
        QMutexLocker lock(&m_mutex);
        append(session, event);
    }
    void append(ZAVURLSession &session, const QString &event)
    {
        m_record.onSessionThread &= session.isOnSessionThread();
        m_record.events.append(event);
    }

    mutable QMutex m_mutex;
    Record m_record;
};

} // namespace

void DownloadTest::init()
{
    m_tmp = std::make_unique<QTemporaryDir>();
    QVERIFY(m_tmp->isValid());
    // The fall-back bases point into the case's directory too: the user's own stay untouched.
    const QByteArray base = QFile::encodeName(m_tmp->path());
    for (const char *name : kBaseVariables)
        m_environment.set(name, qstrcmp(name, "TMPDIR") == 0 ? base : base + '/' + name);
}

void DownloadTest::cleanup()
{
    m_environment.restore();
    m_tmp.reset();
}

// ---- the user's temporary directory ---------------------------------------------------------

void DownloadTest::temporaryDirectoryIsPrivateToTheUser()
{
    const QString expected = m_tmp->path() + QStringLiteral("/zav-%1/").arg(geteuid());
    const QString first = ZAVTemporaryDirectory();
    QCOMPARE(first, expected);
    struct stat st {};
    QCOMPARE(::lstat(QFile::encodeName(first).constData(), &st), 0);
    QVERIFY(S_ISDIR(st.st_mode));
    QCOMPARE(st.st_mode & 07777, mode_t(0700));

    // Trailing slashes in $TMPDIR change nothing; a wider mode is narrowed again.
    QVERIFY(::chmod(QFile::encodeName(first).constData(), 0777) == 0);
    m_environment.set("TMPDIR", QFile::encodeName(m_tmp->path() + QStringLiteral("//")));
    QCOMPARE(ZAVTemporaryDirectory(), expected);
    QCOMPARE(::lstat(QFile::encodeName(first).constData(), &st), 0);
    QCOMPARE(st.st_mode & 07777, mode_t(0700));
}

void DownloadTest::temporaryDirectoryRefusesWhatIsNotTheUsersOwnDirectory_data()
{
    QTest::addColumn<QString>("planted");
    QTest::addColumn<int>("bases"); // in how many of TMPDIR, XDG_RUNTIME_DIR, XDG_CACHE_HOME
    QTest::newRow("link to a directory") << "link" << 3;
    QTest::newRow("regular file") << "file" << 3;
    // A shared TMPDIR where someone else was first: the run moves on instead of failing.
    QTest::newRow("another user's directory in TMPDIR") << "foreign" << 1;
    QTest::newRow("link in TMPDIR and the runtime directory") << "link" << 2;
}

void DownloadTest::temporaryDirectoryRefusesWhatIsNotTheUsersOwnDirectory()
{
    QFETCH(QString, planted);
    QFETCH(int, bases);
    if (planted == u"foreign" && geteuid() != 0)
        QSKIP("making a directory of another user needs root");
    QTemporaryDir elsewhere;
    QByteArray expected;
    for (int i = 0; i < int(std::size(kBaseVariables)); ++i) {
        const QByteArray base = qgetenv(kBaseVariables[i]);
        QVERIFY(QDir().mkpath(QFile::decodeName(base)));
        const QByteArray name = base + userDirectoryName();
        if (i >= bases) {
            expected = name + '/';
            break;
        }
        if (planted == u"link")
            QVERIFY(::symlink(QFile::encodeName(elsewhere.path()), name) == 0);
        else if (planted == u"file")
            QVERIFY(QFile(QFile::decodeName(name)).open(QIODevice::WriteOnly));
        else
            QVERIFY(::mkdir(name, 0700) == 0 && ::chown(name, 65534, 65534) == 0);
    }
    QCOMPARE(ZAVTemporaryDirectory(), expected);
    if (!expected.isEmpty())
        return;

    // Without a usable directory the download makes no request and creates nothing.
    ZAVFakeHTTPServer server;
    server.setRoute("/setup.pkg", ZAVFakeHTTPServer::ok("package"));
    ZAVTestLog log;
    auto manager = managerFor(server.url("/setup.pkg").toString());
    auto run = startDownload(*manager, log);
    waitUntilOver(log);
    QCOMPARE(run->calls, 1);
    QVERIFY(!run->path);
    QVERIFY(run->error);
    QCOMPARE(run->error->code, qint64(ZAVURLErrorCannotCreateFile));
    QCOMPARE(server.requestLines().size(), 0);
    QVERIFY(entriesOf(elsewhere.path()).isEmpty());
}

// The decoded name ("\xff" read as U+FFFD) is another directory, which another user could have
// made: the download must land in the one the environment names, byte for byte.
void DownloadTest::temporaryDirectoryThatIsNotUtf8IsUsedAsBytes()
{
    const QByteArray base = QFile::encodeName(m_tmp->path()) + "/t\xff";
    const QByteArray lookalike = QFile::encodeName(m_tmp->path()) + "/t\xef\xbf\xbd";
    QVERIFY(::mkdir(base.constData(), 0700) == 0);
    QVERIFY(::mkdir(lookalike.constData(), 0777) == 0);
    QVERIFY(::mkdir((lookalike + userDirectoryName()).constData(), 0700) == 0);
    m_environment.set("TMPDIR", base);
    QCOMPARE(ZAVTemporaryDirectory(), base + userDirectoryName() + '/');

    ZAVFakeHTTPServer server;
    server.setRoute("/setup.pkg", ZAVFakeHTTPServer::ok("package", "application/octet-stream"));
    ZAVTestLog log;
    auto manager = managerFor(server.url("/setup.pkg").toString());
    auto run = startDownload(*manager, log);
    waitUntilOver(log);
    QVERIFY(!run->error);
    QCOMPARE(fileBytes(base + userDirectoryName() + "/tmp-setup.pkg"), QByteArray("package"));
    QVERIFY(entriesOf(QFile::decodeName(lookalike + userDirectoryName())).isEmpty());
}

// ---- the session's download task ------------------------------------------------------------

void DownloadTest::taskReportsInOrderOnTheSessionThread_data()
{
    QTest::addColumn<bool>("move");
    QTest::newRow("file left where it is") << false;
    QTest::newRow("file moved by the delegate") << true;
}

void DownloadTest::taskReportsInOrderOnTheSessionThread()
{
    QFETCH(bool, move);
    ZAVFakeHTTPServer server;
    const ZAVFakeHTTPServer::Route route = slowBody(6);
    server.setRoute("/blob", route);
    auto delegate = std::make_shared<RecordingDelegate>();
    const QString moved = m_tmp->path() + QStringLiteral("/moved");
    if (move)
        delegate->moveTo = moved;
    auto session = ZAVURLSession::sessionWithConfiguration(
        ZAVURLSessionConfiguration::defaultSessionConfiguration(), delegate, nullptr);
    session->downloadTaskWithURL(server.url("/blob"))->resume();

    QTRY_VERIFY_WITH_TIMEOUT(delegate->record().events.contains("complete"), 20000);
    RecordingDelegate::Record r = delegate->record();
    QCOMPARE(r.events, QStringList({"progress", "file", "complete"}));
    QCOMPARE(r.contents, route.body);
    const qint64 size = route.body.size();
    QCOMPARE(r.stepSum, size);
    QCOMPARE(r.lastTotal, size);
    QCOMPARE(r.expected, size);
    // The temporary file is gone once the call has returned, unless it was moved.
    QVERIFY(!somethingAt(r.location));
    QCOMPARE(somethingAt(moved), move);
    if (move)
        QCOMPARE(fileContents(moved), route.body);

    // Exactly one invalidation notice, after which the session lets go of its delegate.
    session->invalidateAndCancel();
    QTRY_COMPARE(delegate.use_count(), 1L);
    QTest::qWait(50); // a second notice would arrive meanwhile
    r = delegate->record();
    QCOMPARE(r.events, QStringList({"progress", "file", "complete", "invalid"}));
    QVERIFY(r.onSessionThread);
}

void DownloadTest::cancelledTaskEndsOnceAndLeavesNoFile()
{
    ZAVFakeHTTPServer server;
    ZAVFakeHTTPServer::Route route;
    route.stall = true;
    server.setRoute("/stall", route);
    auto delegate = std::make_shared<RecordingDelegate>();
    auto session = ZAVURLSession::sessionWithConfiguration(
        ZAVURLSessionConfiguration::defaultSessionConfiguration(), delegate, nullptr);
    session->downloadTaskWithURL(server.url("/stall"))->resume();
    QTRY_COMPARE(server.hits("/stall"), 1);
    QVERIFY(!entriesOf(ZAVTemporaryDirectory()).isEmpty()); // the file being written

    session->invalidateAndCancel();
    QTRY_VERIFY(delegate->record().events.contains("invalid"));
    QTest::qWait(50); // a late event would arrive meanwhile
    QCOMPARE(delegate->record().events,
             QStringList({QStringLiteral("complete %1").arg(ZAVURLErrorCancelled), "invalid"}));
    QVERIFY(entriesOf(ZAVTemporaryDirectory()).isEmpty());
}

// The application quits with the manager still holding its invalidated session, and stops
// every live session on the way out: the session's thread is gone by then.
void DownloadTest::sessionUsedAfterItsNoticeStaysQuiet()
{
    auto delegate = std::make_shared<RecordingDelegate>();
    auto session = ZAVURLSession::sessionWithConfiguration(
        ZAVURLSessionConfiguration::defaultSessionConfiguration(), delegate, nullptr);
    session->invalidateAndCancel();
    QTRY_VERIFY(delegate->record().events.contains("invalid"));
    session->waitUntilInvalidated(); // its thread has stopped

    session->invalidateAndCancel();
    session->finishTasksAndInvalidate();
    ZAVURLSession::shutdownAll();
    auto task = session->downloadTaskWithURL(QUrl(QStringLiteral("http://127.0.0.1:9/setup.pkg")));
    task->resume();
    task->cancel();
    QTest::qWait(100); // anything delivered still would arrive meanwhile
    QCOMPARE(delegate->record().events, QStringList({"invalid"}));
}

// ---- the manager ----------------------------------------------------------------------------

void DownloadTest::knownLengthPercentagesRiseToExactly100_data()
{
    QTest::addColumn<bool>("leftOver");
    QTest::newRow("nothing there") << false;
    QTest::newRow("package left by an earlier run") << true;
}

void DownloadTest::knownLengthPercentagesRiseToExactly100()
{
    QFETCH(bool, leftOver);
    ZAVFakeHTTPServer server;
    const ZAVFakeHTTPServer::Route route = slowBody(10);
    server.setRoute("/DemoViewer.tar.gz", route);
    const QString url = server.url("/DemoViewer.tar.gz").toString();
    const QString path = ZAVTemporaryDirectory() + QStringLiteral("tmp-DemoViewer.tar.gz");
    if (leftOver)
        QVERIFY(writeFile(path, "old package"));
    ZAVTestLog log;
    auto manager = managerFor(url);
    auto run = startDownload(*manager, log);
    QVERIFY(!somethingAt(path)); // a left-over is gone before the call returns
    waitUntilOver(log);

    QCOMPARE(run->calls, 1);
    QCOMPARE(run->path, path);
    QVERIFY(!run->error);
    QCOMPARE(fileContents(path), route.body);
    QVERIFY2(run->percents.size() >= 2, qPrintable(QString::number(run->percents.size())));
    QVERIFY(run->percents.first() > 0.0);
    for (qsizetype i = 1; i < run->percents.size(); ++i)
        QVERIFY(run->percents[i] > run->percents[i - 1]);
    QVERIFY(run->percents.last() == 100.0);
    QCOMPARE(run->progressAfterResult, 0);
    QVERIFY(run->handlersOnMainThread);

    // The left-over check logs the path once more; one handler call, then the invalidation
    // line and nothing more.
    const QString pathLine = QStringLiteral("path:") + path;
    QStringList expected = {pathLine, QStringLiteral("Start download: ") + url, pathLine, pathLine,
                            kFailedNoError};
    if (leftOver)
        expected.prepend(pathLine);
    QCOMPARE(managerLines(log), expected);
    QVERIFY(log.indexOf(kFailedNoError) >= run->logLinesAtCall);
    QVERIFY(manager->downloadTask());
    QVERIFY(!manager->downloadCompletion());
    QVERIFY(manager->progressBlock());
    QCOMPARE(entriesOf(ZAVTemporaryDirectory()), QStringList({"tmp-DemoViewer.tar.gz"}));
}

void DownloadTest::unknownLengthPercentagesArePassedOnNegative()
{
    ZAVFakeHTTPServer server;
    ZAVFakeHTTPServer::Route route = slowBody(6);
    route.sendLength = false;
    server.setRoute("/setup.pkg", route);
    ZAVTestLog log;
    auto manager = managerFor(server.url("/setup.pkg").toString());
    auto run = startDownload(*manager, log);
    waitUntilOver(log);

    QCOMPARE(run->calls, 1);
    QVERIFY(!run->error);
    QCOMPARE(fileContents(*run->path), route.body);
    QVERIFY(!run->percents.isEmpty());
    for (qsizetype i = 0; i < run->percents.size(); ++i) {
        // -100 x bytes so far: negative, a whole multiple of 100, growing in magnitude.
        const double percent = run->percents[i];
        QVERIFY(percent < 0.0 && std::fmod(percent, 100.0) == 0.0);
        if (i > 0)
            QVERIFY(percent < run->percents[i - 1]);
    }
    QVERIFY(run->percents.last() == double(route.body.size()) / -1.0 * 100.0);
}

void DownloadTest::failuresDeliverOneErrorAndLeaveNothing_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("description");
    QTest::newRow("connection dropped mid-body") << "drop"
                                                 << "The network connection was lost.";
    QTest::newRow("length announced but not sent") << "short"
                                                   << "The network connection was lost.";
    QTest::newRow("closed without an answer") << "close" << QString();
    QTest::newRow("404") << "404"
                         << "The package could not be downloaded (HTTP 404).";
    QTest::newRow("500") << "500"
                         << "The package could not be downloaded (HTTP 500).";
    QTest::newRow("big 403 page") << "403"
                                  << "The package could not be downloaded (HTTP 403).";
    QTest::newRow("redirect loop") << "loop"
                                   << "The server sent too many redirects.";
    QTest::newRow("redirect to another scheme")
        << "scheme"
        << "The server sent an unsupported redirect (to another scheme).";
    // Files of this process may not grow past 256 KiB: writes past that fail as on a full disk.
    QTest::newRow("file cannot be written") << "limit"
                                            << "The package could not be saved (File too large).";
    // Every piece gets further, yet the five retries are the whole download's.
    QTest::newRow("reset every 100 bytes, resumed") << "reset"
                                                    << "The network connection was lost.";
    // 400 bytes a second against a floor of 1 KiB a second, window after window.
    QTest::newRow("trickled under the rate floor") << "trickle"
                                                   << "The network connection was lost.";
}

void DownloadTest::failuresDeliverOneErrorAndLeaveNothing()
{
    QFETCH(QString, kind);
    QFETCH(QString, description);
    ZAVFakeHTTPServer server;
    ZAVFakeHTTPServer::Route route = slowBody(kind == u"limit" ? 16 : 4, kind == u"limit" ? 0 : 20);
    ZAVInstallationOptions options = quick();
    if (kind == u"drop") {
        route.closeAfterBytes = 100 * 1024;
    } else if (kind == u"reset" || kind == u"trickle") {
        route.etag = "v1";
        route.closeAfterBytes = kind == u"reset" ? 100 : -1;
        route.chunkSize = kind == u"reset" ? route.chunkSize : 16;
        route.chunkDelayMs = kind == u"reset" ? route.chunkDelayMs : 40;
        options.retryPolicy.slowWindow = std::chrono::milliseconds(150);
    } else if (kind == u"short") {
        route.announcedLength = route.body.size() + 1;
    } else if (kind == u"close") {
        route.closeWithoutAnswer = true;
    } else if (kind == u"loop" || kind == u"scheme") {
        const QUrl self = server.url("/setup.pkg");
        route =
            ZAVFakeHTTPServer::redirect(kind == u"loop" ? self.toString() : "file:///etc/passwd");
    } else if (kind != u"limit") {
        route.status = kind.toInt();
        if (kind == u"403") {
            route.body.clear();
            route.bodySize = qint64(64) * 1024 * 1024;
            route.generator = [](qint64 offset, qint64 n) { return bytes(offset, n); };
        }
    }
    server.setRoute("/setup.pkg", route);
    ZAVTestLog log;
    auto manager = managerFor(server.url("/setup.pkg").toString(), options);
    const QString path = ZAVTemporaryDirectory() + QStringLiteral("tmp-setup.pkg");
    {
        QFile leftOver(path); // from an earlier run: gone all the same
        QVERIFY(leftOver.open(QIODevice::WriteOnly));
    }
    struct rlimit saved {};
    QVERIFY(::getrlimit(RLIMIT_FSIZE, &saved) == 0);
    auto previous = std::signal(SIGXFSZ, SIG_IGN);
    if (kind == u"limit") {
        struct rlimit limited = saved;
        limited.rlim_cur = 256 * 1024;
        QVERIFY(::setrlimit(RLIMIT_FSIZE, &limited) == 0);
    }
    auto run = startDownload(*manager, log);
    QTRY_COMPARE_WITH_TIMEOUT(run->calls, 1, 20000);
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previous);
    waitUntilOver(log);

    QCOMPARE(run->calls, 1);
    QVERIFY(!run->path);
    QVERIFY(run->error);
    if (!description.isEmpty())
        QCOMPARE(run->error->localizedDescription, description);
    QVERIFY(!somethingAt(path));
    QVERIFY(entriesOf(ZAVTemporaryDirectory()).isEmpty());
    QVERIFY(run->handlersOnMainThread);
    // A lost connection is asked again five times; an answer of the server never is.
    if (kind != u"close" && kind != u"limit" && kind != u"loop")
        QCOMPARE(server.hits("/setup.pkg"),
                 QStringList({"drop", "short", "reset", "trickle"}).contains(kind) ? 6 : 1);
    const QStringList lines = managerLines(log);
    QCOMPARE(lines.mid(lines.size() - 2),
             QStringList({QStringLiteral("pkg failed with error ") + run->error->description(),
                          kFailedNoError}));
}

void DownloadTest::downloadLandsAtTheInstallerPath_data()
{
    QTest::addColumn<QString>("urlPath");
    QTest::addColumn<QString>("name");
    QTest::newRow("query left out") << "/downloads/setup.pkg?v=2"
                                    << "tmp-setup.pkg";
    QTest::newRow("trailing slash ignored") << "/downloads/setup-4.2.pkg/"
                                            << "tmp-setup-4.2.pkg";
    QTest::newRow("fragment left out") << "/a/b.pkg#x"
                                       << "tmp-b.pkg";
    // Pre-signed addresses carry queries of hundreds of characters.
    QTest::newRow("long query") << "/a/b.pkg?X-Signature=" + QString(600, u'f') << "tmp-b.pkg";
    // Named after the address in the feed, not the one redirected to.
    QTest::newRow("redirect followed") << "/latest"
                                       << "tmp-latest";
}

void DownloadTest::downloadLandsAtTheInstallerPath()
{
    QFETCH(QString, urlPath);
    QFETCH(QString, name);
    ZAVFakeHTTPServer server;
    const auto package = ZAVFakeHTTPServer::ok("package", "application/octet-stream");
    for (const char *route : {"/downloads/setup.pkg", "/downloads/setup-4.2.pkg/", "/a/b.pkg"})
        server.setRoute(route, package);
    server.setRoute("/setup-4.3.pkg", package);
    server.setRoute("/latest",
                    ZAVFakeHTTPServer::redirect(server.url("/setup-4.3.pkg").toString()));
    ZAVTestLog log;
    auto manager =
        managerFor(QStringLiteral("http://127.0.0.1:%1%2").arg(server.port()).arg(urlPath));
    QCOMPARE(QFile::decodeName(manager->getInstallerPath()), ZAVTemporaryDirectory() + name);
    auto run = startDownload(*manager, log);
    waitUntilOver(log);
    QCOMPARE(run->calls, 1);
    QVERIFY(!run->error);
    QCOMPARE(run->path, ZAVTemporaryDirectory() + name);
    QCOMPARE(fileContents(*run->path), QByteArray("package"));
}

void DownloadTest::linkAtTheInstallerPathIsReplacedNotFollowed_data()
{
    QTest::addColumn<bool>("duringDownload");
    QTest::newRow("planted before the start") << false;
    QTest::newRow("planted during the download") << true;
}

void DownloadTest::linkAtTheInstallerPathIsReplacedNotFollowed()
{
    QFETCH(bool, duringDownload);
    ZAVFakeHTTPServer server;
    const ZAVFakeHTTPServer::Route route = slowBody(3, 20);
    server.setRoute("/setup.pkg", route);
    QTemporaryDir elsewhere;
    const QString target = elsewhere.path() + QStringLiteral("/precious");
    QVERIFY(writeFile(target, "precious"));
    ZAVTestLog log;
    auto manager = managerFor(server.url("/setup.pkg").toString());
    const QByteArray path = QFile::encodeName(ZAVTemporaryDirectory() + "tmp-setup.pkg");
    const QByteArray link = QFile::encodeName(target);
    if (!duringDownload)
        QVERIFY(::symlink(link.constData(), path.constData()) == 0);
    auto run = startDownload(*manager, log);
    if (duringDownload) // the server answers only once the event loop runs again
        QVERIFY(::symlink(link.constData(), path.constData()) == 0);
    waitUntilOver(log);

    QCOMPARE(run->calls, 1);
    QVERIFY(!run->error);
    struct stat st {};
    QCOMPARE(::lstat(path.constData(), &st), 0);
    QVERIFY(S_ISREG(st.st_mode));
    QCOMPARE(fileContents(QFile::decodeName(path)), route.body);
    QCOMPARE(fileContents(target), QByteArray("precious"));
}

void DownloadTest::packageAddressThatIsNotAURLMakesNoRequest_data()
{
    QTest::addColumn<std::optional<QString>>("pkgUrl");
    QTest::addColumn<QString>("description");
    const QString none = QStringLiteral("The product information gives no package address.");
    const QString partial = QStringLiteral("The package address is not a complete URL (%1).");
    QTest::newRow("missing") << std::optional<QString>() << none;
    QTest::newRow("empty") << std::optional<QString>(QString()) << none;
    // Other schemes would read local files or the installer's own resources.
    for (const char *url :
         {"setup.pkg", "/downloads/setup.pkg", "http:setup.pkg", "file:///etc/passwd",
          "qrc:/zav/main.ui", "data:,package", "ftp://127.0.0.1/setup.pkg"})
        QTest::newRow(url) << std::optional<QString>(QString::fromLatin1(url)) << partial.arg(url);
}

void DownloadTest::packageAddressThatIsNotAURLMakesNoRequest()
{
    using OptionalString = std::optional<QString>;
    QFETCH(OptionalString, pkgUrl);
    QFETCH(QString, description);
    ZAVTestLog log;
    auto manager = managerFor(pkgUrl);
    auto run = startDownload(*manager, log);
    QVERIFY(!manager->downloadTask());
    waitUntilOver(log);
    QCOMPARE(run->calls, 1);
    QVERIFY(!run->path);
    QVERIFY(run->error);
    QCOMPARE(run->error->code, qint64(ZAVURLErrorBadURL));
    QCOMPARE(run->error->localizedDescription, description);
    const QStringList lines = managerLines(log);
    QCOMPARE(lines.mid(lines.size() - 3),
             QStringList({ZAVStringWithFormat(u"Start download: %@", pkgUrl),
                          QStringLiteral("pkg failed with error ") + run->error->description(),
                          kFailedNoError}));
}

void DownloadTest::installerFileNameIsShortAndPlain_data()
{
    QTest::addColumn<QString>("urlPath");
    QTest::addColumn<QString>("name");
    const QString stem(300, u'p');
    QTest::newRow("long name keeps its start and extension") << "/" + stem + ".tar.gz"
                                                             << "tmp-" + stem.left(113) + ".tar.gz";
    QTest::newRow("decoded slash and NUL") << "/a%2Fb%00c.pkg"
                                           << "tmp-a_b_c.pkg";
    QTest::newRow("decoded newline") << "/a%0Ab.pkg"
                                     << "tmp-a_b.pkg";
    QTest::newRow("no segment") << "/"
                                << "tmp-package";
    QTest::newRow("dot dot") << "/a/.."
                             << "tmp-package";
    QTest::newRow("encoded dot dot") << "/a/%2E%2E?x"
                                     << "tmp-package";
}

void DownloadTest::installerFileNameIsShortAndPlain()
{
    QFETCH(QString, urlPath);
    QFETCH(QString, name);
    auto manager = managerFor(QStringLiteral("https://example.invalid") + urlPath);
    QCOMPARE(QFile::decodeName(manager->getInstallerPath()), ZAVTemporaryDirectory() + name);
}

void DownloadTest::secondRunWaitsForTheFirstOnesLock_data()
{
    QTest::addColumn<bool>("released");
    QTest::newRow("released while waiting") << true;
    QTest::newRow("held past the wait") << false;
}

// The other run holds the lock and has its package at the installer file path.
void DownloadTest::secondRunWaitsForTheFirstOnesLock()
{
    QFETCH(bool, released);
    ZAVInstallationOptions options = quick();
    options.lockWait = std::chrono::milliseconds(released ? 10000 : 300);
    ZAVFakeHTTPServer server;
    server.setRoute("/setup.pkg", ZAVFakeHTTPServer::ok("package", "application/octet-stream"));
    const QByteArray directory = ZAVTemporaryDirectory();
    ZAVFileLock other;
    QVERIFY(other.tryLock(directory));
    const QString package = QFile::decodeName(directory + "tmp-setup.pkg");
    QVERIFY(writeFile(package, "other run"));
    ZAVTestLog log;
    auto manager = managerFor(server.url("/setup.pkg").toString(), options);
    QList<bool> waits;
    manager->setWaitingBlock([&waits](bool waiting) { waits.append(waiting); });
    auto run = startDownload(*manager, log);
    QCOMPARE(waits, QList<bool>{true});
    QTest::qWait(200); // a request made while the lock is held would arrive meanwhile
    QCOMPARE(server.requestLines().size(), 0);
    QCOMPARE(fileContents(package), QByteArray("other run"));
    if (released)
        other.unlock();
    waitUntilOver(log);
    QCOMPARE(run->calls, 1);
    if (released) {
        QCOMPARE(waits, QList<bool>({true, false}));
        QVERIFY(!run->error);
        QCOMPARE(fileContents(package), QByteArray("package"));
    } else {
        QVERIFY(run->error);
        QCOMPARE(run->error->localizedDescription,
                 QStringLiteral("Another installation did not finish within a minute."));
        QCOMPARE(server.requestLines().size(), 0);
        QCOMPARE(fileContents(package), QByteArray("other run"));
    }
}

void DownloadTest::stalePartialDownloadsOfEarlierRunsAreRemoved_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("ageHours");
    QTest::addColumn<bool>("removed");
    QTest::newRow("old partial file") << "file"
                                      << "download-AbC123" << 25 << true;
    // Under the lock no other run is going on: whatever its age, a partial file or a package
    // is a dead run's.
    QTest::newRow("recent partial file") << "file"
                                         << "download-AbC123" << 0 << true;
    QTest::newRow("package of another product") << "file"
                                                << "tmp-other.tar.gz" << 0 << true;
    QTest::newRow("old file of another name") << "file"
                                              << "notes.txt" << 25 << false;
    QTest::newRow("old link") << "link"
                              << "download-AbC123" << 25 << false;
    QTest::newRow("old directory") << "dir"
                                   << "download-AbC123" << 25 << false;
    QTest::newRow("old file of another user") << "foreign"
                                              << "download-AbC123" << 25 << false;
}

void DownloadTest::stalePartialDownloadsOfEarlierRunsAreRemoved()
{
    QFETCH(QString, kind);
    QFETCH(QString, name);
    QFETCH(int, ageHours);
    QFETCH(bool, removed);
    if (kind == u"foreign" && geteuid() != 0)
        QSKIP("making a file of another user needs root");
    QTemporaryDir elsewhere;
    const QString target = elsewhere.path() + QStringLiteral("/precious");
    QVERIFY(QFile(target).open(QIODevice::WriteOnly));
    const QByteArray path = ZAVTemporaryDirectory() + name.toUtf8();
    if (kind == u"link")
        QVERIFY(::symlink(QFile::encodeName(target).constData(), path.constData()) == 0);
    else if (kind == u"dir")
        QVERIFY(::mkdir(path.constData(), 0700) == 0);
    else
        QVERIFY(QFile(QFile::decodeName(path)).open(QIODevice::WriteOnly));
    if (kind == u"foreign")
        QVERIFY(::chown(path.constData(), 65534, 65534) == 0);
    const struct timespec then = {::time(nullptr) - ageHours * 3600, 0};
    const struct timespec times[2] = {then, then};
    QVERIFY(::utimensat(AT_FDCWD, path.constData(), times, AT_SYMLINK_NOFOLLOW) == 0);

    ZAVFakeHTTPServer server;
    server.setRoute("/setup.pkg", ZAVFakeHTTPServer::ok("package", "application/octet-stream"));
    ZAVTestLog log;
    auto manager = managerFor(server.url("/setup.pkg").toString());
    startDownload(*manager, log);
    waitUntilOver(log);
    QCOMPARE(somethingAt(QFile::decodeName(path)), !removed);
    QVERIFY(QFile::exists(target));
}

void DownloadTest::pinnedPackageMustMatchItsSizeAndDigest_data()
{
    QTest::addColumn<QString>("served"); // how the body differs from the pinned one
    QTest::addColumn<bool>("pinSize");
    QTest::addColumn<bool>("pinDigest");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("as pinned") << "same" << true << true << true;
    QTest::newRow("as pinned, size alone") << "same" << true << false << true;
    QTest::newRow("one byte altered") << "altered" << true << true << false;
    QTest::newRow("one byte altered, digest alone") << "altered" << false << true << false;
    QTest::newRow("one byte short") << "short" << true << true << false;
    QTest::newRow("one byte short, size alone") << "short" << true << false << false;
    QTest::newRow("one byte long, announced") << "long" << true << true << false;
    QTest::newRow("one byte long, no length") << "long unannounced" << true << false << false;
    QTest::newRow("endless") << "endless" << true << true << false;
}

void DownloadTest::pinnedPackageMustMatchItsSizeAndDigest()
{
    QFETCH(QString, served);
    QFETCH(bool, pinSize);
    QFETCH(bool, pinDigest);
    QFETCH(bool, accepted);
    const QByteArray pinned = bytes(0, 300 * 1024 + 5);
    ZAVFakeHTTPServer::Route route = ZAVFakeHTTPServer::ok(pinned, "application/octet-stream");
    if (served == u"altered")
        route.body[1000] = char(route.body[1000] ^ 1);
    else if (served == u"short")
        route.body.chop(1);
    else if (served.startsWith(u"long"))
        route.body += 'x';
    route.sendLength = !served.contains(u"unannounced") && served != u"endless";
    if (served == u"endless") {
        route.bodySize = qint64(1) << 40;
        route.generator = [](qint64 offset, qint64 n) { return bytes(offset, n); };
    }
    ZAVFakeHTTPServer server;
    server.setRoute("/setup.pkg", route);

    auto feed = std::make_shared<ZAVFeedData>();
    feed->setPkgUrl(server.url("/setup.pkg").toString());
    if (pinSize)
        feed->setPkgSize(pinned.size());
    if (pinDigest)
        feed->setPkgSha256(QString::fromLatin1(
            QCryptographicHash::hash(pinned, QCryptographicHash::Sha256).toHex()));
    ZAVTestLog log;
    auto manager = ZAVInstallationManager::initWithFeedData(feed, quick());
    auto run = startDownload(*manager, log);
    waitUntilOver(log);

    QCOMPARE(run->calls, 1);
    if (accepted) {
        QVERIFY(!run->error);
        QCOMPARE(fileContents(*run->path), pinned);
        return;
    }
    QVERIFY(!run->path);
    QVERIFY(run->error);
    QCOMPARE(run->error->localizedDescription,
             "The downloaded package is damaged or was altered. Nothing was installed.");
    QVERIFY(entriesOf(ZAVTemporaryDirectory()).isEmpty());
}

void DownloadTest::lostConnectionResumesOrStartsAgain_data()
{
    QTest::addColumn<QByteArray>("etag");
    QTest::addColumn<bool>("changeETag");
    QTest::addColumn<bool>("ignoreRange");
    QTest::addColumn<QList<QByteArray>>("ranges"); // asked for, in order
    QTest::addColumn<qint64>("bodyBytes");         // sent by the server, in all
    // The retry notices: counted over the whole download, however far each piece got.
    QTest::addColumn<QList<int>>("attempts");
    const qint64 size = 300 * 1024 + 5, cut = 60 * 1024;
    QTest::newRow("resumed where it broke, four times")
        << QByteArray("v1") << false << false
        << QList<QByteArray>{"", "bytes=61440-", "bytes=122880-", "bytes=184320-", "bytes=245760-"}
        << size << QList<int>{1, 2, 3, 4};
    QTest::newRow("server ignores Range") << QByteArray("v1") << false << true
                                          << QList<QByteArray>{"", "bytes=61440-", "bytes=61440-"}
                                          << size + 2 * cut << QList<int>{1, 2};
    QTest::newRow("file changed (ETag)")
        << QByteArray("v") << true << false << QList<QByteArray>{"", "bytes=61440-", "bytes=61440-"}
        << size + 2 * cut << QList<int>{1, 2};
    QTest::newRow("no validator") << QByteArray() << false << false << QList<QByteArray>{"", "", ""}
                                  << size + 2 * cut << QList<int>{1, 2};
}

void DownloadTest::lostConnectionResumesOrStartsAgain()
{
    QFETCH(QByteArray, etag);
    QFETCH(bool, changeETag);
    QFETCH(bool, ignoreRange);
    QFETCH(QList<QByteArray>, ranges);
    QFETCH(qint64, bodyBytes);
    QFETCH(QList<int>, attempts);
    const QByteArray package = bytes(0, 300 * 1024 + 5);
    ZAVFakeHTTPServer::Route route = ZAVFakeHTTPServer::ok(package, "application/octet-stream");
    route.closeAfterBytes = 60 * 1024;
    route.closeTimes = int(attempts.size());
    route.etag = etag;
    route.changeETag = changeETag;
    route.ignoreRange = ignoreRange;
    ZAVFakeHTTPServer server;
    server.setRoute("/setup.pkg", route);
    auto feed = std::make_shared<ZAVFeedData>();
    feed->setPkgUrl(server.url("/setup.pkg").toString());
    // Both pinned: a byte counted twice or a digest not started over fails the download.
    feed->setPkgSize(package.size());
    feed->setPkgSha256(
        QString::fromLatin1(QCryptographicHash::hash(package, QCryptographicHash::Sha256).toHex()));
    ZAVTestLog log;
    auto manager = ZAVInstallationManager::initWithFeedData(feed, quick());
    QList<ZAVTransferState> states;
    manager->setTransferBlock([&states](const ZAVTransferState &state) { states.append(state); });
    auto run = startDownload(*manager, log);
    waitUntilOver(log);

    QVERIFY2(!run->error, qPrintable(run->error ? run->error->description() : QString()));
    QCOMPARE(fileContents(*run->path), package);
    QCOMPARE(server.ranges(), ranges);
    QCOMPARE(server.bodyBytesSent(), bodyBytes);
    QList<int> notices;
    for (const ZAVTransferState &state : states)
        if (state.retryAttempt > 0 && state.retryAttempts == 5)
            notices.append(state.retryAttempt);
    QCOMPARE(notices, attempts);
    QCOMPARE(states.last().bytesWritten, package.size());
    QCOMPARE(run->percents.last(), 100.0);
}

void DownloadTest::mirrorsServeThePinnedBytes_data()
{
    QTest::addColumn<QString>("primary");          // how pkgUrl's host fails
    QTest::addColumn<QList<QByteArray>>("ranges"); // asked of the mirror ("half": from at most)
    QTest::addColumn<int>("primaryAnswers");       // requests that reached pkgUrl's host
    QTest::newRow("down") << "down" << QList<QByteArray>{""} << 0;
    QTest::newRow("HTTP 500") << "500" << QList<QByteArray>{""} << 1;
    QTest::newRow("HTTP 404 moves on too") << "404" << QList<QByteArray>{""} << 1;
    QTest::newRow("429, asked again after Retry-After") << "429" << QList<QByteArray>{""} << 2;
    QTest::newRow("stalls") << "stall" << QList<QByteArray>{""} << 1;
    QTest::newRow("other bytes of the same size") << "wrong" << QList<QByteArray>{""} << 1;
    QTest::newRow("dies half-way: the rest from the mirror")
        << "half" << QList<QByteArray>{"bytes=2097152-"} << 1;
}

void DownloadTest::deltaFromTheInstalledPackageElseThePackage_data()
{
    QTest::addColumn<QString>("installed"); // the receipt's packageSha256: "from" or "other"
    QTest::addColumn<QString>("delta");     // what the delta's URL answers: "ok", "wrong", "404"
    QTest::addColumn<bool>("deltaUsed");
    QTest::newRow("the delta from the installed package") << "from"
                                                          << "ok" << true;
    QTest::newRow("a delta that is not the pinned one") << "from"
                                                        << "wrong" << false;
    QTest::newRow("a delta missing on the server") << "from"
                                                   << "404" << false;
    QTest::newRow("another package installed") << "other"
                                               << "ok" << false;
}

void DownloadTest::deltaFromTheInstalledPackageElseThePackage()
{
    QFETCH(QString, installed);
    QFETCH(QString, delta);
    QFETCH(bool, deltaUsed);
    const QByteArray package = bytes(0, 256 * 1024);
    const QByteArray deltaBytes = bytes(7, 4096);
    const auto hex = [](const QByteArray &data) {
        return QString::fromLatin1(
            QCryptographicHash::hash(data, QCryptographicHash::Sha256).toHex());
    };
    ZAVFakeHTTPServer server;
    server.setRoute("/setup.pkg", ZAVFakeHTTPServer::ok(package, "application/octet-stream"));
    server.setRoute("/setup.delta",
                    delta == u"404"
                        ? ZAVFakeHTTPServer::status(404)
                        : ZAVFakeHTTPServer::ok(delta == u"ok" ? deltaBytes : bytes(8, 4096),
                                                "application/octet-stream"));
    const QString from(64, u'a');
    QTemporaryDir home;
    const QString id = QStringLiteral("org.example.DeltaTest");
    QVERIFY(writeFile(home.path() + QStringLiteral("/.local/share/zav/receipts/") + id + ".json",
                      R"({"id": ")" + id.toUtf8() + R"(", "files": [], "packageSha256": ")" +
                          (installed == u"from" ? from : QString(64, u'b')).toUtf8() + R"("})"));
    m_environment.set("HOME", QFile::encodeName(home.path()));
    auto feed = std::make_shared<ZAVFeedData>();
    feed->setBundleId(id);
    feed->setPkgUrl(server.url("/setup.pkg").toString());
    feed->setPkgSize(package.size());
    feed->setPkgSha256(hex(package));
    feed->setPkgTreeSha256(QString(64, u'c'));
    feed->setPkgDeltas({{from, server.url("/setup.delta"), hex(deltaBytes), deltaBytes.size()}});
    ZAVTestLog log;
    auto manager = ZAVInstallationManager::initWithFeedData(feed, quick());
    auto run = startDownload(*manager, log);
    waitUntilOver(log);

    QVERIFY2(!run->error, qPrintable(run->error ? run->error->description() : QString()));
    QCOMPARE(run->calls, 1);
    QCOMPARE(fileContents(*run->path), deltaUsed ? deltaBytes : package);
    QCOMPARE(manager->usesDelta(), deltaUsed);
    QCOMPARE(server.hits("/setup.delta"), installed == u"from" ? 1 : 0);
    QCOMPARE(server.hits("/setup.pkg"), deltaUsed ? 0 : 1);
    const QStringList lines = log.lines();
    QCOMPARE(std::any_of(lines.begin(), lines.end(),
                         [](const QString &line) {
                             return line.contains(
                                 QStringLiteral("; downloading the full package instead"));
                         }),
             !deltaUsed && installed == u"from");
}

void DownloadTest::mirrorsServeThePinnedBytes()
{
    QFETCH(QString, primary);
    QFETCH(QList<QByteArray>, ranges);
    QFETCH(int, primaryAnswers);
    const QByteArray package = bytes(0, 4 * 1024 * 1024);
    ZAVFakeHTTPServer::Route route = ZAVFakeHTTPServer::ok(package, "application/octet-stream");
    route.etag = "mirror"; // another server's validator than the first one's
    ZAVFakeHTTPServer mirror;
    mirror.setRoute("/setup.pkg", route);
    ZAVFakeHTTPServer server;
    route.etag = "first";
    if (primary == u"half")
        route.closeAfterBytes = package.size() / 2;
    else if (primary == u"wrong")
        route.body = bytes(1, package.size());
    else if (primary == u"stall")
        route.stall = true;
    else if (primary != u"down")
        route = ZAVFakeHTTPServer::status(primary.toInt());
    if (primary == u"429")
        route.headers.append(qMakePair(QByteArray("Retry-After"), QByteArray("1")));
    server.setRoute("/setup.pkg", route);
    QUrl first = server.url("/setup.pkg");
    if (primary == u"down") {
        ZAVFakeHTTPServer gone;
        first = gone.url("/setup.pkg");
    }
    auto feed = std::make_shared<ZAVFeedData>();
    feed->setPkgUrl(first.toString());
    feed->setPkgMirrors({mirror.url("/setup.pkg")});
    feed->setPkgSize(package.size());
    feed->setPkgSha256(
        QString::fromLatin1(QCryptographicHash::hash(package, QCryptographicHash::Sha256).toHex()));
    ZAVTestLog log;
    ZAVInstallationOptions options = quick();
    options.retryPolicy.slowWindow = std::chrono::milliseconds(500); // the stall's time-out
    auto manager = ZAVInstallationManager::initWithFeedData(feed, options);
    auto run = startDownload(*manager, log);
    waitUntilOver(log);

    QVERIFY2(!run->error, qPrintable(run->error ? run->error->description() : QString()));
    QCOMPARE(fileContents(*run->path), package);
    if (primary == u"half") {
        // What was on its way when the connection died is lost: the mirror is asked from what
        // arrived, which is at most the half the first host sent.
        QCOMPARE(mirror.ranges().size(), 1);
        const QByteArray asked = mirror.ranges().front();
        const auto start = [](const QByteArray &range) {
            return range.mid(6).chopped(1).toLongLong();
        };
        QVERIFY2(asked.startsWith("bytes=") && start(asked) > 0 &&
                     start(asked) <= start(ranges.front()),
                 asked.constData());
    } else {
        QCOMPARE(mirror.ranges(), ranges);
    }
    QCOMPARE(server.hits("/setup.pkg"), primaryAnswers);
    QVERIFY(server.bodyBytesSent() + mirror.bodyBytesSent() <=
            (primary == u"wrong" ? 2 : 1.1) * double(package.size()));
    const QString served =
        QStringLiteral("Download: %1 served bytes").arg(mirror.url("/setup.pkg").toString());
    const QStringList lines = log.lines();
    QVERIFY(std::any_of(lines.begin(), lines.end(),
                        [&](const QString &line) { return line.contains(served); }));
}

void DownloadTest::notEnoughFreeSpaceFailsBeforeTheFirstByte_data()
{
    QTest::addColumn<QString>("small"); // the file system too small: "none", "tmp" or "home"
    QTest::addColumn<bool>("pinned");   // the size from the feed, else from Content-Length
    QTest::addColumn<qint64>("size");
    QTest::addColumn<QString>("message"); // %1: where
    const QString message =
        QStringLiteral("There is not enough free space: %2 is needed and 300 MB is free in %1.");
    QTest::newRow("feed's size, temporary directory")
        << "tmp" << true << qint64(1'200'000'000) << message.arg("%1", "1.2 GB");
    QTest::newRow("announced length, temporary directory")
        << "tmp" << false << qint64(400'000'000) << message.arg("%1", "400 MB");
    QTest::newRow("feed's size, home")
        << "home" << true << qint64(1'200'000'000) << message.arg("%1", "1.2 GB");
    QTest::newRow("larger than any disk") << "none" << true << (qint64(1) << 62) << QString();
}

void DownloadTest::notEnoughFreeSpaceFailsBeforeTheFirstByte()
{
    QFETCH(QString, small);
    QFETCH(bool, pinned);
    QFETCH(qint64, size);
    QFETCH(QString, message);
    // A 300 MB tmpfs where the row wants the space to be short (root only).
    QTemporaryDir mountPoint;
    if (small != u"none") {
        if (::geteuid() != 0 || QProcess::execute("mount", {"-t", "tmpfs", "-o", "size=300000000",
                                                            "tmpfs", mountPoint.path()}) != 0)
            QSKIP("needs root to mount a small tmpfs");
        m_environment.set(small == u"tmp" ? "TMPDIR" : "HOME",
                          QFile::encodeName(mountPoint.path()));
    }
    auto unmount = qScopeGuard([&] {
        if (small != u"none")
            QProcess::execute("umount", {mountPoint.path()});
    });
    ZAVFakeHTTPServer::Route route;
    route.bodySize = size;
    route.generator = [](qint64 offset, qint64 n) { return bytes(offset, n); };
    ZAVFakeHTTPServer server;
    server.setRoute("/setup.pkg", route);
    auto feed = std::make_shared<ZAVFeedData>();
    feed->setPkgUrl(server.url("/setup.pkg").toString());
    if (pinned)
        feed->setPkgSize(size);
    ZAVTestLog log;
    auto manager = ZAVInstallationManager::initWithFeedData(feed, quick());
    auto run = startDownload(*manager, log);
    waitUntilOver(log);

    QVERIFY(run->error);
    QCOMPARE(run->error->code, qint64(ZAVURLErrorNotEnoughSpace));
    if (!message.isEmpty())
        QCOMPARE(run->error->localizedDescription, message.arg(mountPoint.path()));
    QCOMPARE(server.hits("/setup.pkg"), pinned ? 0 : 1);
    QVERIFY(run->percents.isEmpty()); // not one byte
    QVERIFY(entriesOf(ZAVTemporaryDirectory()).isEmpty());
}

void DownloadTest::redirectFromHttpsToHttpIsRefused()
{
    const QSslConfiguration tls = ZAVFakeHTTPServer::throwAwayTLS(m_tmp->path());
    QVERIFY(!tls.isNull());
    ZAVFakeHTTPServer secure(tls);
    ZAVFakeHTTPServer plain;
    plain.setRoute("/setup.pkg", ZAVFakeHTTPServer::ok("package", "application/octet-stream"));
    secure.setRoute("/setup.pkg", ZAVFakeHTTPServer::redirect(plain.url("/setup.pkg").toString()));
    ZAVTestLog log;
    auto manager = managerFor(secure.url("/setup.pkg").toString());
    auto run = startDownload(*manager, log);
    waitUntilOver(log);

    QCOMPARE(run->calls, 1);
    QVERIFY(!run->path);
    QCOMPARE(run->error->localizedDescription,
             "The server sent an unsupported redirect (from https to http).");
    QCOMPARE(secure.hits("/setup.pkg"), 1);
    QCOMPARE(plain.requestLines(), QList<QByteArray>());
    QVERIFY(entriesOf(ZAVTemporaryDirectory()).isEmpty());
}

QTEST_GUILESS_MAIN(DownloadTest)
#include "tst_download.moc"

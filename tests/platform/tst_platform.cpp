// The platform layer's own guarantees: formatting, the log line, queues and session lifetime.

#include "platform/ZAVDispatch.h"
#include "platform/ZAVDisplay.h"
#include "platform/ZAVFormat.h"
#include "platform/ZAVLog.h"
#include "platform/ZAVTask.h"
#include "platform/ZAVURLSession.h"
#include "tests/support/ZAVFakeHTTPServer.h"
#include "tests/support/ZAVScopedEnvironment.h"
#include "tests/support/ZAVTestLog.h"

#include <QLocalServer>
#include <QProcess>
#include <QThread>
#include <QtTest>

#include <atomic>
#include <cmath>
#include <limits>

#include <csignal>

class PlatformTest : public QObject {
    Q_OBJECT
private slots:
    void formatterWritesObjectsAndNumbers_data();
    void formatterWritesObjectsAndNumbers();
    void logLineCarriesDateProgramPidAndThread();
    void logLineEscapesWhatCouldForgeOrHideText_data();
    void logLineEscapesWhatCouldForgeOrHideText();
    void mainQueueRunsInPostingOrderNeverOnTheCallersStack();
    void backgroundQueueNeverRunsOnTheMainThread();
    void sessionCallsBackOnItsOwnThreadAndNotifiesInvalidationOnce();
    void cancelledTaskEndsWithACancellationError();
    void serverErrorStatusIsAnAnswerNotATransportFailure();
    void childProcessReportsExitSignalAndLaunchFailure();
    void displayPlatformsAreTheOnesThatAnswer_data();
    void displayPlatformsAreTheOnesThatAnswer();
};

void PlatformTest::formatterWritesObjectsAndNumbers_data()
{
    QTest::addColumn<QString>("result");
    QTest::addColumn<QString>("expected");
    const std::optional<QString> none;
    QTest::newRow("string") << ZAVStringWithFormat(u"Downloading %@", QStringLiteral("P"))
                            << "Downloading P";
    QTest::newRow("absent") << ZAVStringWithFormat(u"%@ - %@", QStringLiteral("P"), none)
                            << "P - (null)";
    QTest::newRow("missing argument") << ZAVStringWithFormat(u"a %@ b") << "a (null) b";
    QTest::newRow("no error") << ZAVStringWithFormat(u"Failed with error: %@", ZAVOptionalError{})
                              << "Failed with error: (null)";
    QTest::newRow("error")
        << ZAVStringWithFormat(u"%@",
                               ZAVError{"some_domain", 100, "Installation could not be completed."})
        << "Error Domain=some_domain Code=100 \"Installation could not be completed.\"";
    QTest::newRow("two decimals") << ZAVStringWithFormat(u"Progress is %.2f", 12.345678)
                                  << "Progress is 12.35";
    QTest::newRow("negative") << ZAVStringWithFormat(u"Progress is %.2f", -100.0 * 12345)
                              << "Progress is -1234500.00";
    QTest::newRow("infinity") << ZAVStringWithFormat(u"%.2f",
                                                     std::numeric_limits<double>::infinity())
                              << "inf";
    QTest::newRow("nan") << ZAVStringWithFormat(u"%.2f", std::nan("")) << "nan";
    QTest::newRow("percent") << ZAVStringWithFormat(u"100%% of %@", QStringLiteral("x"))
                             << "100% of x";
    QTest::newRow("format chars in argument")
        << ZAVStringWithFormat(u"%@", QStringLiteral("%@ %.2f")) << "%@ %.2f";
    QTest::newRow("lone percent") << ZAVStringWithFormat(u"50% done %") << "50% done %";
    // Sizes as GNOME writes them, powers of 1000; time left rounded up.
    QTest::newRow("one byte") << ZAVFormatByteCount(1) << "1 byte";
    QTest::newRow("bytes") << ZAVFormatByteCount(999) << "999 bytes";
    QTest::newRow("kB") << ZAVFormatByteCount(12'400) << "12.4 kB";
    QTest::newRow("MB, one decimal") << ZAVFormatByteCount(85'000'000) << "85.0 MB";
    QTest::newRow("MB from 100 on, none") << ZAVFormatByteCount(299'999'232) << "300 MB";
    QTest::newRow("rounds up into the next unit") << ZAVFormatByteCount(999'600'000) << "1.0 GB";
    QTest::newRow("GB") << ZAVFormatByteCount(1'200'000'000) << "1.2 GB";
    QTest::newRow("seconds left") << ZAVFormatTimeLeft(4.2) << "5 s";
    QTest::newRow("minutes left") << ZAVFormatTimeLeft(125) << "3 min";
}

void PlatformTest::formatterWritesObjectsAndNumbers()
{
    QFETCH(QString, result);
    QFETCH(QString, expected);
    QCOMPARE(result, expected);
}

void PlatformTest::logLineCarriesDateProgramPidAndThread()
{
    // A child process writes one line; its standard error must carry the whole prefix.
    if (qEnvironmentVariableIsSet("ZAV_LOG_CHILD")) {
        // Feed text with a forged line of its own.
        ZAVLog(QStringLiteral("product: Demo Viewer - 4.2\nInstall complete"));
        return;
    }
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("ZAV_LOG_CHILD", "1");
    child.setProcessEnvironment(env);
    child.start(QCoreApplication::applicationFilePath(), {"logLineCarriesDateProgramPidAndThread"});
    QVERIFY(child.waitForStarted(20000));
    const qint64 pid = child.processId();
    QVERIFY(child.waitForFinished(20000));
    const QString err = QString::fromLocal8Bit(child.readAllStandardError());
    const QRegularExpression line(
        R"(^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} tst_platform\[(\d+):(\d+)\] product: Demo Viewer - 4\.2\\nInstall complete$)",
        QRegularExpression::MultilineOption);
    const auto match = line.match(err);
    QVERIFY2(match.hasMatch(), qPrintable(err));
    QCOMPARE(match.captured(1).toLongLong(), pid);
    QVERIFY(!err.contains(QStringLiteral("\nInstall complete")));
}

void PlatformTest::logLineEscapesWhatCouldForgeOrHideText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("line");
    QTest::newRow("newline, return, tab") << "a\nb\rc\td"
                                          << "a\\nb\\rc\\td";
    QTest::newRow("terminal escape") << "\x1b[2Jx"
                                     << "\\x1b[2Jx";
    QTest::newRow("NUL and DEL") << QStringLiteral("a") + QChar(0) + u'\x7f' << "a\\x00\\x7f";
    QTest::newRow("C1 control") << QString(QChar(0x9b)) + "31m"
                                << "\\u009b31m";
    QTest::newRow("bidi override and isolate")
        << QString(QChar(0x202e)) + "gpj.exe" + QChar(0x2066) << "\\u202egpj.exe\\u2066";
    // A backslash of the text is doubled, so "\\n" in a line can only be an escaped newline.
    QTest::newRow("backslash") << "C:\\n"
                               << "C:\\\\n";
    QTest::newRow("plain text and other scripts") << "Zav – Ünïcode 日本"
                                                  << "Zav – Ünïcode 日本";
}

void PlatformTest::logLineEscapesWhatCouldForgeOrHideText()
{
    QFETCH(QString, text);
    QFETCH(QString, line);
    ZAVTestLog log;
    ZAVLog(text);
    QCOMPARE(log.lines(), QStringList{line});
}

void PlatformTest::mainQueueRunsInPostingOrderNeverOnTheCallersStack()
{
    QList<int> order;
    bool returned = false;
    bool ranOnStack = false;
    std::atomic<bool> allOnMain{true};
    QThread worker;
    QObject context;
    context.moveToThread(&worker);
    worker.start();
    QMetaObject::invokeMethod(
        &context,
        [&] {
            for (int i = 0; i < 100; ++i)
                ZAVDispatchMainAsync([&, i] {
                    allOnMain = allOnMain && ZAVIsMainThread();
                    order.append(i);
                });
        },
        Qt::BlockingQueuedConnection);
    ZAVDispatchMainAsync([&] {
        ranOnStack = !returned;
        order.append(100);
    });
    returned = true;
    QTRY_COMPARE(order.size(), 101);
    for (int i = 0; i <= 100; ++i)
        QCOMPARE(order[i], i);
    QVERIFY(allOnMain);
    QVERIFY(!ranOnStack);
    worker.quit();
    worker.wait();
}

void PlatformTest::backgroundQueueNeverRunsOnTheMainThread()
{
    std::atomic<int> ran{0};
    std::atomic<bool> onMain{false};
    for (int i = 0; i < 8; ++i)
        ZAVDispatchBackgroundAsync([&] {
            onMain = onMain || ZAVIsMainThread();
            ++ran;
        });
    ZAVDispatchWaitForBackground();
    QCOMPARE(ran.load(), 8);
    QVERIFY(!onMain);
}

namespace {

struct RecordingDelegate : ZAVURLSessionDelegate {
    std::atomic<int> invalidations{0};
    std::atomic<bool> onSessionThread{true};
    ZAVURLSession *session = nullptr;
    using ZAVURLSessionDelegate::URLSession;
    void URLSession(ZAVURLSession &s, const ZAVOptionalError &error) override
    {
        onSessionThread = onSessionThread && s.isOnSessionThread() && !error;
        ++invalidations;
    }
};

} // namespace

void PlatformTest::sessionCallsBackOnItsOwnThreadAndNotifiesInvalidationOnce()
{
    ZAVFakeHTTPServer server;
    server.setRoute("/a", ZAVFakeHTTPServer::ok("hello"));
    auto delegate = std::make_shared<RecordingDelegate>();
    std::weak_ptr<RecordingDelegate> weakDelegate = delegate;
    auto session = ZAVURLSession::sessionWithConfiguration(
        ZAVURLSessionConfiguration::defaultSessionConfiguration(), delegate, nullptr);
    std::atomic<bool> onSessionThread{false};
    std::atomic<int> completions{0};
    QByteArray body;
    auto task = session->dataTaskWithURL(
        server.url("/a"), [&](const auto &b, const auto &r, const auto &e) {
            onSessionThread = session->isOnSessionThread() && !ZAVIsMainThread();
            body = b.value_or("none");
            QVERIFY(r && r->statusCode == 200 && !e);
            ++completions;
        });
    task->resume();
    QTRY_COMPARE(completions.load(), 1);
    QVERIFY(onSessionThread);
    QCOMPARE(body, QByteArray("hello"));

    session->invalidateAndCancel();
    QTRY_COMPARE(delegate->invalidations.load(), 1);
    QVERIFY(delegate->onSessionThread);
    // After the notice the session lets go of its delegate.
    delegate.reset();
    QTRY_VERIFY(weakDelegate.expired());
    session->invalidateAndCancel();
    QTest::qWait(50); // a notice to the delegate that is gone would come meanwhile
}

void PlatformTest::cancelledTaskEndsWithACancellationError()
{
    ZAVFakeHTTPServer server;
    auto stall = ZAVFakeHTTPServer::ok("x");
    stall.stall = true;
    server.setRoute("/stall", stall);
    auto session = ZAVURLSession::sessionWithConfiguration(
        ZAVURLSessionConfiguration::defaultSessionConfiguration());
    std::atomic<int> calls{0};
    ZAVOptionalError error;
    auto task = session->dataTaskWithURL(server.url("/stall"),
                                         [&](const auto &b, const auto &, const auto &e) {
                                             QVERIFY(!b);
                                             error = e;
                                             ++calls;
                                         });
    task->resume();
    QTRY_COMPARE(server.hits("/stall"), 1);
    session->invalidateAndCancel();
    QTRY_COMPARE(calls.load(), 1);
    QVERIFY(error);
    QCOMPARE(error->code, qint64(ZAVURLErrorCancelled));
}

void PlatformTest::serverErrorStatusIsAnAnswerNotATransportFailure()
{
    ZAVFakeHTTPServer server;
    server.setRoute("/gone", ZAVFakeHTTPServer::status(410, "gone"));
    auto session = ZAVURLSession::sessionWithConfiguration(
        ZAVURLSessionConfiguration::defaultSessionConfiguration());
    std::atomic<int> calls{0};
    std::optional<ZAVHTTPURLResponse> response;
    std::optional<QByteArray> body;
    auto task = session->dataTaskWithURL(server.url("/gone"),
                                         [&](const auto &b, const auto &r, const auto &e) {
                                             QVERIFY(!e);
                                             body = b;
                                             response = r;
                                             ++calls;
                                         });
    task->resume();
    session->finishTasksAndInvalidate();
    QTRY_COMPARE(calls.load(), 1);
    QVERIFY(response && body);
    QCOMPARE(response->statusCode, 410);
    QCOMPARE(*body, QByteArray("gone"));
}

void PlatformTest::childProcessReportsExitSignalAndLaunchFailure()
{
    ZAVTask exits;
    exits.setLaunchPath("/usr/bin/env");
    exits.setArguments({"sh", "-c", "exit 3", "ignored argument with blanks"});
    QVERIFY(exits.launch());
    exits.waitUntilExit();
    QCOMPARE(exits.terminationReason(), ZAVTask::TerminationReason::Exit);
    QCOMPARE(exits.terminationStatus(), 3);

    ZAVTask killed;
    killed.setLaunchPath("/bin/sh");
    killed.setArguments({"-c", "kill -KILL $$"});
    QVERIFY(killed.launch());
    killed.waitUntilExit();
    QCOMPARE(killed.terminationReason(), ZAVTask::TerminationReason::UncaughtSignal);
    QCOMPARE(killed.terminationStatus(), SIGKILL);

    ZAVTask missing;
    missing.setLaunchPath("/nonexistent/program");
    QVERIFY(!missing.launch());
    QVERIFY(!missing.launchError().isEmpty());
    missing.waitUntilExit(); // never started: returns at once
    QCOMPARE(missing.terminationReason(), ZAVTask::TerminationReason::NotExited);

    // env cannot find the program: a child that ran and failed, never success.
    ZAVTask notFound;
    notFound.setLaunchPath("/usr/bin/env");
    notFound.setArguments({"/nonexistent/zav-pkg", "-pkg", "x"});
    QVERIFY(notFound.launch());
    notFound.waitUntilExit();
    QCOMPARE(notFound.terminationStatus(), 127);

    // Arguments are bytes: one that is not UTF-8 arrives unchanged.
    ZAVTask bytes;
    bytes.setLaunchPath("/bin/sh");
    bytes.setArguments({"-c", "[ \"$0\" = \"$(printf 'a\\377b')\" ]",
                        "a\xff"
                        "b"});
    QVERIFY(bytes.launch());
    bytes.waitUntilExit();
    QCOMPARE(bytes.terminationStatus(), 0);
    // Standard error passed on, its last line kept: blank lines and a missing newline aside.
    ZAVTask says;
    says.setLaunchPath("/bin/sh");
    says.setArguments({"-c", "echo one >&2; echo two >&2; echo >&2; printf 'last' >&2; exit 6"});
    says.setKeepsLastErrorLine(true);
    QVERIFY(says.launch());
    says.waitUntilExit();
    QCOMPARE(says.terminationStatus(), 6);
    QCOMPARE(says.lastErrorLine(), QByteArray("last"));
}

void PlatformTest::displayPlatformsAreTheOnesThatAnswer_data()
{
    // QT_QPA_PLATFORM ("-" unset), WAYLAND_DISPLAY ("-" unset; "live" a listening socket in
    // XDG_RUNTIME_DIR, "/live" the same by its path), DISPLAY ("-" unset), what is kept.
    QTest::addColumn<QByteArray>("platform");
    QTest::addColumn<QByteArray>("wayland");
    QTest::addColumn<QByteArray>("display");
    QTest::addColumn<QByteArray>("kept");
    const auto row = [](const char *name, const char *platform, const char *wayland,
                        const char *display, const char *kept) {
        QTest::newRow(name) << QByteArray(platform) << QByteArray(wayland) << QByteArray(display)
                            << QByteArray(kept);
    };
    row("unset, Wayland", "-", "live", "-", "wayland");
    row("empty, Wayland by path", "", "/live", "-", "wayland");
    row("nothing answers", "-", "gone", ":bogus", "");
    row("no variables", "-", "-", "-", "");
    row("named order, options kept", "xcb;wayland:opt", "live", ":bogus", "wayland:opt");
    row("offscreen needs no display", "offscreen", "-", "-", "offscreen");
    row("named X11 without a server", "xcb", "live", "-", "");
}

void PlatformTest::displayPlatformsAreTheOnesThatAnswer()
{
    QFETCH(QByteArray, platform);
    QFETCH(QByteArray, wayland);
    QFETCH(QByteArray, display);
    QFETCH(QByteArray, kept);
    QTemporaryDir runtime;
    QLocalServer compositor;
    QVERIFY(compositor.listen(runtime.filePath(QStringLiteral("live"))));
    ZAVScopedEnvironment environment("XDG_RUNTIME_DIR", QFile::encodeName(runtime.path()));
    environment.unset("WAYLAND_SOCKET");
    const auto apply = [&](const char *name, const QByteArray &value) {
        if (value == "-")
            environment.unset(name);
        else
            environment.set(name, value);
    };
    apply("QT_QPA_PLATFORM", platform);
    apply("WAYLAND_DISPLAY",
          wayland.startsWith('/') ? QFile::encodeName(runtime.path()) + wayland : wayland);
    apply("DISPLAY", display);
    QCOMPARE(ZAVUsableDisplayPlatforms(), kept);
}

QTEST_GUILESS_MAIN(PlatformTest)
#include "tst_platform.moc"

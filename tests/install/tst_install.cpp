// The installation half of the manager. zav-pkg is replaced by a shell script that records the
// command line it is given and then ends as each case asks; the running copy of the product is
// the fixture program, installed into a temporary home. Every copy is ended in cleanup().

#include "install/ZAVInstallationManager.h"
#include "install/ZAVPackageInstallerSentence.h"
#include "pkg/ZAVPkgSentence.h"
#include "platform/ZAVAlert.h"
#include "platform/ZAVApplication.h"
#include "platform/ZAVDispatch.h"
#include "platform/ZAVTranslations.h"
#include "tests/support/ZAVFakeHTTPServer.h"
#include "tests/support/ZAVScopedEnvironment.h"
#include "tests/support/ZAVTestFiles.h"
#include "tests/support/ZAVTestLog.h"
#include "tests/support/ZAVTestSandbox.h"

#include <QApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

class InstallTest : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void exitStatusDecidesResultAndPackage_data();
    void exitStatusDecidesResultAndPackage();
    void cannotRunHereShowsZavPkgsSentence_data();
    void cannotRunHereShowsZavPkgsSentence();
    void resultArrivesOnceAfterTheInstallerHasExited();
    void runningCopyIsOfferedToQuitBeforeTheInstaller_data();
    void runningCopyIsOfferedToQuitBeforeTheInstaller();
    void packageInstallerSentenceReadsInTheUsersLanguage_data();
    void packageInstallerSentenceReadsInTheUsersLanguage();
    void deltaThatDoesNotApplyFallsBackToThePackageOnce_data();
    void deltaThatDoesNotApplyFallsBackToThePackageOnce();

private:
    QString casePath(const QString &name) const { return m_case->path() + u'/' + name; }
    // Writes the stand-in for zav-pkg; `ending` is its last shell command.
    QString writeStandIn(const QString &ending, bool executable) const;
    // With `pinned`, the feed pins the package's SHA-256 and size. The manager runs the
    // stand-in.
    std::shared_ptr<ZAVInstallationManager> managerWithPackage(QString *package,
                                                               bool pinned = false) const;
    QProcess *startCopy(const QStringList &environment);

    std::unique_ptr<QTemporaryDir> m_case;
    ZAVScopedEnvironment m_environment;
    std::vector<std::unique_ptr<QProcess>> m_copies;
};

namespace {

// Set up by main() before the application object exists.
struct Sandbox : ZAVTestSandbox {
    QString id; // the product's id, of this run only
    QString installedProgram;
};
Sandbox g_sandbox;

const QString kPkgUrl = QStringLiteral("http://127.0.0.1:1/Product-1.0.tar.gz");
const QByteArray kPackage = QByteArrayLiteral("package bytes\n");
const QString kProduct = QStringLiteral("Zav Demo");

// The stand-in runs from the case directory. It records its command line ($0 is the path env
// ran it by), and its pid; while a file "gate" exists it waits for "release" (at most 30 s).
// Its last act before the ending is to leave "exiting".
const char kStandIn[] = R"(#!/bin/sh
cd '%1' || exit 90
{ printf '%s\n' "$0"; for arg in "$@"; do printf '%s\n' "$arg"; done; } > arguments
echo $$ > pid
n=0
while [ -e gate ] && [ ! -e release ] && [ "$n" -lt 600 ]; do sleep 0.05; n=$((n + 1)); done
: > exiting
%2
)";

int g_terminations = 0;

// Running, and not a zombie waiting for its parent.
bool processRuns(qint64 pid)
{
    const QByteArray stat = fileContents(QStringLiteral("/proc/%1/stat").arg(pid));
    const qsizetype close = stat.lastIndexOf(')');
    return close > 0 && close + 2 < stat.size() && stat[close + 2] != 'Z';
}

QString describe(const ZAVOptionalError &error)
{
    return error ? error->description() : QStringLiteral("no error");
}

QString installationErrorText()
{
    return ZAVError{QStringLiteral("some_domain"), 100,
                    QStringLiteral("Installation could not be completed.")}
        .description();
}

// What reaches the window's install-completion handler, and what was on disk at that moment.
struct Run {
    int calls = 0;
    bool onMainThread = true;
    ZAVOptionalError error;
    bool packageThere = false;
    bool standInExiting = false;
    bool probe = false;
    QEventLoop *waiting = nullptr;
};

std::shared_ptr<Run> startInstall(ZAVInstallationManager &manager, const QString &package,
                                  const QString &caseDir, std::function<bool()> probe = {})
{
    auto run = std::make_shared<Run>();
    manager.startInstallWithCompletion([run, package, caseDir, probe](const ZAVOptionalError &e) {
        run->calls += 1;
        run->onMainThread &= ZAVIsMainThread();
        run->error = e;
        run->packageThere = somethingAt(package);
        run->standInExiting = QFile::exists(caseDir + QStringLiteral("/exiting"));
        run->probe = probe && probe();
        if (run->waiting)
            run->waiting->quit();
    });
    return run;
}

// Waits in an event loop proper, which takes up a posted result the moment it arrives.
bool waitForResult(Run &run)
{
    if (run.calls == 0) {
        QEventLoop loop;
        run.waiting = &loop;
        QTimer::singleShot(10000, &loop, &QEventLoop::quit);
        loop.exec();
        run.waiting = nullptr;
    }
    return run.calls > 0;
}

// Lets the background queue and the main queue run dry, so that a second delivery or a late
// removal would have happened.
void settle()
{
    ZAVDispatchWaitForBackground();
    QTest::qWait(50);
}

bool setUpSandbox()
{
    Sandbox &s = g_sandbox;
    if (!s.setUp("install"))
        return false;
    s.id = QStringLiteral("org.example.ZavInstallTest%1").arg(getpid());

    // The product as installed: its program inside <home>/.local/opt/<id>/.
    const QString fixture =
        qEnvironmentVariable("ZAV_BINARY_DIR") +
        QStringLiteral("/tests/fixture/appdir/org.example.ZavFixture/bin/zav-fixture");
    const QString program =
        s.home + QStringLiteral("/.local/opt/") + s.id + QStringLiteral("/bin/zav-fixture");
    QDir().mkpath(QFileInfo(program).absolutePath());
    if (QFile::copy(fixture, program))
        s.installedProgram = program;
    else
        std::fprintf(stderr, "no fixture program at %s\n", qPrintable(fixture));
    return true;
}

} // namespace

void InstallTest::init()
{
    g_terminations = 0;
    ZAVApplication::sharedApplication().setTerminateHandler([](const char *) { ++g_terminations; });
    // Blanks in every path: each one must stay a single argument.
    m_case = std::make_unique<QTemporaryDir>(g_sandbox.root + QStringLiteral("/case XXXXXX"));
    QVERIFY(m_case->isValid());
    QVERIFY(QDir().mkpath(casePath(QStringLiteral("tmp dir"))));
    m_environment.set("TMPDIR", QFile::encodeName(casePath(QStringLiteral("tmp dir"))));
}

void InstallTest::cleanup()
{
    // A stand-in still held is let go, and the installer step finished, before the case's
    // files go.
    writeFile(casePath(QStringLiteral("release")), {});
    ZAVDispatchWaitForBackground();
    QCoreApplication::sendPostedEvents(); // the result the installer step posted
    ZAVAlert::setResponder(nullptr);
    ZAVApplication::sharedApplication().setTerminateHandler(nullptr);
    for (auto &copy : m_copies) {
        copy->kill();
        copy->waitForFinished(5000);
    }
    m_copies.clear();
    g_sandbox.clearRecords();
    m_environment.restore();
    m_case.reset();
    // Nothing in the installation ends the installer.
    QCOMPARE(g_terminations, 0);
}

QString InstallTest::writeStandIn(const QString &ending, bool executable) const
{
    // "=" and blanks in its folder: the path must never be read as anything but the program.
    const QString path = casePath(QStringLiteral("bin=x dir/zav-pkg"));
    const QString script = QString::fromLatin1(kStandIn).arg(m_case->path(), ending);
    if (!writeFile(path, script.toUtf8()))
        return QString();
    ::chmod(QFile::encodeName(path).constData(), executable ? 0755 : 0644);
    return path;
}

// A manager for the test product, with a package waiting at its installer file path.
std::shared_ptr<ZAVInstallationManager> InstallTest::managerWithPackage(QString *package,
                                                                        bool pinned) const
{
    auto feed = std::make_shared<ZAVFeedData>();
    if (pinned) {
        feed->setPkgSha256(QString::fromLatin1(
            QCryptographicHash::hash(kPackage, QCryptographicHash::Sha256).toHex()));
        feed->setPkgSize(kPackage.size());
    }
    feed->setBundleId(g_sandbox.id);
    feed->setProduct(kProduct);
    feed->setPkgUrl(kPkgUrl);
    ZAVInstallationOptions options;
    options.packageInstallerPath = QFile::encodeName(casePath(QStringLiteral("bin=x dir/zav-pkg")));
    // A copy asked to quit is waited for a tenth of a second, not 15 s: the copies here save for
    // longer, and the installation goes on while they do.
    options.quitWait = std::chrono::milliseconds(100);
    auto manager = ZAVInstallationManager::initWithFeedData(feed, options);
    *package = QFile::decodeName(manager->getInstallerPath());
    const QString tmp = casePath(QStringLiteral("tmp dir/"));
    if (!package->startsWith(tmp) || !writeFile(*package, kPackage))
        package->clear();
    return manager;
}

QProcess *InstallTest::startCopy(const QStringList &environment)
{
    if (g_sandbox.installedProgram.isEmpty())
        return nullptr;
    auto copy = g_sandbox.startFixture(g_sandbox.installedProgram, environment);
    if (!copy)
        return nullptr;
    m_copies.push_back(std::move(copy));
    return m_copies.back().get();
}

// ---- the installer's command line and exit status ------------------------------------------

void InstallTest::exitStatusDecidesResultAndPackage_data()
{
    QTest::addColumn<QString>("ending"); // the stand-in's last command; empty: no stand-in
    QTest::addColumn<bool>("executable");
    QTest::addColumn<bool>("succeeds");
    QTest::addColumn<int>("treeFiles"); // > 0: a directory tree at the installer file path
    QTest::addColumn<bool>("pinned");   // the feed pins the package: zav-pkg is told
    QTest::newRow("exit 0") << "exit 0" << true << true << 0 << false;
    QTest::newRow("exit 0, pinned package") << "exit 0" << true << true << 0 << true;
    // Long enough to remove that a result sent ahead of the removal would find it there.
    QTest::newRow("exit 0, tree at the path") << "exit 0" << true << true << 500 << false;
    QTest::newRow("exit 1") << "exit 1" << true << false << 0 << false;
    QTest::newRow("exit 3") << "exit 3" << true << false << 0 << false;
    QTest::newRow("killed by SIGKILL") << "kill -KILL $$" << true << false << 0 << false;
    QTest::newRow("no program at the path") << "" << true << false << 0 << false;
    QTest::newRow("program not executable") << "exit 0" << false << false << 0 << false;
}

void InstallTest::exitStatusDecidesResultAndPackage()
{
    QFETCH(QString, ending);
    QFETCH(bool, executable);
    QFETCH(bool, succeeds);
    QFETCH(int, treeFiles);
    QFETCH(bool, pinned);
    const QString standIn =
        writeStandIn(ending.isEmpty() ? QStringLiteral("exit 0") : ending, executable);
    QVERIFY(!standIn.isEmpty());
    if (ending.isEmpty())
        QVERIFY(QFile::remove(standIn));
    const bool runs = !ending.isEmpty() && executable;

    QString package;
    auto manager = managerWithPackage(&package, pinned);
    QVERIFY(!package.isEmpty());
    if (treeFiles > 0) {
        QVERIFY(QFile::remove(package));
        for (int d = 0; d < 10; ++d)
            QVERIFY(QDir().mkpath(package + QStringLiteral("/d%1").arg(d)));
        for (int i = 0; i < treeFiles; ++i) {
            const QByteArray name =
                QFile::encodeName(package + QStringLiteral("/d%1/f%2").arg(i % 10).arg(i));
            const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
            QVERIFY(fd >= 0);
            ::close(fd);
        }
    }

    auto run = startInstall(*manager, package, m_case->path());
    QVERIFY(waitForResult(*run));
    settle();
    QCOMPARE(run->calls, 1);
    QVERIFY(run->onMainThread);
    QVERIFY(!manager->installCompletion());

    QCOMPARE(describe(run->error), succeeds ? QStringLiteral("no error") : installationErrorText());
    // Installed or not, the package is removed before the window hears of the result: a
    // failed run keeps no package of full size on the disk either.
    QVERIFY(!run->packageThere);
    QVERIFY(!somethingAt(package));

    const QString arguments = casePath(QStringLiteral("arguments"));
    if (runs) {
        QStringList expected{standIn,
                             QStringLiteral("-dumplog"),
                             QStringLiteral("-verbose"),
                             QStringLiteral("-sentence"),
                             QStringLiteral("-pkg"),
                             package,
                             QStringLiteral("-target"),
                             QStringLiteral("CurrentUserHomeDirectory"),
                             QStringLiteral("-id"),
                             g_sandbox.id};
        if (pinned)
            expected << QStringLiteral("-sha256") << *manager->feedData()->pkgSha256()
                     << QStringLiteral("-size") << QString::number(kPackage.size());
        QCOMPARE(QString::fromUtf8(fileContents(arguments)).split(u'\n', Qt::SkipEmptyParts),
                 expected);
    } else {
        QVERIFY(!somethingAt(arguments));
    }
}

void InstallTest::cannotRunHereShowsZavPkgsSentence_data()
{
    QTest::addColumn<QString>("ending");
    QTest::addColumn<QString>("sentence"); // empty: the installer's own error
    const QString sentence = QStringLiteral(
        "Zav Demo cannot run on this computer: it needs a newer system (GLIBC_2.34; this "
        "computer has 2.31).");
    const QString says = QStringLiteral("echo 'zav-pkg: working' >&2; echo 'zav-pkg: %1' >&2; ");
    QTest::newRow("status 6 and its sentence") << says.arg(sentence) + "exit 6" << sentence;
    QTest::newRow("status 6 and its sentence as source text and arguments")
        << "printf 'zav-pkg: %s\\037Zav Demo\\037GLIBC_2.34\\0372.31\\n' '" +
               QString::fromUtf8(kZAVPkgNeedsNewerSystem) + "' >&2; exit 6"
        << sentence;
    QTest::newRow("status 6, nothing said") << "exit 6" << QString();
    QTest::newRow("status 4 and a sentence") << says.arg(sentence) + "exit 4" << QString();
    QTest::newRow("status 6, a line of another program") << "echo oops >&2; exit 6" << QString();
}

void InstallTest::cannotRunHereShowsZavPkgsSentence()
{
    QFETCH(QString, ending);
    QFETCH(QString, sentence);
    QVERIFY(!writeStandIn(ending, true).isEmpty());
    QString package;
    auto manager = managerWithPackage(&package);
    auto run = startInstall(*manager, package, m_case->path());
    QVERIFY(waitForResult(*run));
    const ZAVError shown{QStringLiteral("zav-pkg"), 6, sentence};
    QCOMPARE(describe(run->error),
             sentence.isEmpty() ? installationErrorText() : shown.description());
}

void InstallTest::resultArrivesOnceAfterTheInstallerHasExited()
{
    QVERIFY(writeFile(casePath(QStringLiteral("gate")), {}));
    QVERIFY(!writeStandIn(QStringLiteral("exit 0"), true).isEmpty());
    QString package;
    auto manager = managerWithPackage(&package);
    QVERIFY(!package.isEmpty());

    const QString pidFile = casePath(QStringLiteral("pid"));
    auto run = startInstall(*manager, package, m_case->path(), [pidFile] {
        // The child has been waited for: its pid is gone, not left as a zombie.
        const qint64 pid = fileContents(pidFile).trimmed().toLongLong();
        return pid > 0 && !QFileInfo::exists(QStringLiteral("/proc/%1").arg(pid));
    });
    QCOMPARE(run->calls, 0);

    // The installer runs and is held; the main thread goes on meanwhile.
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(pidFile), 10000);
    auto mainRan = std::make_shared<bool>(false);
    ZAVDispatchMainAsync([mainRan] { *mainRan = true; });
    QTRY_VERIFY_WITH_TIMEOUT(*mainRan, 5000);
    QTest::qWait(100); // a result sent early would arrive meanwhile
    QCOMPARE(run->calls, 0);
    QVERIFY(somethingAt(package));

    QVERIFY(writeFile(casePath(QStringLiteral("release")), {}));
    QVERIFY(waitForResult(*run));
    QVERIFY(run->standInExiting);
    QVERIFY(run->probe);
    QVERIFY(run->onMainThread);
    QCOMPARE(describe(run->error), QStringLiteral("no error"));
    settle();
    QCOMPARE(run->calls, 1);
}

// ---- a running copy of the product -----------------------------------------------------------

void InstallTest::runningCopyIsOfferedToQuitBeforeTheInstaller_data()
{
    QTest::addColumn<bool>("copyRuns");
    QTest::addColumn<long>("answer");
    QTest::newRow("no copy running") << false << ZAVAlertFirstButtonReturn;
    QTest::newRow("Quit & Install") << true << ZAVAlertFirstButtonReturn;
    QTest::newRow("other answer") << true << ZAVAlertFirstButtonReturn + 1;
}

void InstallTest::runningCopyIsOfferedToQuitBeforeTheInstaller()
{
    QFETCH(bool, copyRuns);
    QFETCH(long, answer);
    const bool quitAsked = copyRuns && answer == ZAVAlertFirstButtonReturn;
    QVERIFY(!writeStandIn(QStringLiteral("exit 0"), true).isEmpty());

    // The copy takes long to exit after the quit request, as one saving its work would.
    qint64 pid = -1;
    QProcess *copy = nullptr;
    if (copyRuns) {
        copy = startCopy({QStringLiteral("ZAV_FIXTURE_LINGER_MS=5000")});
        QVERIFY2(copy, qPrintable(g_sandbox.installedProgram));
        pid = copy->processId();
    }
    QString package;
    auto manager = managerWithPackage(&package);
    QVERIFY(!package.isEmpty());

    struct Seen {
        QString messageText, informativeText;
        QStringList buttons;
        int alertStyle = -1;
        bool installerStarted = true;
    };
    std::vector<Seen> alerts;
    const QString arguments = casePath(QStringLiteral("arguments"));
    ZAVAlert::setResponder([&alerts, answer, arguments](const ZAVAlert &alert) {
        // An installer queued before the answer would run to its end here.
        ZAVDispatchWaitForBackground();
        alerts.push_back({alert.messageText(), alert.informativeText(), alert.buttons(),
                          alert.alertStyle(), somethingAt(arguments)});
        return answer;
    });

    auto run = startInstall(*manager, package, m_case->path(),
                            [pid] { return pid > 0 && processRuns(pid); });
    QCOMPARE(alerts.size(), copyRuns ? 1u : 0u);
    if (copyRuns) {
        QCOMPARE(alerts[0].messageText, QStringLiteral("Quit and continue installation"));
        QCOMPARE(alerts[0].informativeText,
                 kProduct + QStringLiteral(" is currently running. Please close the application "
                                           "to continue installation."));
        QCOMPARE(alerts[0].buttons, QStringList{QStringLiteral("Quit & Install")});
        QCOMPARE(alerts[0].alertStyle, 1);
        QVERIFY(!alerts[0].installerStarted);
    }

    // The installation goes on whatever the answer.
    QVERIFY(waitForResult(*run));
    QCOMPARE(describe(run->error), QStringLiteral("no error"));
    QVERIFY(somethingAt(arguments));
    QVERIFY(!somethingAt(package));

    if (quitAsked) {
        // Asked by the installer itself, which waited for the copy only as long as its limit.
        QVERIFY(run->probe);
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(g_sandbox.record(pid, "terminated")), 5000);
        QCOMPARE(fileContents(g_sandbox.record(pid, "terminated")).trimmed().toLongLong(),
                 qint64(getpid()));
    } else if (copyRuns) {
        QVERIFY(!copy->waitForFinished(200));
        QVERIFY(!QFile::exists(g_sandbox.record(pid, "terminated")));
    }
}

void InstallTest::packageInstallerSentenceReadsInTheUsersLanguage_data()
{
    QTest::addColumn<QString>("language");
    QTest::addColumn<QString>("source");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("english");
    QTest::addColumn<QString>("translated");
    QTest::newRow("German") << "de_DE" << kZAVPkgNeedsLibrary
                            << QStringList{"Demo Viewer", "libfoo.so.3"}
                            << "Demo Viewer cannot run on this computer: it needs libfoo.so.3, "
                               "which is not installed."
                            << "Demo Viewer kann auf diesem Computer nicht ausgeführt werden: Es "
                               "wird libfoo.so.3 benötigt, das nicht installiert ist.";
    QTest::newRow("Japanese, three arguments")
        << "ja_JP" << kZAVPkgNeedsNewerSystem << QStringList{"Demo Viewer", "GLIBC_2.34", "2.31"}
        << "Demo Viewer cannot run on this computer: it needs a newer system (GLIBC_2.34; this "
           "computer has 2.31)."
        << "Demo Viewer はこのコンピューターでは実行できません。より新しいシステムが必要です（"
           "GLIBC_2.34。このコンピューターは 2.31）。";
    // A name can neither split the line nor fill another placeholder.
    QTest::newRow("hostile names, English")
        << "C" << kZAVPkgNeedsLibrary << QStringList{"Evil\x1f%2\nline", "lib%1"}
        << "Evil\\x1f%2\\nline cannot run on this computer: it needs lib%1, which is not "
           "installed."
        << "Evil\\x1f%2\\nline cannot run on this computer: it needs lib%1, which is not "
           "installed.";
    QTest::newRow("a sentence without a translation")
        << "de_DE"
        << "%1 is new." << QStringList{"X"} << "X is new."
        << "X is new.";
}

void InstallTest::packageInstallerSentenceReadsInTheUsersLanguage()
{
    QFETCH(QString, language);
    QFETCH(QString, source);
    QFETCH(QStringList, arguments);
    QFETCH(QString, english);
    QFETCH(QString, translated);
    ZAVInstallTranslations(QLocale(language),
                           qEnvironmentVariable("ZAV_BINARY_DIR") + "/translations");
    const auto restore = qScopeGuard([] { ZAVRemoveTranslations(); });
    ZAVPkgSentence sentence{source.toStdString(), {}};
    for (const QString &argument : arguments)
        sentence.arguments.push_back(argument.toStdString());
    QCOMPARE(QString::fromStdString(sentence.english()), english); // zav-pkg's standard error
    const ZAVUserText shown =
        ZAVPackageInstallerSentence(QByteArray::fromStdString(sentence.encoded()) + "\n");
    QCOMPARE(shown.english(), english);
    QCOMPARE(shown.translated(), translated);
}

// ---- a delta that zav-pkg cannot apply ---------------------------------------------------------

void InstallTest::deltaThatDoesNotApplyFallsBackToThePackageOnce_data()
{
    QTest::addColumn<int>("deltaStatus"); // what the stand-in answers to -delta
    QTest::addColumn<int>("runs");
    QTest::addColumn<bool>("succeeds");
    QTest::newRow("the delta applies") << 0 << 1 << true;
    QTest::newRow("the delta does not apply: the package") << 7 << 2 << true;
    QTest::newRow("another failure: no second run") << 5 << 1 << false;
}

void InstallTest::deltaThatDoesNotApplyFallsBackToThePackageOnce()
{
    QFETCH(int, deltaStatus);
    QFETCH(int, runs);
    QFETCH(bool, succeeds);
    const QString standIn = writeStandIn(
        QStringLiteral("echo \"$*\" >> runs; case \"$*\" in *-delta*) exit %1;; esac; exit 0")
            .arg(deltaStatus),
        true);
    QVERIFY(!standIn.isEmpty());
    const QByteArray delta = QByteArrayLiteral("delta bytes\n");
    const auto hex = [](const QByteArray &data) {
        return QString::fromLatin1(
            QCryptographicHash::hash(data, QCryptographicHash::Sha256).toHex());
    };
    ZAVFakeHTTPServer server;
    server.setRoute("/p.pkg", ZAVFakeHTTPServer::ok(kPackage, "application/octet-stream"));
    server.setRoute("/p.delta", ZAVFakeHTTPServer::ok(delta, "application/octet-stream"));
    const QString id = QStringLiteral("org.example.DeltaFallback");
    const QString from(64, u'a');
    QVERIFY(writeFile(casePath(QStringLiteral("home/.local/share/zav/receipts/")) + id + ".json",
                      R"({"id": ")" + id.toUtf8() + R"(", "files": [], "packageSha256": ")" +
                          from.toUtf8() + R"("})"));
    m_environment.set("HOME", QFile::encodeName(casePath(QStringLiteral("home"))));
    auto feed = std::make_shared<ZAVFeedData>();
    feed->setBundleId(id);
    feed->setProduct(kProduct);
    feed->setPkgUrl(server.url("/p.pkg").toString());
    feed->setPkgSha256(hex(kPackage));
    feed->setPkgSize(kPackage.size());
    feed->setPkgTreeSha256(QString(64, u'c'));
    feed->setPkgDeltas({{from, server.url("/p.delta"), hex(delta), delta.size()}});
    ZAVInstallationOptions options;
    options.packageInstallerPath = QFile::encodeName(standIn);
    auto manager = ZAVInstallationManager::initWithFeedData(feed, options);
    ZAVTestLog log;
    bool downloaded = false;
    manager->startDownloadWithCompletion(
        [&](const std::optional<QString> &, const ZAVOptionalError &error) {
            QVERIFY(!error);
            downloaded = true;
        },
        [](double) {});
    QTRY_VERIFY_WITH_TIMEOUT(downloaded, 10000);
    const QString package = QFile::decodeName(manager->getInstallerPath());
    auto run = startInstall(*manager, package, m_case->path());
    QVERIFY(waitForResult(*run));
    settle();
    QCOMPARE(run->calls, 1);
    QCOMPARE(describe(run->error), succeeds ? QStringLiteral("no error") : installationErrorText());
    QVERIFY(!somethingAt(package));
    const QStringList lines = QString::fromUtf8(fileContents(casePath(QStringLiteral("runs"))))
                                  .split(u'\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), runs);
    QVERIFY2(
        lines.front().contains(QStringLiteral("-delta ") + package + QStringLiteral(" -target")) &&
            lines.front().contains(QStringLiteral("-sha256 ") + hex(delta) +
                                   QStringLiteral(" -size 12 -tree-sha256 ") + QString(64, u'c') +
                                   QStringLiteral(" -package-sha256 ") + hex(kPackage)),
        qPrintable(lines.front()));
    if (runs == 2)
        QVERIFY2(lines.back().contains(QStringLiteral("-pkg ") + package) &&
                     lines.back().contains(QStringLiteral("-sha256 ") + hex(kPackage)),
                 qPrintable(lines.back()));
    QCOMPARE(server.hits("/p.pkg"), runs - 1);
    const QStringList logged = log.lines();
    QCOMPARE(std::any_of(logged.begin(), logged.end(),
                         [](const QString &line) {
                             return line.contains(
                                 QStringLiteral("zav-pkg could not apply the delta"));
                         }),
             runs == 2);
}

int main(int argc, char **argv)
{
    // The home must be in place before anything can ask for the user's directories.
    if (!setUpSandbox()) {
        std::fprintf(stderr, "cannot set up the test sandbox\n");
        return 1;
    }
    // Every alert is answered by a responder: no window is ever shown.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    int status = 0;
    {
        QApplication app(argc, argv);
        InstallTest test;
        status = QTest::qExec(&test, argc, argv);
        ZAVDispatchWaitForBackground();
    }
    g_sandbox.tearDown();
    return status;
}

#include "tst_install.moc"

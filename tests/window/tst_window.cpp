// The installer window from its description: start-up, the feed stage, and its alerts.

#include "app/ZAVInstallerWindow.h"
#include "platform/ZAVAlert.h"
#include "platform/ZAVApplication.h"
#include "platform/ZAVAvailability.h"
#include "platform/ZAVFileLock.h"
#include "platform/ZAVProgressIndicator.h"
#include "platform/ZAVTemporaryDirectory.h"
#include "platform/ZAVTranslations.h"
#include "tests/support/ZAVFakeHTTPServer.h"
#include "tests/support/ZAVScopedEnvironment.h"
#include "tests/support/ZAVTestFiles.h"
#include "tests/support/ZAVTestLog.h"

#include <QCryptographicHash>
#include <QMessageBox>
#include <QProcess>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QtGui/private/qguiapplication_p.h>
#include <QtGui/qpa/qplatformaccessibility.h>
#include <QtGui/qpa/qplatformintegration.h>
#include <QtTest>

#include <cmath>
#include <limits>

struct SeenAlert {
    QString message;
    QString informative;
    QStringList buttons;
    int style;
};

class WindowTest : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void startUpBindsTheControlsAndShowsLoading();
    void failedFeedShowsOneErrorAlertWhoseButtonQuits();
    void productNameFollowsDisplayVersion_data();
    void productNameFollowsDisplayVersion();
    void recordWithAnErrorBesideItCountsAsSuccess();
    void neitherRecordNorErrorShowsTheAlertWithNull();
    void errorAlertAnsweredOtherwiseDoesNotQuit();
    void unsupportedPlatformShowsTheCompatibilityAlertThenQuits();
    void quitButtonQuits();
    void feedTextIsShownAsPlainText();
    void animateProgressMakesTheBarIndeterminateEitherWay();

    void progressIsLoggedAndShownAsReceived_data();
    void progressIsLoggedAndShownAsReceived();
    void failedDownloadShowsTheErrorAndNeverInstalls();
    void statusLineSaysWhenAnotherInstallationHoldsTheWay();
    void pinnedPackageIsInstalledOnlyAsPinned_data();
    void pinnedPackageIsInstalledOnlyAsPinned();
    void downloadedPackageStartsTheInstallWithTheProductAlone();
    void failedInstallRequestsAttentionThenShowsTheError();
    void installedWithoutAutoLaunchShowsTheQuitButton();
    void installedWithAutoLaunchLaunchesAndQuits();
    void installWaitsForTheCopyAskedToQuit_data();
    void installWaitsForTheCopyAskedToQuit();
    void alertShowsItsTextsAsWritten();
    void alertIsADialogAsWideAsItsTitle_data();
    void alertIsADialogAsWideAsItsTitle();

    void detailLineAndRetryStatusThenEscapeCancelsTheDownload();
    void closeDuringTheInstallWaitsAndQuitsWithItsResult_data();
    void closeDuringTheInstallWaitsAndQuitsWithItsResult();
    void controlsAreNamedAndChangesAnnounced();
    void everyStateShowsTheUsersLanguage_data();
    void everyStateShowsTheUsersLanguage();

private:
    ZAVInstallerWindow *load();

    std::unique_ptr<ZAVTestLog> m_log;
    QList<SeenAlert> m_alerts;
    long m_answer = ZAVAlertFirstButtonReturn;
    QStringList m_terminations;
    QPointer<ZAVInstallerWindow> m_window;
};

namespace {

std::shared_ptr<const ZAVFeedData> record(std::optional<QString> product,
                                          std::optional<QString> version, qint8 displayVersion)
{
    auto data = std::make_shared<ZAVFeedData>();
    data->setProduct(product);
    data->setVersion(version);
    data->setDisplayVersion(displayVersion);
    return data;
}

} // namespace

void WindowTest::init()
{
    using namespace std::chrono_literals;
    // Windows made from here on: the compiled-in feed's fetch fails at once.
    ZAVInstallerOptions options;
    options.feed.retryPolicy.delays = {1ms, 1ms};
    ZAVInstallerWindow::registerWindowClass(options);
    m_log = std::make_unique<ZAVTestLog>();
    m_alerts.clear();
    m_terminations.clear();
    m_answer = ZAVAlertFirstButtonReturn;
    ZAVApplication::sharedApplication().setExitStatus(0);
    ZAVAlert::setResponder([this](const ZAVAlert &alert) {
        m_alerts.append(
            {alert.messageText(), alert.informativeText(), alert.buttons(), alert.alertStyle()});
        return m_answer;
    });
    ZAVApplication::sharedApplication().setTerminateHandler(
        [this](const char *sender) { m_terminations.append(QString::fromLatin1(sender)); });
}

void WindowTest::cleanup()
{
    delete m_window;
    ZAVInstallerWindow::registerWindowClass();
    ZAVAlert::setResponder(nullptr);
    ZAVApplication::sharedApplication().setTerminateHandler(nullptr);
    ZAVSetClassUnavailable(QString());
    m_log.reset();
}

ZAVInstallerWindow *WindowTest::load()
{
    ZAVWindow *window = ZAVLoadWindowDescription(QStringLiteral(":/zav/main.ui"));
    m_window = qobject_cast<ZAVInstallerWindow *>(window);
    return m_window;
}

void WindowTest::startUpBindsTheControlsAndShowsLoading()
{
    ZAVInstallerWindow *window = load();
    QVERIFY(window);
    QVERIFY(window->progressView());
    QVERIFY(window->statusText());
    QVERIFY(window->quitButton());
    QVERIFY(!window->installManager());
    QCOMPARE(window->statusText()->text(), QStringLiteral("Loading..."));
    QCOMPARE(window->progressView()->minimum(), 0);
    QCOMPARE(window->progressView()->maximum(), 100);
    window->show();
    QVERIFY(window->progressView()->isVisible());
    QVERIFY(!window->quitButton()->isVisible());
    QCOMPARE(m_log->lines().value(0), QStringLiteral("Tarvex"));
    // Supported platform: nothing shown before the feed answers.
    QVERIFY(m_alerts.isEmpty());
}

void WindowTest::failedFeedShowsOneErrorAlertWhoseButtonQuits()
{
    QVERIFY(load());
    QTRY_COMPARE(m_alerts.size(), 1);
    const SeenAlert alert = m_alerts.first();
    QCOMPARE(alert.message, QStringLiteral("Could not complete installation"));
    QCOMPARE(alert.informative,
             QStringLiteral("Could not connect to the server. Please try again later."));
    QCOMPARE(alert.buttons, QStringList{QStringLiteral("Quit Installation")});
    QCOMPARE(alert.style, 0);
    QCOMPARE(m_terminations, QStringList{QStringLiteral("ZAVAppUtils")});
    QCOMPARE(ZAVApplication::sharedApplication().exitStatus(), 1);
    const QStringList lines = m_log->lines().filter(QRegularExpression("^Error was "));
    QCOMPARE(lines.size(), 1);
    QVERIFY(lines.first().contains("\"Could not connect to the server.\""));
    // The status line is left as it was.
    QCOMPARE(m_window->statusText()->text(), QStringLiteral("Loading..."));
    QTest::qWait(50); // a second alert would come meanwhile
    QCOMPARE(m_alerts.size(), 1);
}

void WindowTest::productNameFollowsDisplayVersion_data()
{
    QTest::addColumn<std::optional<QString>>("version");
    QTest::addColumn<int>("displayVersion");
    QTest::addColumn<QString>("name");
    QTest::newRow("shown") << std::optional<QString>("4.2") << 1 << "Demo Viewer - 4.2";
    QTest::newRow("any non-zero byte")
        << std::optional<QString>("4.2") << -128 << "Demo Viewer - 4.2";
    QTest::newRow("hidden") << std::optional<QString>("4.2") << 0 << "Demo Viewer";
    QTest::newRow("no version") << std::optional<QString>() << 1 << "Demo Viewer - (null)";
    QTest::newRow("empty version") << std::optional<QString>("") << 1 << "Demo Viewer - ";
}

void WindowTest::productNameFollowsDisplayVersion()
{
    QFETCH(std::optional<QString>, version);
    QFETCH(int, displayVersion);
    QFETCH(QString, name);
    ZAVInstallerWindow *window = load();
    QVERIFY(window);
    const int activations = ZAVApplication::sharedApplication().activationCount();
    window->feedLoadedWithData(
        record(QStringLiteral("Demo Viewer"), version, qint8(displayVersion)));
    QVERIFY(m_log->contains("product: " + name));
    QCOMPARE(window->statusText()->text(), "Downloading " + name);
    QCOMPARE(ZAVApplication::sharedApplication().activationCount(), activations + 1);
}

void WindowTest::recordWithAnErrorBesideItCountsAsSuccess()
{
    ZAVInstallerWindow *window = load();
    QVERIFY(window);
    QTRY_COMPARE(m_alerts.size(), 1); // the window's own fetch fails; start from there
    m_alerts.clear();
    m_log->clear();
    const ZAVError error{"d", 1, "ignored"};
    window->feedCompletionHandler()(record("P", "1", 0), error);
    QVERIFY(m_alerts.isEmpty());
    QVERIFY(m_log->lines().filter(QRegularExpression("^Error was")).isEmpty());
    QCOMPARE(window->statusText()->text(), QStringLiteral("Downloading P"));
}

void WindowTest::neitherRecordNorErrorShowsTheAlertWithNull()
{
    ZAVInstallerWindow *window = load();
    QVERIFY(window);
    QTRY_COMPARE(m_alerts.size(), 1);
    m_alerts.clear();
    m_log->clear();
    window->feedCompletionHandler()(nullptr, std::nullopt);
    QVERIFY(m_log->contains("Error was (null)"));
    QCOMPARE(m_alerts.size(), 1);
    QCOMPARE(m_alerts.first().informative, QStringLiteral("(null) Please try again later."));
}

void WindowTest::errorAlertAnsweredOtherwiseDoesNotQuit()
{
    ZAVInstallerWindow *window = load();
    QVERIFY(window);
    QTRY_COMPARE(m_alerts.size(), 1);
    m_terminations.clear();
    m_answer = 1001;
    window->showError(ZAVError{"d", 7, "Something broke."});
    QCOMPARE(m_alerts.size(), 2);
    QCOMPARE(m_alerts.last().informative,
             QStringLiteral("Something broke. Please try again later."));
    QVERIFY(m_terminations.isEmpty());
}

void WindowTest::unsupportedPlatformShowsTheCompatibilityAlertThenQuits()
{
    ZAVSetClassUnavailable(QStringLiteral("ZAVURLSession"));
    m_answer = 1001; // whatever the answer, termination is requested
    ZAVInstallerWindow *window = load();
    QVERIFY(window);
    QVERIFY(!m_alerts.isEmpty());
    const SeenAlert alert = m_alerts.first();
    QCOMPARE(alert.message, QStringLiteral("Unsupported OS version"));
    QCOMPARE(alert.informative, QStringLiteral("Sorry but your version of Linux is not supported, "
                                               "please upgrade to a newer version."));
    QCOMPARE(alert.buttons, QStringList{QStringLiteral("Ok")});
    QCOMPARE(m_terminations.value(0), QStringLiteral("ZAVAppUtils"));
    QCOMPARE(ZAVApplication::sharedApplication().exitStatus(), 1);
}

void WindowTest::quitButtonQuits()
{
    ZAVInstallerWindow *window = load();
    QVERIFY(window);
    QTRY_COMPARE(m_alerts.size(), 1);
    m_terminations.clear();
    ZAVApplication::sharedApplication().setExitStatus(0); // the feed's failure, above
    window->show();
    window->quitButton()->show();
    QTest::mouseClick(window->quitButton(), Qt::LeftButton);
    QCOMPARE(m_terminations, QStringList{QStringLiteral("ZAVAppUtils")});
    window->quitAction(window);
    QCOMPARE(m_terminations.size(), 2);
    QTest::keyClick(window->quitButton(), Qt::Key_Return); // keyboard alone
    QCOMPARE(m_terminations.size(), 3);
    QCOMPARE(ZAVApplication::sharedApplication().exitStatus(), 0);
}

void WindowTest::feedTextIsShownAsPlainText()
{
    ZAVInstallerWindow *window = load();
    QVERIFY(window);
    window->feedLoadedWithData(record("<img src=x><b>Demo</b>", std::nullopt, 0));
    QCOMPARE(window->statusText()->textFormat(), Qt::PlainText);
    QCOMPARE(window->statusText()->text(), QStringLiteral("Downloading <img src=x><b>Demo</b>"));
}

void WindowTest::animateProgressMakesTheBarIndeterminateEitherWay()
{
    for (const qint8 flag : {qint8(1), qint8(0)}) {
        ZAVInstallerWindow *window = load();
        QVERIFY(window);
        window->animateProgress(flag);
        QCOMPARE(window->progressView()->minimum(), 0);
        QCOMPARE(window->progressView()->maximum(), 0);
        delete window;
    }
    // A control that is gone is skipped.
    ZAVInstallerWindow *window = load();
    delete window->progressView();
    window->animateProgress(1);
}

void WindowTest::progressIsLoggedAndShownAsReceived_data()
{
    QTest::addColumn<double>("percent");
    QTest::addColumn<QString>("line");
    QTest::addColumn<int>("shown");
    QTest::newRow("empty") << 0.0 << "Progress is 0.00" << 0;
    QTest::newRow("part") << 42.857 << "Progress is 42.86" << 42;
    QTest::newRow("full") << 100.0 << "Progress is 100.00" << 100;
    QTest::newRow("no length") << -100.0 * 65536 << "Progress is -6553600.00" << 0;
    QTest::newRow("zero length") << std::numeric_limits<double>::infinity() << "Progress is inf"
                                 << 100;
    QTest::newRow("nothing yet of zero") << std::nan("") << "Progress is nan" << 0;
}

void WindowTest::progressIsLoggedAndShownAsReceived()
{
    QFETCH(double, percent);
    QFETCH(QString, line);
    QFETCH(int, shown);
    ZAVInstallerWindow *window = load();
    QVERIFY(window);
    window->progressHandler()(percent);
    QVERIFY2(m_log->contains(line), qPrintable(m_log->lines().join('\n')));
    QCOMPARE(window->progressView()->value(), shown);
    const double kept = ZAVProgressDoubleValue(window->progressView());
    QVERIFY(kept == percent || (std::isnan(kept) && std::isnan(percent)));
    // A bar that is gone is skipped; the line is still written.
    delete window->progressView();
    m_log->clear();
    window->progressHandler()(percent);
    QVERIFY(m_log->contains(line));
}

namespace {

std::shared_ptr<ZAVFeedData> installRecord(qint8 autoLaunch)
{
    auto data = std::make_shared<ZAVFeedData>();
    data->setProduct(QStringLiteral("Demo Viewer"));
    data->setVersion(QStringLiteral("4.2"));
    data->setDisplayVersion(1);
    data->setBundleId(QStringLiteral("org.example.ZavWindowTestNotInstalled"));
    data->setPkgUrl(QStringLiteral("http://127.0.0.1:1/DemoViewer-4.2.tar.gz"));
    data->setAutoLaunch(autoLaunch);
    return data;
}

} // namespace

void WindowTest::failedDownloadShowsTheErrorAndNeverInstalls()
{
    ZAVInstallerWindow *window = load();
    QVERIFY(window);
    QTRY_COMPARE(m_alerts.size(), 1);
    m_alerts.clear();
    m_terminations.clear();
    window->downloadCompletionHandler(installRecord(0))(
        std::nullopt, ZAVError{"d", 404, "The package could not be downloaded (HTTP 404)."});
    QVERIFY(m_log->contains("Downlaoded"));
    QCOMPARE(m_alerts.size(), 1);
    QCOMPARE(
        m_alerts.first().informative,
        QStringLiteral("The package could not be downloaded (HTTP 404). Please try again later."));
    QCOMPARE(window->statusText()->text(), QStringLiteral("Loading..."));
    QCOMPARE(window->progressView()->maximum(), 100);
    QCOMPARE(m_terminations.size(), 1);
}

void WindowTest::statusLineSaysWhenAnotherInstallationHoldsTheWay()
{
    QTemporaryDir tmp;
    ZAVScopedEnvironment tmpdir("TMPDIR", QFile::encodeName(tmp.path()));
    ZAVFileLock other;
    QVERIFY(other.tryLock(ZAVTemporaryDirectory()));
    ZAVInstallerWindow *window = load();
    QVERIFY(window);
    QTRY_COMPARE(m_alerts.size(), 1);
    m_alerts.clear();
    window->feedLoadedWithData(installRecord(0));
    QCOMPARE(window->statusText()->text(),
             QStringLiteral("Waiting for another installation to finish..."));
    QTest::qWait(300); // an alert for the wait would come meanwhile
    QVERIFY(m_alerts.isEmpty());
    other.unlock();
    QTRY_COMPARE(window->statusText()->text(), QStringLiteral("Downloading Demo Viewer - 4.2"));
    QTRY_COMPARE(m_alerts.size(), 1); // nothing listens at the package's address
}

void WindowTest::pinnedPackageIsInstalledOnlyAsPinned_data()
{
    QTest::addColumn<QString>("served");
    QTest::newRow("one byte altered") << "altered";
    QTest::newRow("endless") << "endless";
    QTest::newRow("as pinned, the connection dropped four times") << "dropped";
}

void WindowTest::pinnedPackageIsInstalledOnlyAsPinned()
{
    QFETCH(QString, served);
    const bool endless = served == u"endless";
    QTemporaryDir tmp;
    ZAVScopedEnvironment tmpdir("TMPDIR", QFile::encodeName(tmp.path()));
    const QByteArray pinned(200 * 1024, 'p');
    ZAVFakeHTTPServer server;
    ZAVFakeHTTPServer::Route route = ZAVFakeHTTPServer::ok(pinned, "application/octet-stream");
    if (served == u"dropped") {
        route.etag = "\"v1\"";
        route.closeAfterBytes = 40 * 1024;
        route.closeTimes = 4;
    } else {
        route.body[7] = 'q';
    }
    if (endless) {
        route.sendLength = false;
        route.bodySize = qint64(1) << 40;
        route.generator = [](qint64, qint64 n) { return QByteArray(n, 'p'); };
    }
    server.setRoute("/DemoViewer.tar.gz", route);
    auto data = installRecord(0);
    data->setPkgUrl(server.url("/DemoViewer.tar.gz").toString());
    data->setPkgSize(pinned.size());
    data->setPkgSha256(
        QString::fromLatin1(QCryptographicHash::hash(pinned, QCryptographicHash::Sha256).toHex()));

    ZAVInstallerWindow *window = load();
    QVERIFY(window);
    QTRY_COMPARE(m_alerts.size(), 1); // the compiled-in feed cannot be reached
    m_alerts.clear();
    ZAVInstallerOptions options = window->options();
    options.installation.packageInstallerPath = "/bin/true";
    window->setOptions(options);
    window->feedLoadedWithData(data);
    if (served == u"dropped") {
        // The pieces make the pinned file: it goes on to the install, and the run succeeds.
        QTRY_VERIFY_WITH_TIMEOUT(m_log->contains("Install complete"), 20000);
        QVERIFY(m_alerts.isEmpty());
        QCOMPARE(server.hits("/DemoViewer.tar.gz"), 5);
    } else {
        QTRY_COMPARE_WITH_TIMEOUT(m_alerts.size(), 1, 20000);
        QCOMPARE(m_alerts.first().informative,
                 QStringLiteral("The downloaded package is damaged or was altered. Nothing was "
                                "installed. Please try again later."));
        QTest::qWait(100); // a second alert would come meanwhile
        QCOMPARE(m_alerts.size(), 1);
        QVERIFY(!m_log->contains("Install complete"));
    }
    QCOMPARE(QDir(ZAVTemporaryDirectory()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
             QStringList());
}

void WindowTest::downloadedPackageStartsTheInstallWithTheProductAlone()
{
    QTemporaryDir tmp;
    ZAVScopedEnvironment tmpdir("TMPDIR", QFile::encodeName(tmp.path()));
    ZAVInstallerWindow *window = load();
    QVERIFY(window);
    QTRY_COMPARE(m_alerts.size(), 1);
    m_alerts.clear();
    const auto data = installRecord(0);
    ZAVInstallationOptions options;
    options.packageInstallerPath = "/bin/true";
    window->setInstallManager(ZAVInstallationManager::initWithFeedData(data, options));
    window->downloadCompletionHandler(data)(QStringLiteral("/tmp/x"), std::nullopt);
    QVERIFY(m_log->contains("Downlaoded"));
    QCOMPARE(window->progressView()->maximum(), 0); // indeterminate
    QCOMPARE(window->statusText()->text(), QStringLiteral("Installing Demo Viewer"));
    // The stand-in exits 0: the install completes and the window shows success.
    QTRY_VERIFY(m_log->contains("Install complete"));
    QCOMPARE(window->statusText()->text(), QStringLiteral("Successfully installed Demo Viewer"));
    QVERIFY(m_alerts.isEmpty());
}

void WindowTest::failedInstallRequestsAttentionThenShowsTheError()
{
    ZAVInstallerWindow *window = load();
    QVERIFY(window);
    QTRY_COMPARE(m_alerts.size(), 1);
    m_alerts.clear();
    m_terminations.clear();
    window->statusText()->setText(QStringLiteral("Installing Demo Viewer"));
    ZAVApplication &app = ZAVApplication::sharedApplication();
    const int attention = app.attentionRequestCount();
    int attentionWhenAlerted = -1;
    ZAVAlert::setResponder([&](const ZAVAlert &alert) {
        attentionWhenAlerted = app.attentionRequestCount();
        m_alerts.append(
            {alert.messageText(), alert.informativeText(), alert.buttons(), alert.alertStyle()});
        return ZAVAlertFirstButtonReturn;
    });
    window->installCompletionHandler(installRecord(1))(ZAVInstallationManager::installationError());
    QCOMPARE(attentionWhenAlerted, attention + 1);
    QCOMPARE(app.lastAttentionRequestType(), 0);
    QCOMPARE(m_alerts.size(), 1);
    QCOMPARE(m_alerts.first().informative,
             QStringLiteral("Installation could not be completed. Please try again later."));
    QCOMPARE(window->statusText()->text(), QStringLiteral("Installing Demo Viewer"));
    QVERIFY(!window->quitButton()->isVisibleTo(window));
    QVERIFY(!m_log->contains("Install complete"));
    QCOMPARE(m_terminations, QStringList{QStringLiteral("ZAVAppUtils")});
}

void WindowTest::installedWithoutAutoLaunchShowsTheQuitButton()
{
    ZAVInstallerWindow *window = load();
    QVERIFY(window);
    QTRY_COMPARE(m_alerts.size(), 1);
    m_terminations.clear();
    window->show();
    window->installCompletionHandler(installRecord(0))(std::nullopt);
    QCOMPARE(window->statusText()->text(), QStringLiteral("Successfully installed Demo Viewer"));
    QVERIFY(!window->progressView()->isVisible());
    QVERIFY(window->quitButton()->isVisible());
    QCOMPARE(m_log->lines().last(), QStringLiteral("Install complete"));
    QVERIFY(m_terminations.isEmpty()); // waits for the user
}

void WindowTest::installedWithAutoLaunchLaunchesAndQuits()
{
    ZAVInstallerWindow *window = load();
    QVERIFY(window);
    QTRY_COMPARE(m_alerts.size(), 1);
    m_terminations.clear();
    ZAVApplication::sharedApplication().setExitStatus(0); // the feed's failure, above
    window->show();
    QString statusWhenQuit;
    ZAVApplication::sharedApplication().setTerminateHandler([&](const char *sender) {
        statusWhenQuit = window->statusText()->text();
        m_terminations.append(QString::fromLatin1(sender));
    });
    window->installCompletionHandler(installRecord(1))(std::nullopt);
    // Nothing is installed under this id: the launch starts nothing, the installer still quits.
    QCOMPARE(m_terminations, QStringList{QStringLiteral("ZAVAppUtils")});
    QCOMPARE(statusWhenQuit, QStringLiteral("Launching Demo Viewer"));
    QCOMPARE(ZAVApplication::sharedApplication().exitStatus(), 0);
    QVERIFY(window->progressView()->isVisible());
    QVERIFY(!window->quitButton()->isVisible());
}

void WindowTest::installWaitsForTheCopyAskedToQuit_data()
{
    QTest::addColumn<int>("lingerMs"); // how long the copy saves after the quit request
    QTest::addColumn<int>("limitMs");
    QTest::addColumn<QString>("copyWhenInstalling");
    QTest::newRow("the copy exits while waited for") << 300 << 10'000 << "gone";
    QTest::newRow("the limit passes first") << 5000 << 100 << "running";
}

void WindowTest::installWaitsForTheCopyAskedToQuit()
{
    QFETCH(int, lingerMs);
    QFETCH(int, limitMs);
    QFETCH(QString, copyWhenInstalling);
    QTemporaryDir tmp;
    ZAVScopedEnvironment tmpdir("TMPDIR", QFile::encodeName(tmp.path()));
    const auto data = installRecord(0);
    data->setBundleId(QStringLiteral("org.example.ZavWindowTestRunning.t%1").arg(getpid()));
    // A copy of the product, as its desktop entry starts it.
    QProcess copy;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("GIO_LAUNCHED_DESKTOP_FILE_PID"));
    env.insert(QStringLiteral("GIO_LAUNCHED_DESKTOP_FILE"),
               "/nowhere/" + *data->bundleId() + ".desktop");
    env.insert(QStringLiteral("ZAV_FIXTURE_LINGER_MS"), QString::number(lingerMs));
    copy.setProcessEnvironment(env);
    copy.start(QStringLiteral(ZAV_FIXTURE_PROGRAM), {QStringLiteral("--record"), tmp.path()});
    QVERIFY(copy.waitForStarted());
    QTRY_VERIFY(QFile::exists(tmp.filePath(QString::number(copy.processId()) + ".started")));
    // The stand-in package installer notes whether the copy was still there when it ran.
    const QString installer = tmp.filePath("installer");
    const QString seen = tmp.filePath("seen");
    QVERIFY(
        writeFile(installer, QStringLiteral("#!/bin/sh\nstate=$(sed 's/.*) //' /proc/%1/stat "
                                            "2>/dev/null | cut -d' ' -f1)\ncase \"$state\" in "
                                            "''|Z|X) echo gone;; *) echo running;; esac > '%2'\n")
                                 .arg(copy.processId())
                                 .arg(seen)
                                 .toUtf8()));
    QVERIFY(QFile::setPermissions(installer, QFile::ReadOwner | QFile::ExeOwner));
    ZAVInstallerWindow *window = load();
    QVERIFY(window);
    QTRY_COMPARE(m_alerts.size(), 1);
    m_alerts.clear();
    ZAVInstallationOptions options;
    options.packageInstallerPath = QFile::encodeName(installer);
    options.quitWait = std::chrono::milliseconds(limitMs);
    window->setInstallManager(ZAVInstallationManager::initWithFeedData(data, options));
    window->downloadCompletionHandler(data)(QStringLiteral("/tmp/x"), std::nullopt);
    QCOMPARE(m_alerts.size(), 1); // the quit alert, answered "Quit & Install"
    QCOMPARE(window->statusText()->text(), QStringLiteral("Waiting for Demo Viewer to quit..."));
    QCOMPARE(window->progressView()->maximum(), 0); // the bar stays busy
    QTRY_VERIFY_WITH_TIMEOUT(m_log->contains("Install complete"), 10'000);
    QCOMPARE(QString::fromUtf8(fileContents(seen)).trimmed(), copyWhenInstalling);
    QCOMPARE(window->statusText()->text(), QStringLiteral("Successfully installed Demo Viewer"));
    copy.kill();
    copy.waitForFinished();
}

void WindowTest::alertShowsItsTextsAsWritten()
{
    // The real message box, answered with Return: markup and "&" are shown, never interpreted.
    ZAVAlert::setResponder(nullptr);
    ZAVAlert alert;
    alert.setMessageText(QStringLiteral("<b>Quit</b> and continue installation"));
    alert.setInformativeText(QStringLiteral("<img src=x> is currently running."));
    alert.addButtonWithTitle(QStringLiteral("Quit & Install"));
    alert.setAlertStyle(ZAVInformationalAlertStyle);
    QString buttonText;
    Qt::TextFormat textFormat = Qt::RichText;
    Qt::TextFormat informativeFormat = Qt::RichText;
    QTimer::singleShot(0, this, [&] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        QVERIFY(box);
        textFormat = box->textFormat();
        if (auto *label = box->findChild<QLabel *>(QStringLiteral("qt_msgbox_informativelabel")))
            informativeFormat = label->textFormat();
        QCOMPARE(box->buttons().size(), 1);
        buttonText = box->buttons().first()->text();
        QTest::keyClick(box, Qt::Key_Return);
    });
    QCOMPARE(alert.runModal(), ZAVAlertFirstButtonReturn);
    QCOMPARE(buttonText, QStringLiteral("Quit && Install"));
    QCOMPARE(textFormat, Qt::PlainText);
    QCOMPARE(informativeFormat, Qt::PlainText);
}

void WindowTest::alertIsADialogAsWideAsItsTitle_data()
{
    QTest::addColumn<QString>("title");
    QTest::newRow("short") << QStringLiteral("Unsupported OS version");
    QTest::newRow("the quit alert") << QStringLiteral("Quit and continue installation");
    QTest::newRow("long") << QStringLiteral("Could not complete installation of Demo Viewer 4.2");
}

void WindowTest::alertIsADialogAsWideAsItsTitle()
{
    // The real message box: a dialog without minimise or maximise, wider than its bold title.
    QFETCH(QString, title);
    ZAVAlert::setResponder(nullptr);
    ZAVAlert alert;
    alert.setMessageText(title);
    alert.setInformativeText(QStringLiteral("Short."));
    Qt::WindowFlags flags;
    int width = 0;
    QTimer::singleShot(0, this, [&] {
        QWidget *box = QApplication::activeModalWidget();
        QVERIFY(box);
        flags = box->windowFlags();
        width = box->width();
        QTest::keyClick(box, Qt::Key_Return);
    });
    alert.runModal();
    QCOMPARE(flags & Qt::WindowType_Mask, Qt::Dialog);
    QVERIFY(!(flags & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint)));
    QFont bold = QApplication::font("QMdiSubWindowTitleBar");
    bold.setBold(true);
    QVERIFY2(width > QFontMetrics(bold).horizontalAdvance(title) + 100,
             qPrintable(QString::number(width)));
}

void WindowTest::detailLineAndRetryStatusThenEscapeCancelsTheDownload()
{
    QTemporaryDir tmp;
    ZAVScopedEnvironment tmpdir("TMPDIR", QFile::encodeName(tmp.path()));
    ZAVFakeHTTPServer server;
    ZAVFakeHTTPServer::Route stalled = ZAVFakeHTTPServer::ok(QByteArray(1 << 20, 'x'));
    stalled.closeAfterBytes = 1000; // then stalls: the connection stays open
    stalled.chunkSize = 1000;
    stalled.chunkDelayMs = 60'000;
    server.setRoute("/DemoViewer.tar.gz", stalled);
    ZAVInstallerWindow *window = load();
    QVERIFY(window);
    QTRY_COMPARE(m_alerts.size(), 1);
    m_terminations.clear();
    auto data = installRecord(0);
    data->setPkgUrl(server.url("/DemoViewer.tar.gz").toString());
    window->feedLoadedWithData(data);
    QTRY_COMPARE(
        QDir(tmp.path() + "/zav-" + QString::number(geteuid())).entryList(QDir::Files).size(), 1);

    const ZAVTransferBlock transfer = window->transferHandler();
    const QLabel *detail = window->detailText();
    transfer({12'400'000, 85'000'000});
    QCOMPARE(detail->text(), QStringLiteral("12.4 MB of 85.0 MB"));
    transfer({13'000'000, 85'000'000}); // within a quarter second: not shown
    QCOMPARE(detail->text(), QStringLiteral("12.4 MB of 85.0 MB"));
    transfer({0, -1, 2, 5, 4});
    QCOMPARE(window->statusText()->text(),
             QStringLiteral("Connection lost. Retrying in 4 s (attempt 2 of 5)..."));
    // The detail line is rated by the clock: these waits let the time pass that it reckons by.
    QTest::qWait(300);
    transfer({20'000'000, 85'000'000});
    QCOMPARE(window->statusText()->text(), QStringLiteral("Downloading Demo Viewer - 4.2"));
    QCOMPARE(detail->text(), QStringLiteral("20.0 MB of 85.0 MB")); // no time left before 2 s
    for (int i = 1; i <= 7; ++i) {
        QTest::qWait(260);
        transfer({20'000'000 + i * 2'500'000, 85'000'000}); // 10 MB/s
    }
    QCOMPARE(detail->text(), QStringLiteral("37.5 MB of 85.0 MB, about 5 s left"));
    QTest::qWait(260);
    transfer({300'000'000, -1});
    QCOMPARE(detail->text(), QStringLiteral("300 MB"));

    window->show();
    QTest::keyClick(window, Qt::Key_Escape);
    QCOMPARE(m_terminations, QStringList{QStringLiteral("ZAVInstallerWindow")});
    QCOMPARE(ZAVApplication::sharedApplication().exitStatus(), 1);
    QVERIFY(QDir(tmp.path() + "/zav-" + QString::number(geteuid())).isEmpty());
}

void WindowTest::closeDuringTheInstallWaitsAndQuitsWithItsResult_data()
{
    QTest::addColumn<int>("exitStatus");
    QTest::newRow("installed") << 0;
    QTest::newRow("install failed") << 1;
}

void WindowTest::closeDuringTheInstallWaitsAndQuitsWithItsResult()
{
    QFETCH(int, exitStatus);
    QTemporaryDir tmp;
    ZAVScopedEnvironment tmpdir("TMPDIR", QFile::encodeName(tmp.path()));
    // The stand-in for the package installer runs until the test lets it go (10 s at most).
    const QString installer = tmp.filePath("slow-installer");
    const QString release = tmp.filePath("release");
    QVERIFY(writeFile(installer, QStringLiteral("#!/bin/sh\nn=0\nwhile [ ! -e '%1' ] && "
                                                "[ $n -lt 200 ]; do sleep 0.05; n=$((n+1)); done\n"
                                                "exit %2\n")
                                     .arg(release)
                                     .arg(exitStatus)
                                     .toUtf8()));
    QVERIFY(QFile::setPermissions(installer, QFile::ReadOwner | QFile::ExeOwner));
    ZAVInstallerWindow *window = load();
    QVERIFY(window);
    QTRY_COMPARE(m_alerts.size(), 1);
    m_alerts.clear();
    m_terminations.clear();
    ZAVApplication::sharedApplication().setExitStatus(0); // the feed's failure, above
    const auto data = installRecord(1);
    ZAVInstallationOptions options;
    options.packageInstallerPath = QFile::encodeName(installer);
    window->setInstallManager(ZAVInstallationManager::initWithFeedData(data, options));
    window->downloadCompletionHandler(data)(QStringLiteral("/tmp/x"), std::nullopt);
    window->show();
    QVERIFY(!window->close());
    QCOMPARE(window->statusText()->text(), QStringLiteral("Finishing the installation..."));
    QVERIFY(m_terminations.isEmpty()); // the package installer is left to finish
    QVERIFY(writeFile(release, {}));
    QTRY_COMPARE(m_terminations, QStringList{QStringLiteral("ZAVInstallerWindow")});
    QCOMPARE(ZAVApplication::sharedApplication().exitStatus(), exitStatus);
    QVERIFY(m_alerts.isEmpty());
    QVERIFY(!m_log->contains("Launching")); // closing means: nothing more
}

namespace {
QList<QPair<QAccessible::Event, QString>> g_announcements;
}

void WindowTest::controlsAreNamedAndChangesAnnounced()
{
    ZAVInstallerWindow *window = load();
    QVERIFY(window);
    QTRY_COMPARE(m_alerts.size(), 1);
    for (QWidget *control :
         std::initializer_list<QWidget *>{window->statusText(), window->progressView(),
                                          window->detailText(), window->quitButton()})
        QVERIFY2(!control->accessibleName().isEmpty(), control->objectName().toLatin1());
    g_announcements.clear();
    QPlatformAccessibility *accessibility =
        QGuiApplicationPrivate::platformIntegration()->accessibility();
    QVERIFY(accessibility);
    accessibility->setActive(true); // as when a screen reader listens
    QAccessible::installUpdateHandler([](QAccessibleEvent *event) {
        if (event->type() != QAccessible::DescriptionChanged && event->type() != QAccessible::Alert)
            return;
        auto *widget = qobject_cast<QWidget *>(event->object());
        g_announcements.append(
            {event->type(), widget ? widget->accessibleDescription() : QString()});
    });
    window->feedLoadedWithData(record("P", "1", 0));
    window->showError(ZAVError{"d", 7, "Something broke."});
    window->installCompletionHandler(installRecord(0))(std::nullopt);
    QAccessible::installUpdateHandler(nullptr);
    accessibility->setActive(false);
    const QList<QPair<QAccessible::Event, QString>> expected{
        {QAccessible::DescriptionChanged, "Downloading P"},
        {QAccessible::DescriptionChanged, "Something broke. Please try again later."},
        {QAccessible::Alert, "Something broke. Please try again later."},
        {QAccessible::DescriptionChanged, "Successfully installed Demo Viewer"},
        {QAccessible::Alert, "Successfully installed Demo Viewer"}};
    QCOMPARE(g_announcements, expected);
}

void WindowTest::everyStateShowsTheUsersLanguage_data()
{
    // "pseudo" wraps every text in "[!! ... !!]": a text shown without it escaped translation.
    QTest::addColumn<QString>("language");
    QTest::addColumn<QString>("downloading");
    QTest::addColumn<QString>("detail");
    QTest::addColumn<QString>("quitButton"); // the error alert's
    QTest::addColumn<bool>("rightToLeft");
    QTest::newRow("pseudo") << "pseudo"
                            << "[!! Downloading [!! Demo Viewer - 4.2 !!] !!]"
                            << "[!! [!! 12.4 MB !!] of [!! 85.0 MB !!] !!]"
                            << "[!! Quit Installation !!]" << false;
    QTest::newRow("German") << "de_DE"
                            << "Demo Viewer - 4.2 wird heruntergeladen"
                            << "12,4 MB von 85,0 MB"
                            << "Installation beenden" << false;
    QTest::newRow("French") << "fr_FR"
                            << "Téléchargement de Demo Viewer - 4.2"
                            << "12,4\u00a0Mo sur 85,0\u00a0Mo"
                            << "Quitter l’installation" << false;
    QTest::newRow("Japanese") << "ja_JP"
                              << "Demo Viewer - 4.2 をダウンロード中"
                              << "12.4 MB / 85.0 MB"
                              << "インストールを終了" << false;
    QTest::newRow("Arabic") << "ar_EG"
                            << "جارٍ تنزيل Demo Viewer - 4.2"
                            << "١٢٫٤ ميغابايت من ٨٥٫٠ ميغابايت"
                            << "إنهاء التثبيت" << true;
    QTest::newRow("not shipped: English, the locale's numbers") << "nl_NL"
                                                                << "Downloading Demo Viewer - 4.2"
                                                                << "12,4 MB of 85,0 MB"
                                                                << "Quit Installation" << false;
}

void WindowTest::everyStateShowsTheUsersLanguage()
{
    QFETCH(QString, language);
    QFETCH(QString, downloading);
    QFETCH(QString, detail);
    QFETCH(QString, quitButton);
    QFETCH(bool, rightToLeft);
    QTranslator pseudo;
    if (language == u"pseudo") {
        QVERIFY(
            pseudo.load(qEnvironmentVariable("ZAV_BINARY_DIR") + "/translations/zav_pseudo.qm"));
        QCoreApplication::installTranslator(&pseudo);
    } else {
        QCOMPARE(ZAVInstallTranslations(QLocale(language)).isEmpty(), language == u"nl_NL");
    }
    const auto restore = qScopeGuard([&] {
        QCoreApplication::removeTranslator(&pseudo);
        ZAVRemoveTranslations();
    });
    QTemporaryDir tmp;
    ZAVScopedEnvironment tmpdir("TMPDIR", QFile::encodeName(tmp.path()));
    ZAVFakeHTTPServer server; // the package arrives slowly: the download stage stays
    ZAVFakeHTTPServer::Route stalled = ZAVFakeHTTPServer::ok(QByteArray(1 << 20, 'x'));
    stalled.closeAfterBytes = 1000;
    stalled.chunkDelayMs = 60'000;
    server.setRoute("/DemoViewer.tar.gz", stalled);

    // Each state of the window in turn; `seen` gathers every text it shows.
    ZAVInstallerWindow *window = load();
    QVERIFY(window);
    QCOMPARE(window->layoutDirection() == Qt::RightToLeft, rightToLeft);
    QStringList seen{window->windowTitle(), window->statusText()->text(),
                     window->quitButton()->text()};
    for (const QWidget *control : window->findChildren<QWidget *>())
        seen << control->accessibleName();
    QTRY_COMPARE(m_alerts.size(), 1); // the feed cannot be fetched
    const auto data = installRecord(0);
    data->setPkgUrl(server.url("/DemoViewer.tar.gz").toString());
    window->feedLoadedWithData(data);
    QCOMPARE(window->statusText()->text(), downloading);
    window->transferHandler()({12'400'000, 85'000'000});
    QCOMPARE(window->detailText()->text(), detail);
    window->transferHandler()({0, -1, 2, 5, 4});
    seen << window->statusText()->text();
    window->installManager()->cancelDownload();
    ZAVInstallationOptions options;
    options.packageInstallerPath = "/bin/false";
    window->setInstallManager(ZAVInstallationManager::initWithFeedData(data, options));
    window->downloadCompletionHandler(data)(QStringLiteral("/tmp/x"), std::nullopt);
    seen << window->statusText()->text();
    QTRY_COMPARE(m_alerts.size(), 2); // the package installer failed
    window->installCompletionHandler(installRecord(1))(std::nullopt);
    seen << window->statusText()->text();
    window->installCompletionHandler(data)(std::nullopt);
    seen << window->statusText()->text();
    delete window;
    ZAVSetClassUnavailable(QStringLiteral("ZAVURLSession"));
    QVERIFY(load());
    QTRY_COMPARE(m_alerts.size(), 3); // the compatibility alert
    for (const SeenAlert &alert : std::as_const(m_alerts))
        seen << alert.message << alert.informative << alert.buttons;
    QCOMPARE(m_alerts.first().buttons, QStringList{quitButton});
    if (language == u"pseudo") {
        for (const QString &text : std::as_const(seen))
            QVERIFY2(text.startsWith(u"[!! "), qPrintable("escaped translation: " + text));
    }
}

QTEST_MAIN(WindowTest)
#include "tst_window.moc"

// The installer window from its description: start-up, the feed stage, and its alerts.

#include "app/ZAVInstallerWindow.h"
#include "platform/ZAVAlert.h"
#include "platform/ZAVApplication.h"
#include "platform/ZAVAvailability.h"
#include "tests/support/ZAVTestLog.h"

#include <QtTest>

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
    m_log = std::make_unique<ZAVTestLog>();
    m_alerts.clear();
    m_terminations.clear();
    m_answer = ZAVAlertFirstButtonReturn;
    ZAVAlert::setResponder([this](const ZAVAlert &alert) {
        m_alerts.append({alert.messageText(), alert.informativeText(), alert.buttons(),
                         alert.alertStyle()});
        return m_answer;
    });
    ZAVApplication::sharedApplication().setTerminateHandler(
        [this](const char *sender) { m_terminations.append(QString::fromLatin1(sender)); });
}

void WindowTest::cleanup()
{
    delete m_window;
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
    const QStringList lines = m_log->lines().filter(QRegularExpression("^Error was "));
    QCOMPARE(lines.size(), 1);
    QVERIFY(lines.first().contains("\"Could not connect to the server.\""));
    // The status line is left as it was.
    QCOMPARE(m_window->statusText()->text(), QStringLiteral("Loading..."));
    QTest::qWait(50);
    QCOMPARE(m_alerts.size(), 1);
}

void WindowTest::productNameFollowsDisplayVersion_data()
{
    QTest::addColumn<std::optional<QString>>("version");
    QTest::addColumn<int>("displayVersion");
    QTest::addColumn<QString>("name");
    QTest::newRow("shown") << std::optional<QString>("4.2") << 1 << "Demo Viewer - 4.2";
    QTest::newRow("any non-zero byte") << std::optional<QString>("4.2") << -128 << "Demo Viewer - 4.2";
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
    window->feedLoadedWithData(record(QStringLiteral("Demo Viewer"), version, qint8(displayVersion)));
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
    QCOMPARE(m_alerts.last().informative, QStringLiteral("Something broke. Please try again later."));
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
    QCOMPARE(alert.informative, QStringLiteral("Sorry but your version of OSX is not supported, "
                                               "please upgrade to a newer version."));
    QCOMPARE(alert.buttons, QStringList{QStringLiteral("Ok")});
    QCOMPARE(m_terminations.value(0), QStringLiteral("ZAVAppUtils"));
}

void WindowTest::quitButtonQuits()
{
    ZAVInstallerWindow *window = load();
    QVERIFY(window);
    QTRY_COMPARE(m_alerts.size(), 1);
    m_terminations.clear();
    window->show();
    window->quitButton()->show();
    QTest::mouseClick(window->quitButton(), Qt::LeftButton);
    QCOMPARE(m_terminations, QStringList{QStringLiteral("ZAVAppUtils")});
    window->quitAction(window);
    QCOMPARE(m_terminations.size(), 2);
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

QTEST_MAIN(WindowTest)
#include "tst_window.moc"

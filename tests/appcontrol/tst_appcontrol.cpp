// Application control: the installed-application layout, how running copies of the product are
// recognised, the quit alert and quit request, and the launch of the installed product. Copies
// of the fixture product (tests/fixture) are real processes; every one is ended in cleanup().

#include "appcontrol/ZAVAppUtils.h"
#include "base/ZAVUserAppLayout.h"
#include "platform/ZAVAlert.h"
#include "platform/ZAVApplication.h"
#include "platform/ZAVRunningApplication.h"
#include "tests/support/ZAVTestFiles.h"
#include "tests/support/ZAVTestSandbox.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QMessageBox>
#include <QProcess>
#include <QtGui/qpa/qwindowsysteminterface.h>
#include <QtTest>

#include <csignal>
#include <cstdlib>
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

class AppControlTest : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void applicationIdsFollowTheReverseDnsRules_data();
    void applicationIdsFollowTheReverseDnsRules();
    void layoutPlacesEveryFileUnderTheHome();
    void rootHomeGivesNoDoubleSlash();
    void iconPathRefusesExtensionsThatAreNotIcons_data();
    void iconPathRefusesExtensionsThatAreNotIcons();

    void cgroupScopesAndServicesName_data();
    void cgroupScopesAndServicesName();
    void launchEnvironmentNames_data();
    void launchEnvironmentNames();
    void executableMustLieInsideTheDirectory_data();
    void executableMustLieInsideTheDirectory();

    void noCopyRunningShowsNoAlertAndReturnsAtOnce();
    void alertTextsCarryTheProductName_data();
    void alertTextsCarryTheProductName();
    void quitRequestIsSentOnTheButtonWithoutWaitingForExit();
    void otherAnswerLeavesTheCopyRunning();
    void twoCopiesGiveOneAlertAndOnlyTheOldestIsAsked();
    void sameProgramOutsideTheDirectoryIsNotMatched();
    void copyLaunchedFromTheDesktopEntryIsMatchedWherever();
    void anotherUsersCopyIsNeverListed();
    void handleOfAnExitedCopySignalsNothing();
    void copyAskedToQuitIsWaitedForUntilItExitsOrTheLimit_data();
    void copyAskedToQuitIsWaitedForUntilItExitsOrTheLimit();
    void quitAlertIsAnsweredByItsButtonAloneNeverByEscapeOrClosing_data();
    void quitAlertIsAnsweredByItsButtonAloneNeverByEscapeOrClosing();

    void installedProductIsLaunchedDetachedAndTheInstallerQuits();
    void integratedEntryIsFoundOutsideTheDataHome();
    void unknownOrInvalidIdLaunchesNothingAndStillQuits_data();
    void unknownOrInvalidIdLaunchesNothingAndStillQuits();

private:
    QProcess *startCopy(const QString &program, const QStringList &environment = {},
                        const std::function<void()> &childSetup = {});
    QList<qint64> startedPids() const;
    QList<qint64> terminatedPids() const;

    std::vector<std::unique_ptr<QProcess>> m_copies;
};

namespace {

// Set up by main() before anything can ask GIO or GLib for the user's directories.
struct Sandbox : ZAVTestSandbox {
    QString dataHome;     // $XDG_DATA_HOME, apart from <home>/.local/share on purpose
    QString id;           // installed, with decoy entries in $XDG_DATA_HOME and $XDG_DATA_DIRS
    QString integratedId; // installed with its entry only in <home>/.local/share/applications
    QString installedProgram;
    QString integratedProgram;
};
Sandbox g_sandbox;

struct SeenAlert {
    QString messageText;
    QString informativeText;
    QStringList buttons;
    int alertStyle = -1;
    QList<qint64> terminatedWhenShown;
};

const QString kInformativeRest =
    QStringLiteral(" is currently running. Please close the application to continue installation.");

QString readText(const QString &path)
{
    return QString::fromUtf8(fileContents(path));
}

QString fixtureEntry(const QString &program)
{
    QString entry = readText(QStringLiteral(ZAV_FIXTURE_DESKTOP_TEMPLATE));
    entry.replace(QStringLiteral("@ZAV_FIXTURE_NAME@"), QStringLiteral("Zav Fixture"));
    entry.replace(QStringLiteral("@ZAV_FIXTURE_EXEC@"), program);
    entry.replace(QStringLiteral("@ZAV_FIXTURE_ICON@"), QStringLiteral("zav-fixture"));
    entry.replace(QStringLiteral("@ZAV_FIXTURE_VERSION@"), QStringLiteral("1.0"));
    return entry;
}

// The layout and its paths as the Qt side of the tests speaks of them.
std::optional<ZAVUserAppLayout> layoutFor(const QString &id, const QString &home)
{
    return ZAVUserAppLayout::forApplication(id.toStdString(),
                                            QFile::encodeName(home).toStdString());
}

QString text(const std::string &path)
{
    return QFile::decodeName(QByteArray::fromStdString(path));
}

// Lays out an installed copy of the fixture: the program at <appdir>/bin/zav-fixture and a
// desktop entry at `entryPath` whose Exec= names it by absolute path, as zav-pkg leaves it.
QString installFixture(const QString &id, const QString &entryPath)
{
    const auto layout = layoutFor(id, g_sandbox.home);
    if (!layout)
        return QString();
    const QString program =
        text(layout->applicationDirectory()) + QStringLiteral("/bin/zav-fixture");
    QDir().mkpath(QFileInfo(program).absolutePath());
    if (!QFile::copy(QStringLiteral(ZAV_FIXTURE_PROGRAM), program))
        return QString();
    return writeFile(entryPath, fixtureEntry(program).toUtf8()) ? program : QString();
}

bool setUpSandbox()
{
    Sandbox &s = g_sandbox;
    if (!s.setUp("appcontrol"))
        return false;
    // Traversable, so that a copy run as another user can be started from inside.
    chmod(QFile::encodeName(s.root).constData(), 0755);
    chmod(QFile::encodeName(s.records).constData(), 01777);
    s.dataHome = s.root + QStringLiteral("/data-home");
    const QString dataDirs = s.root + QStringLiteral("/data-dirs");
    for (const QString &dir : {s.dataHome, dataDirs})
        QDir().mkpath(dir);

    // Ids of this run only: a copy another test launches for the fixture's usual id, which
    // the look-up would rightly count, is never taken for one of ours.
    const QString run = QStringLiteral("t%1").arg(getpid());
    s.id = QStringLiteral("org.example.ZavFixture.") + run;
    s.integratedId = QStringLiteral("org.example.ZavFixtureIntegrated.") + run;

    qputenv("XDG_DATA_HOME", QFile::encodeName(s.dataHome));
    qputenv("XDG_DATA_DIRS", QFile::encodeName(dataDirs));

    // Entries of the same id earlier on the XDG data path start a decoy program: the launch
    // must take the entry zav-pkg integrated, never one of these.
    const QString decoy = s.root + QStringLiteral("/decoy/zav-fixture");
    QDir().mkpath(QFileInfo(decoy).absolutePath());
    for (const QString &dir : {s.dataHome, dataDirs}) {
        if (!writeFile(dir + QStringLiteral("/applications/") + s.id + QStringLiteral(".desktop"),
                       fixtureEntry(decoy).toUtf8()))
            return false;
    }
    if (!QFile::copy(QStringLiteral(ZAV_FIXTURE_PROGRAM), decoy))
        return false;
    s.installedProgram = installFixture(s.id, text(layoutFor(s.id, s.home)->desktopEntryPath()));
    s.integratedProgram =
        installFixture(s.integratedId, text(layoutFor(s.integratedId, s.home)->desktopEntryPath()));
    return !s.installedProgram.isEmpty() && !s.integratedProgram.isEmpty();
}

std::vector<SeenAlert> g_alerts;

// Answers every alert with `answer`, noting what it showed and who had been asked to quit.
void answerAlerts(long answer, const std::function<QList<qint64>()> &terminated)
{
    g_alerts.clear();
    ZAVAlert::setResponder([answer, terminated](const ZAVAlert &alert) {
        g_alerts.push_back({alert.messageText(), alert.informativeText(), alert.buttons(),
                            alert.alertStyle(), terminated()});
        return answer;
    });
}

int g_terminations = 0;

qint64 parentOf(qint64 pid, qint64 *session)
{
    const QString stat = readText(QStringLiteral("/proc/%1/stat").arg(pid));
    const QStringList fields = stat.mid(stat.lastIndexOf(u')') + 2).split(u' ');
    if (fields.size() < 4)
        return -1;
    *session = fields[3].toLongLong();
    return fields[1].toLongLong();
}

QList<qint64> pidsOf(const std::vector<ZAVRunningApplication> &running)
{
    QList<qint64> pids;
    for (const ZAVRunningApplication &app : running)
        pids.append(app.processIdentifier());
    return pids;
}

} // namespace

static QList<qint64> pidsWithRecord(const QString &suffix)
{
    QList<qint64> pids;
    const QStringList names = QDir(g_sandbox.records).entryList({u'*' + suffix}, QDir::Files);
    for (const QString &name : names)
        pids.append(name.chopped(suffix.size()).toLongLong());
    std::sort(pids.begin(), pids.end());
    return pids;
}

QList<qint64> AppControlTest::startedPids() const
{
    return pidsWithRecord(QStringLiteral(".started"));
}

QList<qint64> AppControlTest::terminatedPids() const
{
    return pidsWithRecord(QStringLiteral(".terminated"));
}

QProcess *AppControlTest::startCopy(const QString &program, const QStringList &environment,
                                    const std::function<void()> &childSetup)
{
    auto copy = g_sandbox.startFixture(program, environment, childSetup);
    if (!copy)
        return nullptr;
    m_copies.push_back(std::move(copy));
    return m_copies.back().get();
}

void AppControlTest::init()
{
    g_alerts.clear();
    g_terminations = 0;
    ZAVApplication::sharedApplication().setTerminateHandler([](const char *) { ++g_terminations; });
    QVERIFY(!g_sandbox.root.isEmpty());
}

void AppControlTest::cleanup()
{
    ZAVAlert::setResponder(nullptr);
    ZAVApplication::sharedApplication().setTerminateHandler(nullptr);
    for (auto &copy : m_copies) {
        copy->kill();
        copy->waitForFinished(5000);
    }
    m_copies.clear();
    // Copies launched through the desktop are nobody's children here: end every one still
    // running from the sandbox.
    for (const qint64 pid : startedPids()) {
        QFileInfo exe(QStringLiteral("/proc/%1/exe").arg(pid));
        if (exe.symLinkTarget().startsWith(g_sandbox.root + u'/'))
            ::kill(static_cast<pid_t>(pid), SIGKILL);
    }
    g_sandbox.clearRecords();
}

// --- The installed-application layout ---------------------------------------------------

void AppControlTest::applicationIdsFollowTheReverseDnsRules_data()
{
    QTest::addColumn<QString>("id");
    QTest::addColumn<bool>("valid");
    QTest::newRow("reverse-dns") << "org.example.DemoViewer" << true;
    QTest::newRow("two elements") << "a.b" << true;
    QTest::newRow("underscore and dash") << "org.example_1.demo-viewer" << true;
    QTest::newRow("digit inside element") << "org.x1.y2" << true;
    QTest::newRow("255 characters") << QStringLiteral("org.") + QString(251, u'a') << true;
    QTest::newRow("256 characters") << QStringLiteral("org.") + QString(252, u'a') << false;
    QTest::newRow("empty") << "" << false;
    QTest::newRow("one element") << "a" << false;
    QTest::newRow("parent directory") << "../x" << false;
    QTest::newRow("trailing dot") << "org.example." << false;
    QTest::newRow("leading dot") << ".org.example" << false;
    QTest::newRow("empty element") << "org..example" << false;
    QTest::newRow("starts with a digit") << "1org.x" << false;
    QTest::newRow("element starts with a digit") << "org.1x" << false;
    QTest::newRow("slash") << "org.example/x" << false;
    QTest::newRow("blank") << "org.example.Demo Viewer" << false;
    QTest::newRow("non-ascii letter") << QStringLiteral("org.ex\u00e4mple.x") << false;
    QTest::newRow("non-ascii digit first") << QStringLiteral("org.\u0661x") << false;
    QTest::newRow("nul") << QStringLiteral("org.ex") + QChar(0) + QStringLiteral("x") << false;
}

void AppControlTest::applicationIdsFollowTheReverseDnsRules()
{
    QFETCH(QString, id);
    QFETCH(bool, valid);
    QCOMPARE(ZAVUserAppLayout::isValidApplicationId(id.toStdString()), valid);
    QCOMPARE(ZAVUserAppLayout::forApplication(id.toStdString(), "/home/u").has_value(), valid);
}

void AppControlTest::layoutPlacesEveryFileUnderTheHome()
{
    const auto layout = ZAVUserAppLayout::forApplication("org.example.Demo", "/home/u/./x/../");
    QVERIFY(layout);
    QCOMPARE(layout->home(), "/home/u");
    QCOMPARE(layout->applicationDirectory(), "/home/u/.local/opt/org.example.Demo");
    QCOMPARE(layout->desktopEntryPath(),
             "/home/u/.local/share/applications/org.example.Demo.desktop");
    QCOMPARE(layout->receiptPath(), "/home/u/.local/share/zav/receipts/org.example.Demo.json");
    QCOMPARE(layout->iconPath("svg"),
             "/home/u/.local/share/icons/hicolor/scalable/apps/org.example.Demo.svg");
    QCOMPARE(layout->iconPath("PNG"),
             "/home/u/.local/share/icons/hicolor/256x256/apps/org.example.Demo.png");

    QVERIFY(!ZAVUserAppLayout::forApplication("org.example.Demo", "home/u"));
    QVERIFY(!ZAVUserAppLayout::forApplication("org.example.Demo", ""));
}

void AppControlTest::rootHomeGivesNoDoubleSlash()
{
    const auto layout = ZAVUserAppLayout::forApplication("org.example.Demo", "/");
    QVERIFY(layout);
    QCOMPARE(layout->applicationDirectory(), "/.local/opt/org.example.Demo");
    QCOMPARE(layout->desktopEntryPath(), "/.local/share/applications/org.example.Demo.desktop");
    QCOMPARE(layout->receiptPath(), "/.local/share/zav/receipts/org.example.Demo.json");
}

void AppControlTest::iconPathRefusesExtensionsThatAreNotIcons_data()
{
    QTest::addColumn<QString>("extension");
    QTest::newRow("climbs out") << "/../../../../.bashrc";
    QTest::newRow("empty") << "";
    QTest::newRow("other format") << "xpm";
    QTest::newRow("svg with more") << "svg/x";
}

void AppControlTest::iconPathRefusesExtensionsThatAreNotIcons()
{
    QFETCH(QString, extension);
    const auto layout = ZAVUserAppLayout::forApplication("org.example.Demo", "/home/u");
    QVERIFY(layout);
    QCOMPARE(layout->iconPath(extension.toStdString()), std::string());
}

// --- How a process is recognised as a copy ----------------------------------------------

void AppControlTest::cgroupScopesAndServicesName_data()
{
    QTest::addColumn<QString>("cgroup");
    QTest::addColumn<QString>("id");
    QTest::addColumn<bool>("names");
    const QString user =
        QStringLiteral("0::/user.slice/user-1000.slice/user@1000.service/app.slice/");
    const QString demo = QStringLiteral("org.example.Demo");
    QTest::newRow("launcher scope") << user + "app-gnome-org.example.Demo-4242.scope\n"
                                    << demo << true;
    QTest::newRow("scope without launcher")
        << user + "app-org.example.Demo-a1b2c3.scope" << demo << true;
    QTest::newRow("sandbox launcher")
        << user + "app-flatpak-org.example.Demo-77.scope" << demo << true;
    QTest::newRow("service") << user + "app-org.example.Demo.service" << demo << true;
    QTest::newRow("service instance")
        << user + "app-gnome-org.example.Demo@ab12.service" << demo << true;
    QTest::newRow("escaped dash in id") << user + "app-gnome-org.example.demo\\x2dviewer-7.scope"
                                        << "org.example.demo-viewer" << true;
    QTest::newRow("legacy hierarchy")
        << "12:name=systemd:/user.slice/app-gnome-org.example.Demo-9.scope\n11:memory:/\n"
        << demo << true;

    QTest::newRow("longer id") << user + "app-gnome-org.example.DemoViewer-4242.scope" << demo
                               << false;
    QTest::newRow("shorter id") << user + "app-gnome-org.example.Demo-4242.scope"
                                << "example.Demo" << false;
    QTest::newRow("scope without its random part")
        << user + "app-org.example.Demo.scope" << demo << false;
    QTest::newRow("unescaped dash is a separator")
        << user + "app-gnome-org.example.demo-viewer-7.scope"
        << "org.example.demo-viewer" << false;
    QTest::newRow("shells a terminal spawned")
        << user + "app-org.example.Demo.slice/vte-spawn-1f2e.scope" << demo << false;
    QTest::newRow("not an application unit") << user + "org.example.Demo-1.scope" << demo << false;
    QTest::newRow("session scope")
        << "0::/user.slice/user-1000.slice/session-2.scope" << demo << false;
    QTest::newRow("empty") << "" << demo << false;
}

void AppControlTest::cgroupScopesAndServicesName()
{
    QFETCH(QString, cgroup);
    QFETCH(QString, id);
    QFETCH(bool, names);
    QCOMPARE(ZAVRunningApplication::cgroupNamesApplication(cgroup, id), names);
}

static QByteArray environmentOf(std::initializer_list<QByteArray> entries)
{
    QByteArray environment;
    for (const QByteArray &entry : entries)
        environment += entry + '\0';
    return environment;
}

void AppControlTest::launchEnvironmentNames_data()
{
    QTest::addColumn<QByteArray>("environment");
    QTest::addColumn<bool>("names");
    const QByteArray entry = "GIO_LAUNCHED_DESKTOP_FILE=/home/u/.local/share/applications/"
                             "org.example.Demo.desktop";
    const QByteArray other = "GIO_LAUNCHED_DESKTOP_FILE=/home/u/.local/share/applications/"
                             "org.example.Other.desktop";
    QTest::newRow("launched, own pid")
        << environmentOf({"A=1", entry, "GIO_LAUNCHED_DESKTOP_FILE_PID=42"}) << true;
    QTest::newRow("launched, no pid recorded") << environmentOf({entry}) << true;
    QTest::newRow("inherited by a child")
        << environmentOf({entry, "GIO_LAUNCHED_DESKTOP_FILE_PID=41"}) << false;
    QTest::newRow("pid not a number")
        << environmentOf({entry, "GIO_LAUNCHED_DESKTOP_FILE_PID=x"}) << false;
    QTest::newRow("id ends another id")
        << environmentOf({"GIO_LAUNCHED_DESKTOP_FILE=/a/xorg.example.Demo.desktop"}) << false;
    QTest::newRow("another id") << environmentOf({other}) << false;
    QTest::newRow("bare file name")
        << environmentOf({"GIO_LAUNCHED_DESKTOP_FILE=org.example.Demo.desktop"}) << false;
    QTest::newRow("other variable") << environmentOf({"X" + entry}) << false;
    QTest::newRow("first definition counts") << environmentOf({other, entry}) << false;
    QTest::newRow("empty") << QByteArray() << false;
}

void AppControlTest::launchEnvironmentNames()
{
    QFETCH(QByteArray, environment);
    QFETCH(bool, names);
    QCOMPARE(
        ZAVRunningApplication::environmentNamesApplication(environment, 42, u"org.example.Demo"),
        names);
}

void AppControlTest::executableMustLieInsideTheDirectory_data()
{
    QTest::addColumn<QString>("executable");
    QTest::addColumn<bool>("inside");
    QTest::newRow("inside") << "/h/.local/opt/org.x.y/bin/p" << true;
    QTest::newRow("sibling with a longer name") << "/h/.local/opt/org.x.yz/bin/p" << false;
    QTest::newRow("the directory itself") << "/h/.local/opt/org.x.y" << false;
    QTest::newRow("unknown") << "" << false;
}

void AppControlTest::executableMustLieInsideTheDirectory()
{
    QFETCH(QString, executable);
    QFETCH(bool, inside);
    QCOMPARE(ZAVRunningApplication::executableLiesInDirectory(executable, "/h/.local/opt/org.x.y"),
             inside);
    QCOMPARE(ZAVRunningApplication::executableLiesInDirectory(executable, "/h/.local/opt/org.x.y/"),
             inside);
}

// --- Finding and quitting a running copy -------------------------------------------------

void AppControlTest::noCopyRunningShowsNoAlertAndReturnsAtOnce()
{
    // The program itself runs, but from the build, not as the installed product.
    QVERIFY(startCopy(QStringLiteral(ZAV_FIXTURE_PROGRAM)));
    answerAlerts(ZAVAlertFirstButtonReturn, [this] { return terminatedPids(); });
    QElapsedTimer timer;
    timer.start();
    ZAVAppUtils::checkandCloseApplicationWithBundleID(g_sandbox.id, QStringLiteral("Demo"));
    QVERIFY2(timer.elapsed() < 1000, qPrintable(QString::number(timer.elapsed())));
    QCOMPARE(g_alerts.size(), 0u);
    QVERIFY(ZAVRunningApplication::runningApplicationsWithBundleIdentifier(g_sandbox.id).empty());
}

void AppControlTest::alertTextsCarryTheProductName_data()
{
    QTest::addColumn<std::optional<QString>>("product");
    QTest::addColumn<QString>("informative");
    QTest::newRow("name") << std::optional<QString>(QStringLiteral("Demo Viewer"))
                          << QStringLiteral("Demo Viewer") + kInformativeRest;
    QTest::newRow("empty name keeps the leading blank")
        << std::optional<QString>(QString()) << kInformativeRest;
    QTest::newRow("absent name") << std::optional<QString>()
                                 << QStringLiteral("(null)") + kInformativeRest;
    QTest::newRow("format and markup kept as text")
        << std::optional<QString>(QStringLiteral("<b>%@ 100%</b>"))
        << QStringLiteral("<b>%@ 100%</b>") + kInformativeRest;
}

void AppControlTest::alertTextsCarryTheProductName()
{
    QFETCH(std::optional<QString>, product);
    QFETCH(QString, informative);
    QVERIFY(startCopy(g_sandbox.installedProgram));
    answerAlerts(ZAVAlertFirstButtonReturn + 1, [this] { return terminatedPids(); });
    ZAVAppUtils::checkandCloseApplicationWithBundleID(g_sandbox.id, product);
    QCOMPARE(g_alerts.size(), 1u);
    QCOMPARE(g_alerts[0].messageText, "Quit and continue installation");
    QCOMPARE(g_alerts[0].informativeText, informative);
    QCOMPARE(g_alerts[0].buttons, QStringList{"Quit & Install"});
    QCOMPARE(g_alerts[0].alertStyle, 1);
}

void AppControlTest::quitRequestIsSentOnTheButtonWithoutWaitingForExit()
{
    // The copy takes three seconds to exit after the request, as one saving its work would.
    QProcess *copy = startCopy(g_sandbox.installedProgram, {"ZAV_FIXTURE_LINGER_MS=3000"});
    QVERIFY(copy);
    const qint64 pid = copy->processId();
    answerAlerts(ZAVAlertFirstButtonReturn, [this] { return terminatedPids(); });
    QElapsedTimer timer;
    timer.start();
    ZAVAppUtils::checkandCloseApplicationWithBundleID(g_sandbox.id, QStringLiteral("Demo"));
    QVERIFY2(timer.elapsed() < 2000, qPrintable(QString::number(timer.elapsed())));
    QCOMPARE(g_alerts.size(), 1u);
    QVERIFY(g_alerts[0].terminatedWhenShown.isEmpty()); // asked only after the answer
    QTRY_COMPARE_WITH_TIMEOUT(terminatedPids(), QList<qint64>{pid}, 5000);
    // SIGTERM came from the installer itself.
    QCOMPARE(readText(g_sandbox.record(pid, "terminated")).trimmed().toLongLong(), getpid());
    QVERIFY(copy->waitForFinished(10000));
    QCOMPARE(copy->exitStatus(), QProcess::NormalExit);
    QCOMPARE(copy->exitCode(), 0);
}

void AppControlTest::otherAnswerLeavesTheCopyRunning()
{
    QProcess *copy = startCopy(g_sandbox.installedProgram);
    QVERIFY(copy);
    answerAlerts(0, [this] { return terminatedPids(); });
    ZAVAppUtils::checkandCloseApplicationWithBundleID(g_sandbox.id, QStringLiteral("Demo"));
    QCOMPARE(g_alerts.size(), 1u);
    QVERIFY(!copy->waitForFinished(300));
    QVERIFY(terminatedPids().isEmpty());
}

void AppControlTest::twoCopiesGiveOneAlertAndOnlyTheOldestIsAsked()
{
    QProcess *oldest = startCopy(g_sandbox.installedProgram);
    QVERIFY(oldest);
    QTest::qWait(50); // start times count in clock ticks
    QProcess *newer = startCopy(g_sandbox.installedProgram);
    QVERIFY(newer);

    QCOMPARE(pidsOf(ZAVRunningApplication::runningApplicationsWithBundleIdentifier(g_sandbox.id)),
             (QList<qint64>{oldest->processId(), newer->processId()}));

    const qint64 oldestPid = oldest->processId();
    answerAlerts(ZAVAlertFirstButtonReturn, [this] { return terminatedPids(); });
    ZAVAppUtils::checkandCloseApplicationWithBundleID(g_sandbox.id, QStringLiteral("Demo"));
    QCOMPARE(g_alerts.size(), 1u);
    QVERIFY(oldest->waitForFinished(5000));
    QVERIFY(!newer->waitForFinished(300));
    QCOMPARE(terminatedPids(), QList<qint64>{oldestPid});
}

void AppControlTest::sameProgramOutsideTheDirectoryIsNotMatched()
{
    const QString program = QStringLiteral(ZAV_FIXTURE_PROGRAM);
    const QString entries = g_sandbox.dataHome + QStringLiteral("/applications/");
    QVERIFY(startCopy(program));
    // Launched for other products, or a child that inherited the launch of ours.
    QVERIFY(startCopy(program,
                      {"GIO_LAUNCHED_DESKTOP_FILE=" + entries + "x" + g_sandbox.id + ".desktop"}));
    QVERIFY(startCopy(program,
                      {"GIO_LAUNCHED_DESKTOP_FILE=" + entries + g_sandbox.id + ".desktop.bak"}));
    QVERIFY(startCopy(program, {"GIO_LAUNCHED_DESKTOP_FILE=" + entries + g_sandbox.id + ".desktop",
                                "GIO_LAUNCHED_DESKTOP_FILE_PID=1"}));
    // A copy of the product's program kept beside the installed one.
    const QString beside = g_sandbox.home + QStringLiteral("/.local/opt/") + g_sandbox.id +
                           QStringLiteral("-old/bin/zav-fixture");
    QDir().mkpath(QFileInfo(beside).absolutePath());
    QVERIFY(QFile::exists(beside) || QFile::copy(program, beside));
    QVERIFY(startCopy(beside));

    answerAlerts(ZAVAlertFirstButtonReturn, [this] { return terminatedPids(); });
    ZAVAppUtils::checkandCloseApplicationWithBundleID(g_sandbox.id, QStringLiteral("Demo"));
    QCOMPARE(g_alerts.size(), 0u);
    QTest::qWait(200); // a late quit request would arrive meanwhile
    QVERIFY(terminatedPids().isEmpty());
}

void AppControlTest::copyLaunchedFromTheDesktopEntryIsMatchedWherever()
{
    // Started from the product's desktop entry, by a launcher that records no pid.
    QProcess *launched = startCopy(
        QStringLiteral(ZAV_FIXTURE_PROGRAM),
        {"GIO_LAUNCHED_DESKTOP_FILE=/usr/share/applications/" + g_sandbox.id + ".desktop"});
    QVERIFY(launched);
    const auto running =
        ZAVRunningApplication::runningApplicationsWithBundleIdentifier(g_sandbox.id);
    const qint64 pid = launched->processId();
    QCOMPARE(pidsOf(running), QList<qint64>{pid});
    QCOMPARE(running[0].bundleIdentifier(), g_sandbox.id);
    QVERIFY(running[0].terminate());
    QVERIFY(launched->waitForFinished(5000));
    QCOMPARE(terminatedPids(), QList<qint64>{pid});
}

void AppControlTest::anotherUsersCopyIsNeverListed()
{
    if (getuid() != 0)
        QSKIP("needs root to start a copy as another user");
    const uid_t nobody = 65534;
    QProcess *foreign = startCopy(g_sandbox.installedProgram, {}, [nobody] {
        if (setgroups(0, nullptr) != 0 || setgid(nobody) != 0 || setuid(nobody) != 0)
            _exit(127);
    });
    QVERIFY(foreign);
    // Root could signal it; the look-up must not offer it all the same.
    QVERIFY(ZAVRunningApplication::runningApplicationsWithBundleIdentifier(g_sandbox.id).empty());
    answerAlerts(ZAVAlertFirstButtonReturn, [this] { return terminatedPids(); });
    ZAVAppUtils::checkandCloseApplicationWithBundleID(g_sandbox.id, QStringLiteral("Demo"));
    QCOMPARE(g_alerts.size(), 0u);
}

void AppControlTest::handleOfAnExitedCopySignalsNothing()
{
    QProcess *copy = startCopy(g_sandbox.installedProgram);
    QVERIFY(copy);
    const auto running =
        ZAVRunningApplication::runningApplicationsWithBundleIdentifier(g_sandbox.id);
    QCOMPARE(running.size(), 1u);
    copy->kill();
    QVERIFY(copy->waitForFinished(5000));
    // The user took long to answer and the copy has gone: the request reaches nobody, even
    // should its pid have been handed on meanwhile.
    QVERIFY(!running[0].terminate());
}

void AppControlTest::copyAskedToQuitIsWaitedForUntilItExitsOrTheLimit_data()
{
    QTest::addColumn<int>("lingerMs"); // how long the copy saves after the quit request
    QTest::addColumn<int>("limitMs");
    QTest::addColumn<bool>("quit");
    QTest::newRow("exits at once") << 0 << 10'000 << true;
    QTest::newRow("saves, then exits") << 400 << 10'000 << true;
    QTest::newRow("still saving at the limit") << 5000 << 100 << false;
}

void AppControlTest::copyAskedToQuitIsWaitedForUntilItExitsOrTheLimit()
{
    QFETCH(int, lingerMs);
    QFETCH(int, limitMs);
    QFETCH(bool, quit);
    QProcess *copy = startCopy(g_sandbox.installedProgram,
                               {QStringLiteral("ZAV_FIXTURE_LINGER_MS=%1").arg(lingerMs)});
    QVERIFY(copy);
    answerAlerts(ZAVAlertFirstButtonReturn, [this] { return terminatedPids(); });
    const auto asked =
        ZAVAppUtils::checkandCloseApplicationWithBundleID(g_sandbox.id, QStringLiteral("Demo"));
    QVERIFY(asked);
    QCOMPARE(asked->processIdentifier(), copy->processId());
    std::optional<bool> result;
    QElapsedTimer timer;
    timer.start();
    ZAVAppUtils::waitForApplicationToQuit(*asked, std::chrono::milliseconds(limitMs),
                                          [&](bool q) { result = q; });
    QVERIFY(!result); // never on the caller's stack, and the thread is not held
    QVERIFY2(timer.elapsed() < 100, qPrintable(QString::number(timer.elapsed())));
    QTRY_VERIFY_WITH_TIMEOUT(result.has_value(), 10'000);
    const qint64 elapsed = timer.elapsed();
    QCOMPARE(*result, quit);
    QVERIFY2(elapsed >= (quit ? lingerMs - 50 : limitMs) &&
                 elapsed < (quit ? lingerMs : limitMs) + 1500,
             qPrintable(QString::number(elapsed)));
    // Given up on, the copy is left to save in peace: neither signalled again nor killed.
    if (!quit)
        QVERIFY(!copy->waitForFinished(300));
    QTest::qWait(100); // the handler is called once
    QCOMPARE(*result, quit);
}

void AppControlTest::quitAlertIsAnsweredByItsButtonAloneNeverByEscapeOrClosing_data()
{
    QTest::addColumn<bool>("closeThroughWindowManager");
    QTest::newRow("Escape, then Return") << false;
    QTest::newRow("Escape, then the close button") << true;
}

void AppControlTest::quitAlertIsAnsweredByItsButtonAloneNeverByEscapeOrClosing()
{
    QFETCH(bool, closeThroughWindowManager);
    QProcess *copy = startCopy(g_sandbox.installedProgram);
    QVERIFY(copy);
    bool upAfterEscape = false;
    QTimer::singleShot(0, this, [&] {
        QPointer<QMessageBox> box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        QVERIFY(box);
        QTest::keyClick(box->focusWidget() ? box->focusWidget() : box.data(), Qt::Key_Escape);
        QTest::qWait(100);
        upAfterEscape = box && box->isVisible();
        QVERIFY(terminatedPids().isEmpty());
        if (!box)
            return;
        if (closeThroughWindowManager)
            QWindowSystemInterface::handleCloseEvent<QWindowSystemInterface::SynchronousDelivery>(
                box->windowHandle());
        else
            QTest::keyClick(box, Qt::Key_Return);
    });
    const auto asked =
        ZAVAppUtils::checkandCloseApplicationWithBundleID(g_sandbox.id, QStringLiteral("Demo"));
    QVERIFY(upAfterEscape);
    QCOMPARE(asked.has_value(), !closeThroughWindowManager);
    if (closeThroughWindowManager) {
        QVERIFY(!copy->waitForFinished(300)); // "any other answer": left running
        QVERIFY(terminatedPids().isEmpty());
    } else {
        QVERIFY(copy->waitForFinished(5000));
        QCOMPARE(terminatedPids(), QList<qint64>{asked->processIdentifier()});
    }
}

// --- Launching the installed product ------------------------------------------------------

void AppControlTest::installedProductIsLaunchedDetachedAndTheInstallerQuits()
{
    ZAVAppUtils::startAppWithBundleID(g_sandbox.id);
    QCOMPARE(g_terminations, 1);
    QTRY_COMPARE_WITH_TIMEOUT(startedPids().size(), 1, 5000);
    const qint64 pid = startedPids().first();
    QCOMPARE(readText(g_sandbox.record(pid, "started")).trimmed(), g_sandbox.installedProgram);

    // Not our child, and in a session of its own: it outlives the installer and its terminal.
    qint64 session = 0;
    const qint64 parent = parentOf(pid, &session);
    QVERIFY(parent != getpid());
    QCOMPARE(session, pid);

    // What the desktop launched is what a later look-up finds.
    QCOMPARE(pidsOf(ZAVRunningApplication::runningApplicationsWithBundleIdentifier(g_sandbox.id)),
             QList<qint64>{pid});
}

void AppControlTest::integratedEntryIsFoundOutsideTheDataHome()
{
    // Its entry lies only where zav-pkg integrates it, not under $XDG_DATA_HOME.
    ZAVAppUtils::startAppWithBundleID(g_sandbox.integratedId);
    QCOMPARE(g_terminations, 1);
    QTRY_COMPARE_WITH_TIMEOUT(startedPids().size(), 1, 5000);
    QCOMPARE(readText(g_sandbox.record(startedPids().first(), "started")).trimmed(),
             g_sandbox.integratedProgram);
}

void AppControlTest::unknownOrInvalidIdLaunchesNothingAndStillQuits_data()
{
    QTest::addColumn<std::optional<QString>>("id");
    QTest::newRow("not installed") << std::optional<QString>(QStringLiteral("org.example.Missing"));
    QTest::newRow("absent") << std::optional<QString>();
    QTest::newRow("empty") << std::optional<QString>(QString());
    QTest::newRow("climbs out of the entries")
        << std::optional<QString>(QStringLiteral("../applications/") + g_sandbox.id);
}

void AppControlTest::unknownOrInvalidIdLaunchesNothingAndStillQuits()
{
    QFETCH(std::optional<QString>, id);
    ZAVAppUtils::startAppWithBundleID(id);
    QCOMPARE(g_terminations, 1);
    QTest::qWait(300); // a copy launched all the same would have started meanwhile
    QVERIFY(startedPids().isEmpty());
}

int main(int argc, char **argv)
{
    // GLib reads the user's directories once: the sandbox must be in place before Qt or GIO
    // can ask for them.
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
        AppControlTest test;
        status = QTest::qExec(&test, argc, argv);
    }
    g_sandbox.tearDown();
    return status;
}

#include "tst_appcontrol.moc"

// zav-pkg as a subprocess with temporary homes: good packages, upgrades, every refusal, links
// planted in the home, leftovers of killed runs, runs at the same time, and kills at many
// moments of an upgrade.

#include "tests/pkg/ZAVTestPackage.h"
#include "tests/support/ZAVTestFiles.h"

#include <QCryptographicHash>
#include <QDirIterator>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtEndian>
#include <QtTest>

#include <archive_entry.h>

#include <sys/stat.h>
#include <unistd.h>

class PkgTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();

    void installsAGoodPackageInEveryCompression_data();
    void installsAGoodPackageInEveryCompression();
    void keepsLinksAndModesButDropsSetIdBits();
    void currentUserHomeDirectoryMeansHome();
    void upgradeReplacesTheWholeApplication();
    void execRunsTheProgramWhateverTheHome_data();
    void execRunsTheProgramWhateverTheHome();
    void whatZavPkgDidNotInstallIsKept_data();
    void whatZavPkgDidNotInstallIsKept();
    void failureAfterTheSwapPutsThePreviousVersionBack_data();
    void failureAfterTheSwapPutsThePreviousVersionBack();
    void homeThatIsNotUtf8IsNeverDecoded();

    void refusalsLeaveTheHomeAsItWas_data();
    void refusalsLeaveTheHomeAsItWas();
    void programsThatLoadHereAreInstalled_data();
    void programsThatLoadHereAreInstalled();
    void linksPlantedInTheHomeAreNotFollowed_data();
    void linksPlantedInTheHomeAreNotFollowed();
    void commandLineErrors_data();
    void commandLineErrors();
    void pinnedPackageMismatchLeavesTheHomeAsItWas_data();
    void pinnedPackageMismatchLeavesTheHomeAsItWas();
    void helpListsTheExitStatuses();

    void leftoversOfAKilledRunAreCleaned();
    void concurrentRunsTakeTurns();
    void killAtAnyMomentLeavesOneWholeVersion();
    void killBetweenTheRenamesWithoutExchangeIsRepaired();

    void entryGetsAnUninstallActionThatValidates();
    void uninstallRemovesOnlyWhatTheReceiptOwns_data();
    void uninstallRemovesOnlyWhatTheReceiptOwns();
    void uninstallKilledMidwayIsFinishedByTheNextRun_data();
    void uninstallKilledMidwayIsFinishedByTheNextRun();
    void rollbackPutsTheKeptVersionBack_data();
    void rollbackPutsTheKeptVersionBack();
    void rollbackKilledLeavesOneWholeVersion_data();
    void rollbackKilledLeavesOneWholeVersion();

    void deltaBuildsTheTreeTheFullPackageInstalls();
    void deltaThatDoesNotApplyChangesNothing_data();
    void deltaThatDoesNotApplyChangesNothing();

private:
    QString m_scratch;
    QString m_package1;  // version 1.0
    QString m_package2;  // version 2.0
    QString m_template1; // a home with 1.0 installed and a few files of the user's
    // The delta from version1() to version2(), each with share/model.bin (a few bytes apart, so
    // that it is patched), made by zav-vendor; what zav-vendor said of it.
    QString m_deltaPackage1;
    QString m_deltaPackage2;
    QString m_delta;
    QMap<QString, QString> m_deltaFacts;
    void makeDelta();
};

using Compression = ZAVTestPackage::Compression;
Q_DECLARE_METATYPE(Compression)

namespace {

const QString kId = QStringLiteral("org.example.DemoViewer");

QString zavPkg()
{
    return qEnvironmentVariable("ZAV_BINARY_DIR") + QStringLiteral("/bin/zav-pkg");
}

struct Run {
    int exitCode = -1;
    bool crashed = false;
    QByteArray out;
    QByteArray err;
};

Run runProgram(const QString &program, const QStringList &arguments,
               const QProcessEnvironment &environment = QProcessEnvironment::systemEnvironment())
{
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(program, arguments);
    Run run;
    if (!process.waitForFinished(60000)) {
        process.kill();
        process.waitForFinished();
        run.crashed = true;
        return run;
    }
    run.crashed = process.exitStatus() == QProcess::CrashExit;
    run.exitCode = process.exitCode();
    run.out = process.readAllStandardOutput();
    run.err = process.readAllStandardError();
    return run;
}

// `program -c FILE`'s output: FILE compressed by a tool that no code of ours wrote.
QByteArray compressedBy(const QString &program, const QString &file)
{
    const Run run = runProgram(program, {QStringLiteral("-c"), file});
    return run.exitCode == 0 ? run.out : QByteArray();
}

QStringList installArguments(const QString &package, const QString &home)
{
    return {QStringLiteral("-dumplog"), QStringLiteral("-verbose"),
            QStringLiteral("-pkg"),     package,
            QStringLiteral("-target"),  home};
}

// Runs zav-pkg, behind `wrapper` (a program and its arguments) when one is given.
Run install(const QString &package, const QString &home, const QStringList &wrapper = {})
{
    if (wrapper.isEmpty())
        return runProgram(zavPkg(), installArguments(package, home));
    // In a sanitizer build: the leak checker cannot work under ptrace; the rest of ASan can.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    if (wrapper.front() == QLatin1String("strace"))
        environment.insert(QStringLiteral("ASAN_OPTIONS"),
                           environment.value(QStringLiteral("ASAN_OPTIONS")) +
                               QStringLiteral(":detect_leaks=0"));
    return runProgram(wrapper.front(),
                      wrapper.mid(1) + QStringList{zavPkg()} + installArguments(package, home),
                      environment);
}

QByteArray sha256(const QByteArray &data)
{
    return QCryptographicHash::hash(data, QCryptographicHash::Sha256).toHex();
}

// Every path below `root` with its type, mode, and contents digest or link target.
using Tree = QMap<QString, QString>;

Tree snapshot(const QString &root)
{
    Tree tree;
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        struct stat st {};
        if (lstat(QFile::encodeName(path).constData(), &st) != 0)
            continue;
        QString description = QString::number(st.st_mode, 8);
        if (S_ISREG(st.st_mode)) {
            description += u' ' + QString::fromLatin1(sha256(fileContents(path)));
        } else if (S_ISLNK(st.st_mode)) {
            char target[4096];
            const ssize_t n = readlink(QFile::encodeName(path).constData(), target, sizeof target);
            description += QStringLiteral(" -> ") + QString::fromLocal8Bit(target, n > 0 ? n : 0);
        }
        tree.insert(path.mid(root.size() + 1), description);
    }
    return tree;
}

QString difference(const Tree &before, const Tree &after)
{
    QStringList lines;
    for (auto it = before.begin(); it != before.end(); ++it) {
        if (!after.contains(it.key()))
            lines << QStringLiteral("gone: ") + it.key();
        else if (after.value(it.key()) != it.value())
            lines << QStringLiteral("changed: ") + it.key();
    }
    for (auto it = after.begin(); it != after.end(); ++it) {
        if (!before.contains(it.key()))
            lines << QStringLiteral("new: ") + it.key();
    }
    return lines.join(u'\n');
}

// Names of an interrupted or unfinished run, anywhere below `root`.
QStringList leftovers(const QString &root)
{
    QStringList found;
    for (const QString &path : snapshot(root).keys()) {
        if (path.section(u'/', -1).startsWith(QLatin1String(".zav-")))
            found << path;
    }
    return found;
}

QString applicationDirectory(const QString &home)
{
    return home + QStringLiteral("/.local/opt/") + kId;
}

QString desktopEntryPath(const QString &home)
{
    return home + QStringLiteral("/.local/share/applications/") + kId + QStringLiteral(".desktop");
}

QJsonObject receipt(const QString &home)
{
    return QJsonDocument::fromJson(fileContents(home +
                                                QStringLiteral("/.local/share/zav/receipts/") +
                                                kId + QStringLiteral(".json")))
        .object();
}

// The value of `key` in group `group` of a desktop entry's text, as written in the file.
QString keyValue(const QByteArray &text, const QString &key,
                 const QString &group = QStringLiteral("Desktop Entry"))
{
    bool inGroup = false;
    for (const QByteArray &line : text.split('\n')) {
        const QString l = QString::fromUtf8(line);
        if (l.startsWith(u'['))
            inGroup = l == u'[' + group + u']';
        else if (inGroup && l.startsWith(key + u'='))
            return l.mid(key.size() + 1);
    }
    return QString();
}

bool copyTree(const QString &from, const QString &to)
{
    return runProgram(QStringLiteral("cp"), {QStringLiteral("-a"), from, to}).exitCode == 0;
}

QByteArray randomBytes(qsizetype size, quint32 seed)
{
    QByteArray bytes(size, Qt::Uninitialized);
    QRandomGenerator generator(seed);
    generator.fillRange(reinterpret_cast<quint32 *>(bytes.data()), size / 4);
    return bytes;
}

ZAVTestPackage version1()
{
    ZAVTestPackage package = ZAVTestPackage::application(kId, QStringLiteral("1.0"));
    package.file("lib/only-in-1.txt", "gone after the upgrade\n");
    package.symlink("lib/current", "only-in-1.txt");
    for (int i = 0; i < 8; ++i)
        package.file("share/data/" + QByteArray::number(i) + ".txt",
                     "one " + QByteArray::number(i) + "\n");
    return package;
}

ZAVTestPackage version2()
{
    ZAVTestPackage package = ZAVTestPackage::application(kId, QStringLiteral("2.0"));
    package.remove("icon.svg").file("icon.png", "\x89PNG\r\n\x1a\n two");
    package.file("lib/only-in-2.txt", "new in 2.0\n");
    package.symlink("lib/current", "only-in-2.txt");
    for (int i = 0; i < 16; ++i)
        package.file("share/data/" + QByteArray::number(i) + ".txt",
                     "two " + QByteArray::number(i) + "\n");
    package.file("share/blob.bin", randomBytes(256 * 1024, 2));
    return package;
}

} // namespace

void PkgTest::initTestCase()
{
    QVERIFY2(QFileInfo(zavPkg()).isExecutable(), qPrintable(zavPkg()));
    // Modes below are checked against the usual umask.
    umask(022);
    // These tests look at what each run leaves on disk, not at what survives a power cut: on
    // a memory file system the flushes of the many runs do not dominate their time.
    const QFileInfo memory(QStringLiteral("/dev/shm"));
    if (memory.isDir() && memory.isWritable() && qEnvironmentVariableIsEmpty("ZAV_TEST_ON_DISK"))
        qputenv("TMPDIR", "/dev/shm");
    static QTemporaryDir scratch;
    QVERIFY(scratch.isValid());
    m_scratch = scratch.path();
    m_package1 = m_scratch + QStringLiteral("/demo-1.0.tar.gz");
    m_package2 = m_scratch + QStringLiteral("/demo-2.0.tar.zst");
    QVERIFY(version1().write(m_package1, Compression::Gzip));
    QVERIFY(version2().write(m_package2, Compression::Zstd));

    m_template1 = m_scratch + QStringLiteral("/template-1.0");
    QVERIFY(writeFile(m_template1 + QStringLiteral("/.profile"), "export EDITOR=vi\n"));
    QVERIFY(writeFile(m_template1 + QStringLiteral("/.local/share/applications/other.desktop"),
                      "[Desktop Entry]\nType=Application\nName=Other\nExec=other\n"));
    const Run run = install(m_package1, m_template1);
    QVERIFY2(run.exitCode == 0, run.err.constData());
}

void PkgTest::installsAGoodPackageInEveryCompression_data()
{
    QTest::addColumn<Compression>("compression");
    QTest::addColumn<bool>("twoGzipMembers"); // the plain tar's halves, gzipped one after other
    QTest::newRow("plain tar") << Compression::None << false;
    QTest::newRow("gzip") << Compression::Gzip << false;
    QTest::newRow("gzip of two members") << Compression::None << true;
    QTest::newRow("bzip2") << Compression::Bzip2 << false;
    QTest::newRow("xz") << Compression::Xz << false;
    QTest::newRow("zstd") << Compression::Zstd << false;
}

void PkgTest::installsAGoodPackageInEveryCompression()
{
    QFETCH(Compression, compression);
    QFETCH(bool, twoGzipMembers);
    QTemporaryDir dir;
    const QString home = dir.path() + QStringLiteral("/home");
    QVERIFY(QDir().mkpath(home));
    // The name says nothing about the compression: it is told from the content.
    const QString package = dir.path() + QStringLiteral("/package.bin");
    const ZAVTestPackage contents = version1();
    QVERIFY(contents.write(package, compression));
    if (twoGzipMembers) {
        const QByteArray plain = fileContents(package);
        const QString half = dir.path() + QStringLiteral("/half");
        QVERIFY(writeFile(half, plain.left(plain.size() / 2)));
        QByteArray members = compressedBy(QStringLiteral("gzip"), half);
        QVERIFY(writeFile(half, plain.mid(plain.size() / 2)));
        members += compressedBy(QStringLiteral("gzip"), half);
        QVERIFY(writeFile(package, members) && QFile::remove(half));
    }

    const Run run = install(package, home);
    QVERIFY2(run.exitCode == 0 && !run.crashed, run.err.constData());

    const QString app = applicationDirectory(home);
    QCOMPARE(fileContents(app + QStringLiteral("/bin/app")), QByteArray("#!/bin/sh\necho 1.0\n"));
    QCOMPARE(QFileInfo(app + QStringLiteral("/bin/app")).permissions() & QFile::ExeOwner,
             QFile::ExeOwner);
    QCOMPARE(fileContents(app + QStringLiteral("/share/data/7.txt")), QByteArray("one 7\n"));
    QCOMPARE(QFileInfo(app + QStringLiteral("/lib/current")).symLinkTarget(),
             app + QStringLiteral("/lib/only-in-1.txt"));

    const QByteArray entry = fileContents(desktopEntryPath(home));
    QCOMPARE(keyValue(entry, QStringLiteral("Exec")), app + QStringLiteral("/bin/app"));
    QCOMPARE(keyValue(entry, QStringLiteral("Icon")), kId);
    QCOMPARE(keyValue(entry, QStringLiteral("Name")), QStringLiteral("Demo Viewer"));
    QCOMPARE(fileContents(home + QStringLiteral("/.local/share/icons/hicolor/scalable/apps/") +
                          kId + QStringLiteral(".svg")),
             fileContents(app + QStringLiteral("/icon.svg")));

    const QJsonObject record = receipt(home);
    QCOMPARE(record.value(QLatin1String("id")).toString(), kId);
    QCOMPARE(record.value(QLatin1String("version")).toString(), QStringLiteral("1.0"));
    QCOMPARE(record.value(QLatin1String("packageSha256")).toString().toLatin1(),
             sha256(fileContents(package)));
    QVERIFY(QDateTime::fromString(record.value(QLatin1String("time")).toString(), Qt::ISODate)
                .isValid());
    const QJsonArray files = record.value(QLatin1String("files")).toArray();
    QVERIFY(files.contains(QStringLiteral("bin/app")));
    QVERIFY(files.contains(QStringLiteral("share/data/")));
    QCOMPARE(files.size(), snapshot(app).size());

    QVERIFY(run.out.contains("zav-pkg: installed " + kId.toUtf8()));
    QVERIFY(run.err.contains("zav-pkg: file bin/app"));
    QCOMPARE(leftovers(dir.path()), QStringList());
}

void PkgTest::keepsLinksAndModesButDropsSetIdBits()
{
    QTemporaryDir dir;
    const QString home = dir.path() + QStringLiteral("/home");
    QVERIFY(QDir().mkpath(home));
    ZAVTestPackage contents = ZAVTestPackage::application(kId, QStringLiteral("1.0"));
    contents.file("bin/helper", "#!/bin/sh\n", 04755)
        .file("bin/group", "#!/bin/sh\n", 02755)
        .directory("shared", 01777)
        .file("private", "secret\n", 0600)
        .directory("readonly", 0555)
        .file("readonly/inside", "x\n", 0444)
        .file("share/donn\xc3\xa9"
              "es.txt",
              "utf-8\n")
        .symlink("bin/start", "app")
        .symlink("lib/up/app", "../../bin/app")
        .hardlink("bin/same", "bin/app");
    const QString package = dir.path() + QStringLiteral("/package.tar.xz");
    QVERIFY(contents.write(package, Compression::Xz));
    const Run run = install(package, home);
    QVERIFY2(run.exitCode == 0, run.err.constData());

    const QString app = applicationDirectory(home);
    const auto mode = [&](const char *path) {
        struct stat st {};
        lstat(QFile::encodeName(app + u'/' + QLatin1String(path)).constData(), &st);
        return st.st_mode & 07777;
    };
    QCOMPARE(mode(""), 0755u);
    QCOMPARE(mode("bin/app"), 0755u);
    QCOMPARE(mode("bin/helper"), 0755u);
    QCOMPARE(mode("bin/group"), 0755u);
    QCOMPARE(mode("shared"), 0755u);
    QCOMPARE(mode("private"), 0600u);
    QCOMPARE(mode("readonly"), 0755u); // the user keeps the right to remove it
    QCOMPARE(mode("readonly/inside"), 0444u);
    QCOMPARE(fileContents(app + QStringLiteral("/share/donn\u00e9es.txt")), QByteArray("utf-8\n"));
    QCOMPARE(QFileInfo(app + QStringLiteral("/bin/start")).symLinkTarget(),
             app + QStringLiteral("/bin/app"));
    QCOMPARE(fileContents(app + QStringLiteral("/lib/up/app")), fileContents(app + "/bin/app"));
    struct stat original {
    }, linked{};
    QCOMPARE(stat(QFile::encodeName(app + "/bin/app").constData(), &original), 0);
    QCOMPARE(stat(QFile::encodeName(app + "/bin/same").constData(), &linked), 0);
    QCOMPARE(linked.st_ino, original.st_ino);

    // And such a tree is replaced whole by the next version.
    QVERIFY(install(m_package2, home).exitCode == 0);
    QVERIFY(!QFileInfo::exists(app + QStringLiteral("/readonly")));
    QCOMPARE(leftovers(dir.path()), QStringList());
}

void PkgTest::currentUserHomeDirectoryMeansHome()
{
    QTemporaryDir dir;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("HOME"), dir.path());
    const Run run = runProgram(
        zavPkg(), installArguments(m_package1, QStringLiteral("CurrentUserHomeDirectory")),
        environment);
    QVERIFY2(run.exitCode == 0, run.err.constData());
    QVERIFY(QFileInfo(applicationDirectory(dir.path()) + QStringLiteral("/bin/app")).isFile());
}

void PkgTest::upgradeReplacesTheWholeApplication()
{
    QTemporaryDir dir;
    const QString home = dir.path() + QStringLiteral("/home");
    QVERIFY(copyTree(m_template1, home));
    // The user's own files: everything but what zav-pkg installs and the folders holding it.
    Tree userBefore = snapshot(home);
    userBefore.removeIf([](const auto &item) {
        return item.key().startsWith(QLatin1String(".local/opt")) ||
               item.key().contains(QLatin1String("/zav")) ||
               item.key().contains(QLatin1String("/icons")) ||
               item.key().endsWith(kId + QStringLiteral(".desktop"));
    });

    const Run run = install(m_package2, home);
    QVERIFY2(run.exitCode == 0, run.err.constData());

    // The application directory is exactly what a fresh install of 2.0 gives.
    QTemporaryDir fresh;
    QVERIFY(install(m_package2, fresh.path()).exitCode == 0);
    const QString app = applicationDirectory(home);
    const QString diff = difference(snapshot(applicationDirectory(fresh.path())), snapshot(app));
    QVERIFY2(diff.isEmpty(), qPrintable(diff));
    QVERIFY(!QFileInfo::exists(app + QStringLiteral("/lib/only-in-1.txt")));
    QCOMPARE(fileContents(app + QStringLiteral("/bin/app")), QByteArray("#!/bin/sh\necho 2.0\n"));

    const QJsonObject record = receipt(home);
    QCOMPARE(record.value(QLatin1String("version")).toString(), QStringLiteral("2.0"));
    QCOMPARE(record.value(QLatin1String("packageSha256")).toString().toLatin1(),
             sha256(fileContents(m_package2)));
    QVERIFY(!record.value(QLatin1String("files"))
                 .toArray()
                 .contains(QStringLiteral("lib/only-in-1.txt")));

    const QByteArray entry = fileContents(desktopEntryPath(home));
    QCOMPARE(keyValue(entry, QStringLiteral("Exec")), app + QStringLiteral("/bin/app"));
    QCOMPARE(keyValue(entry, QStringLiteral("X-Package-Version")), QStringLiteral("2.0"));
    // 2.0 brings a PNG icon: the SVG of 1.0 goes.
    const QString icons = home + QStringLiteral("/.local/share/icons/hicolor/");
    QCOMPARE(fileContents(icons + QStringLiteral("256x256/apps/") + kId + QStringLiteral(".png")),
             fileContents(app + QStringLiteral("/icon.png")));
    QVERIFY(!QFileInfo::exists(icons + QStringLiteral("scalable/apps/") + kId +
                               QStringLiteral(".svg")));

    // The user's own files are untouched.
    Tree userAfter = snapshot(home);
    for (auto it = userBefore.begin(); it != userBefore.end(); ++it)
        QCOMPARE(userAfter.value(it.key()), it.value());
    QCOMPARE(leftovers(dir.path()), QStringList());
    QVERIFY(run.out.contains("zav-pkg: removed the previous version"));
}

void PkgTest::execRunsTheProgramWhateverTheHome_data()
{
    QTest::addColumn<QString>("homeName");
    QTest::addColumn<int>("exitCode");
    QTest::newRow("blank") << QStringLiteral("my home") << 0;
    QTest::newRow("dollar") << QStringLiteral("$HOME and ${x}") << 0;
    QTest::newRow("backquote") << QStringLiteral("a`id`b") << 0;
    QTest::newRow("double quote") << QStringLiteral("say \"hi\"") << 0;
    QTest::newRow("backslash") << QStringLiteral("back\\slash\\") << 0;
    QTest::newRow("single quote") << QStringLiteral("it's") << 0;
    // The launcher looks a program up before expanding "%%": no entry can name this path, and
    // zav-pkg says so before it writes anything.
    QTest::newRow("percent") << QStringLiteral("my home 100%") << 5;
}

void PkgTest::execRunsTheProgramWhateverTheHome()
{
    QFETCH(QString, homeName);
    QFETCH(int, exitCode);
    QTemporaryDir dir;
    const QString home = dir.path() + u'/' + homeName;
    QVERIFY(QDir().mkpath(home));
    ZAVTestPackage contents = ZAVTestPackage::application(kId, QStringLiteral("1.0"));
    contents.remove(kId.toUtf8() + ".desktop")
        .file(kId.toUtf8() + ".desktop",
              ZAVTestPackage::desktopEntry(QStringLiteral("1.0"),
                                           "bin/app \"--title=Demo Viewer\" %U",
                                           "TryExec=./bin/app\nActions=new;\n\n"
                                           "[Desktop Action new]\nName=New\n"
                                           "Exec=bin/app --new\n"));
    const QString package = dir.path() + QStringLiteral("/package.tar.gz");
    QVERIFY(contents.write(package));
    const Tree before = snapshot(dir.path());
    const Run run = install(package, home);
    QCOMPARE(run.exitCode, exitCode);
    QCOMPARE(leftovers(dir.path()), QStringList());
    if (exitCode != 0) {
        QVERIFY2(run.err.contains("has a % in its name"), run.err.constData());
        const QString diff = difference(before, snapshot(dir.path()));
        QVERIFY2(diff.isEmpty(), qPrintable(diff));
        return;
    }

    // Quoted as desktop entries quote ('"', '`', '$' and '\' escaped inside double quotes),
    // then with the key file's own escape of '\'.
    const QString program = applicationDirectory(home) + QStringLiteral("/bin/app");
    QString quoted;
    for (const QChar c : program) {
        if (c == u'"' || c == u'`' || c == u'$' || c == u'\\')
            quoted += u'\\';
        quoted += c;
    }
    quoted = u'"' + quoted.replace(u'\\', QStringLiteral("\\\\")) + u'"';
    const QByteArray entry = fileContents(desktopEntryPath(home));
    QCOMPARE(keyValue(entry, QStringLiteral("Exec")),
             quoted + QStringLiteral(" \"--title=Demo Viewer\" %U"));
    QCOMPARE(keyValue(entry, QStringLiteral("TryExec")),
             QString(program).replace(u'\\', QStringLiteral("\\\\")));
    QCOMPARE(keyValue(entry, QStringLiteral("Exec"), QStringLiteral("Desktop Action new")),
             quoted + QStringLiteral(" --new"));
}

void PkgTest::whatZavPkgDidNotInstallIsKept_data()
{
    QTest::addColumn<bool>("installed"); // 1.0 installed by zav-pkg first
    QTest::addColumn<QString>("plant");  // below the home; ending in '/': a directory
    QTest::addColumn<QByteArray>("contents");
    const QString receipt = QStringLiteral(".local/share/zav/receipts/") + kId + ".json";
    const QString entry = QStringLiteral(".local/share/applications/") + kId + ".desktop";
    QTest::newRow("user's application directory")
        << false << QStringLiteral(".local/opt/") + kId + "/" << QByteArray();
    QTest::newRow("user's desktop entry") << false << entry << QByteArray("[Desktop Entry]\n");
    QTest::newRow("user's icon") << false
                                 << QStringLiteral(".local/share/icons/hicolor/256x256/apps/") +
                                        kId + ".png"
                                 << QByteArray("mine");
    QTest::newRow("desktop entry that is a directory") << true << entry + "/" << QByteArray();
    QTest::newRow("receipt that is a directory") << true << receipt + "/" << QByteArray();
    QTest::newRow("receipt of another id")
        << true << receipt << QByteArray("{\"id\": \"org.example.Other\", \"files\": []}");
}

void PkgTest::whatZavPkgDidNotInstallIsKept()
{
    QFETCH(bool, installed);
    QFETCH(QString, plant);
    QFETCH(QByteArray, contents);
    QTemporaryDir dir;
    const QString home = dir.path() + QStringLiteral("/home");
    if (installed)
        QVERIFY(copyTree(m_template1, home));
    const QString path = home + u'/' + plant;
    const QString named = QDir::cleanPath(path);
    QVERIFY(!QFile::exists(named) || QFile::remove(named) || QDir(named).removeRecursively());
    QVERIFY(plant.endsWith(u'/') ? writeFile(path + QStringLiteral("notes.txt"), "mine")
                                 : writeFile(path, contents));
    const Tree before = snapshot(dir.path());

    const Run refused = install(m_package2, home);
    QCOMPARE(refused.exitCode, 5);
    QVERIFY2(refused.err.contains('"' + named.toUtf8() + '"'), refused.err.constData());
    const QString diff = difference(before, snapshot(dir.path()));
    QVERIFY2(diff.isEmpty(), qPrintable(diff));

    const Run replaced = install(m_package2, home,
                                 {QStringLiteral("sh"), QStringLiteral("-c"),
                                  QStringLiteral("exec \"$0\" -replace-unowned \"$@\"")});
    QVERIFY2(replaced.exitCode == 0, replaced.err.constData());
    QVERIFY2(replaced.err.contains("aside to "), replaced.err.constData());
    const QFileInfo planted(named);
    const QStringList saved = planted.dir().entryList(
        {planted.fileName() + QStringLiteral(".zav-saved-*")}, QDir::AllEntries | QDir::Hidden);
    QCOMPARE(saved.size(), 1);
    const QString kept = planted.dir().filePath(saved.front());
    QCOMPARE(fileContents(plant.endsWith(u'/') ? kept + QStringLiteral("/notes.txt") : kept),
             plant.endsWith(u'/') ? QByteArray("mine") : contents);
    QCOMPARE(fileContents(applicationDirectory(home) + QStringLiteral("/bin/app")),
             QByteArray("#!/bin/sh\necho 2.0\n"));
    QCOMPARE(receipt(home).value(QLatin1String("version")).toString(), QStringLiteral("2.0"));
    QCOMPARE(leftovers(home), QStringList());
}

void PkgTest::failureAfterTheSwapPutsThePreviousVersionBack_data()
{
    // After the exchange, the renames put the desktop entry, the icon and the receipt in place.
    QTest::addColumn<int>("failingRename");
    QTest::newRow("desktop entry") << 1;
    QTest::newRow("receipt, after the entry and icon") << 3;
}

void PkgTest::failureAfterTheSwapPutsThePreviousVersionBack()
{
    QFETCH(int, failingRename);
    QTemporaryDir dir;
    const QString home = dir.path() + QStringLiteral("/home");
    QVERIFY(copyTree(m_template1, home));
    const Tree before = snapshot(dir.path());
    const Run run =
        install(m_package2, home,
                {QStringLiteral("strace"), QStringLiteral("-f"), QStringLiteral("-o"),
                 QStringLiteral("/dev/null"), QStringLiteral("-e"),
                 QStringLiteral("inject=renameat:error=EIO:when=%1").arg(failingRename)});
    QCOMPARE(run.exitCode, 5);
    QVERIFY2(run.err.contains("the previous state was put back"), run.err.constData());
    const QString diff = difference(before, snapshot(dir.path()));
    QVERIFY2(diff.isEmpty(), qPrintable(diff));
}

void PkgTest::homeThatIsNotUtf8IsNeverDecoded()
{
    // A desktop entry is UTF-8 and cannot name a program below such a home: zav-pkg refuses,
    // and neither that home nor the one its decoded name would give gets anything.
    QTemporaryDir dir;
    const QByteArray home = QFile::encodeName(dir.path()) + "/\xff\xfe";
    const QString lookAlike = dir.path() + QStringLiteral("/\ufffd\ufffd");
    QVERIFY(mkdir(home.constData(), 0755) == 0 && QDir().mkdir(lookAlike));
    // The shell turns the octal escapes into bytes that QProcess could not carry.
    const QString script = QStringLiteral("exec \"$0\" -pkg \"$(printf \"$1\")\" "
                                          "-target \"$(printf \"$2\")\"");
    const QString bytes = dir.path() + QStringLiteral("/\\377\\376");
    Run run = runProgram(QStringLiteral("sh"),
                         {QStringLiteral("-c"), script, zavPkg(), m_package1, bytes});
    QCOMPARE(run.exitCode, 5);
    QVERIFY2(run.err.contains("\"" + home + "\" is not UTF-8"), run.err.constData());
    QVERIFY(QDir(lookAlike).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot));
    struct stat st {};
    QVERIFY(lstat((home + "/.local").constData(), &st) != 0);

    // A package path is used as bytes too.
    const QByteArray package = QFile::encodeName(dir.path()) + "/demo\xff.tar.gz";
    QVERIFY(symlink(QFile::encodeName(m_package1).constData(), package.constData()) == 0);
    run = runProgram(QStringLiteral("sh"),
                     {QStringLiteral("-c"), script, zavPkg(),
                      dir.path() + QStringLiteral("/demo\\377.tar.gz"), dir.path()});
    QVERIFY2(run.exitCode == 0, run.err.constData());
    QVERIFY(QFileInfo(applicationDirectory(dir.path()) + QStringLiteral("/bin/app")).isFile());
}

void PkgTest::refusalsLeaveTheHomeAsItWas_data()
{
    QTest::addColumn<QByteArray>("package");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QStringList>("wrapper");

    QTemporaryDir scratch;
    const auto bytes = [&](const ZAVTestPackage &package, Compression compression) {
        const QString path = scratch.path() + QStringLiteral("/p");
        QFile::remove(path);
        return package.write(path, compression) ? fileContents(path) : QByteArray();
    };
    const QByteArray desktop = kId.toUtf8() + ".desktop";
    const auto good = [] { return ZAVTestPackage::application(kId, QStringLiteral("3.0")); };
    const auto withEntry = [&](const QByteArray &text) {
        return good().remove(desktop).file(desktop, text);
    };
    const auto withExec = [&](const QByteArray &exec, const QByteArray &extra = QByteArray()) {
        return withEntry(ZAVTestPackage::desktopEntry(QStringLiteral("3.0"), exec, extra));
    };
    const int refused = 4;
    const int unreadable = 3;
    const int failed = 5;
    const QString leaves = QStringLiteral("leaves the application directory");
    const auto row = [&](const char *name, const ZAVTestPackage &package, int code,
                         const QString &message) {
        QTest::newRow(name) << bytes(package, Compression::Gzip) << code << message
                            << QStringList();
    };

    row("entry ../evil", good().file("../evil", "x"), refused, leaves);
    row("entry with .. inside its path", good().file("bin/../../evil", "x"), refused, leaves);
    row("absolute entry", good().file("/tmp/zav-pkg-test-absolute-evil", "x"), refused,
        QStringLiteral("absolute path"));
    row("symlink to an absolute path", good().symlink("etc", "/etc"), refused,
        QStringLiteral("absolute target"));
    row("symlink climbing out", good().symlink("lib/up", "../.."), refused, leaves);
    row("symlink climbing out through another link",
        good().directory("a").symlink("a/b", "..").symlink("escape", "a/b/.."), refused,
        QStringLiteral("after a directory name"));
    row("file written through a link of the package",
        good().symlink("data", "bin").file("data/evil", "x"), refused,
        QStringLiteral("goes through \"data\""));
    row("hard link climbing out", good().hardlink("passwd", "../../../../../../etc/passwd"),
        refused, leaves);
    row("hard link to an absolute path", good().hardlink("passwd", "/etc/passwd"), refused,
        QStringLiteral("absolute target"));
    row("hard link to nothing in the package", good().hardlink("copy", "bin/none"), refused,
        QStringLiteral("does not name a regular file"));
    row("character device", good().special("null", AE_IFCHR), refused,
        QStringLiteral("is a device file"));
    row("block device", good().special("disk", AE_IFBLK), refused,
        QStringLiteral("is a device file"));
    row("FIFO", good().special("pipe", AE_IFIFO), refused, QStringLiteral("is a FIFO"));
    row("same name twice", good().file("bin/app", "#!/bin/sh\n", 0755), refused,
        QStringLiteral("more than once"));
    row("name that is not UTF-8", good().file("bad\xff", "x"), refused,
        QStringLiteral("not UTF-8"));

    row("no desktop entry", good().remove(desktop), refused,
        QStringLiteral("no desktop entry at its root"));
    row("desktop entry only in a subdirectory",
        good().remove(desktop).file("share/" + desktop, ZAVTestPackage::desktopEntry("3.0")),
        refused, QStringLiteral("no desktop entry at its root"));
    row("two desktop entries",
        good().file("org.example.Other.desktop", ZAVTestPackage::desktopEntry("3.0")), refused,
        QStringLiteral("two desktop entries"));
    row("id of one element",
        good().remove(desktop).file("demo.desktop", ZAVTestPackage::desktopEntry("3.0")), refused,
        QStringLiteral("\"demo\" is not a valid application id"));
    row("id element starting with a digit",
        good().remove(desktop).file("org.1example.Demo.desktop",
                                    ZAVTestPackage::desktopEntry("3.0")),
        refused, QStringLiteral("not a valid application id"));
    row("desktop entry that is a link",
        good()
            .remove(desktop)
            .file("entry.txt", ZAVTestPackage::desktopEntry("3.0"))
            .symlink(desktop, "entry.txt"),
        refused, QStringLiteral("is not a regular file"));
    row("desktop entry that is no key file", withEntry("\x01\x02 not a desktop entry\n"), refused,
        QStringLiteral("not a valid desktop entry"));
    row("Type other than Application",
        withEntry("[Desktop Entry]\nType=Link\nName=Demo\nURL=http://example.org/\n"), refused,
        QStringLiteral("not Application"));
    row("no Exec", withExec(QByteArray()), refused, QStringLiteral("no Exec key"));
    row("Exec missing from the package", withExec("bin/missing %U"), refused,
        QStringLiteral("which is not in the package"));
    row("Exec not executable", withExec("icon.svg"), refused,
        QStringLiteral("which is not executable"));
    row("Exec absolute", withExec("/bin/sh -c true"), refused,
        QStringLiteral("not a program inside the application directory"));
    row("Exec climbing out", withExec("../../../../bin/sh"), refused, leaves);
    // Quoted names are escaped as the log escapes them: no text-direction control reaches the
    // installer's standard error.
    row("Exec with a right-to-left override", withExec("bin/\xe2\x80\xaegpj.exe"), refused,
        QStringLiteral("names \"bin/\\u202egpj.exe\", which is not in the package"));
    row("Exec naming a directory", withExec("bin"), refused,
        QStringLiteral("which is not a regular file"));
    row("Exec through a link leaving", withExec("out/sh").symlink("out", "."), refused,
        QStringLiteral("which is not in the package"));
    row("Exec of an action missing",
        withExec("bin/app", "Actions=new;\n\n[Desktop Action new]\nName=New\nExec=bin/new\n"),
        refused, QStringLiteral("the Exec of [Desktop Action new] names \"bin/new\""));
    row("TryExec missing", withExec("bin/app", "TryExec=bin/gone\n"), refused,
        QStringLiteral("TryExec names \"bin/gone\""));
    // Keys the key-file reader hides: only the last of two is checked, both are installed.
    const QString twice = QStringLiteral("comes more than once");
    row("Exec twice",
        withEntry("[Desktop Entry]\nType=Application\nExec=/usr/bin/xterm\n"
                  "Exec=bin/app\n"),
        refused, QStringLiteral("the key Exec ") + twice);
    row("TryExec twice", withExec("bin/app", "TryExec=/usr/bin/xterm\nTryExec=bin/app\n"), refused,
        twice);
    row("[Desktop Entry] twice",
        withExec("bin/app", "\n[X-Other]\n\n[Desktop Entry]\nExec=/bin/sh\n"), refused, twice);
    row("Exec twice in an action",
        withExec("bin/app", "Actions=new;\n\n[Desktop Action new]\nName=New\n"
                            "Exec=/usr/bin/xterm\nExec=bin/app\n"),
        refused, twice + QStringLiteral(" in [Desktop Action new]"));
    row("Name twice", withExec("bin/app", "Name=Other\n"), refused, twice);
    row("localized Exec", withExec("bin/app", "Exec[C]=/usr/bin/xterm\n"), refused,
        QStringLiteral("localized Exec (Exec[C])"));
    row("localized TryExec", withExec("bin/app", "TryExec[de_DE]=/usr/bin/xterm\n"), refused,
        QStringLiteral("localized TryExec"));
    QTest::newRow("another application than asked for")
        << bytes(good(), Compression::Gzip) << refused
        << QStringLiteral("not \"org.example.Other\" that was asked for")
        << QStringList{QStringLiteral("sh"), QStringLiteral("-c"),
                       QStringLiteral("exec \"$0\" -id org.example.Other \"$@\"")};

    // Damaged packages: a large file of text, so that a cut lands inside it.
    ZAVTestPackage large = good();
    QByteArray text;
    for (int i = 0; text.size() < 512 * 1024; ++i)
        text += "line " + QByteArray::number(i) + " of a large file\n";
    large.file("share/large.txt", text);
    const QString damaged = QStringLiteral("damaged or cut short");
    for (const auto &[name, compression] : {std::pair{"plain tar cut short", Compression::None},
                                            std::pair{"gzip cut short", Compression::Gzip},
                                            std::pair{"bzip2 cut short", Compression::Bzip2},
                                            std::pair{"xz cut short", Compression::Xz},
                                            std::pair{"zstd cut short", Compression::Zstd}}) {
        const QByteArray whole = bytes(large, compression);
        QTest::newRow(name) << whole.left(whole.size() / 2) << unreadable << damaged
                            << QStringList();
    }
    QByteArray corrupt = bytes(large, Compression::Gzip);
    for (qsizetype i = corrupt.size() / 3; i < corrupt.size() / 3 + 64; ++i)
        corrupt[i] = static_cast<char>(corrupt[i] ^ 0x5a);
    QTest::newRow("gzip corrupt in the middle")
        << corrupt << unreadable << damaged << QStringList();
    // Damage that only the compression's own check finds, also where the check comes after
    // the tar archive's end: two bytes flipped in the middle, or in the check itself.
    const QByteArray plain = bytes(large, Compression::None);
    QVERIFY(writeFile(scratch.path() + QStringLiteral("/plain.tar"), plain));
    const QByteArray gz = bytes(large, Compression::Gzip), bz2 = bytes(large, Compression::Bzip2),
                     xz = bytes(large, Compression::Xz),
                     zst = compressedBy(QStringLiteral("zstd"), scratch.path() + "/plain.tar");
    const auto flipped = [](QByteArray data, std::initializer_list<qsizetype> at) {
        for (const qsizetype i : at)
            data[i] = static_cast<char>(data[i] ^ 0x10);
        return data;
    };
    const auto damagedRow = [&](const char *name, const QByteArray &data) {
        QTest::newRow(name) << data << unreadable << QStringLiteral("damaged") << QStringList();
    };
    for (const auto &[name, data] : {std::pair{"gzip with two bytes flipped", gz},
                                     std::pair{"bzip2 with two bytes flipped", bz2},
                                     std::pair{"xz with two bytes flipped", xz},
                                     std::pair{"zstd with two bytes flipped", zst}})
        damagedRow(name, flipped(data, {data.size() / 2, data.size() / 2 + 1}));
    damagedRow("gzip with its CRC-32 flipped", flipped(gz, {gz.size() - 8}));
    damagedRow("gzip with its length flipped", flipped(gz, {gz.size() - 4}));
    damagedRow("bzip2 with its stream CRC flipped", flipped(bz2, {bz2.size() - 2}));
    // The block's check comes before the index, whose size the stream footer gives.
    const qsizetype xzIndex = (qFromLittleEndian<quint32>(xz.constData() + xz.size() - 8) + 1) * 4;
    damagedRow("xz with its check flipped", flipped(xz, {xz.size() - 12 - xzIndex - 1}));
    damagedRow("zstd with its checksum flipped", flipped(zst, {zst.size() - 1}));
    // Cut where an entry ends: a tar archive ends with two zero blocks.
    qsizetype entriesEnd = plain.size();
    while (entriesEnd > 0 && plain[entriesEnd - 1] == '\0')
        --entriesEnd;
    const QByteArray cut = plain.left((entriesEnd + 511) / 512 * 512);
    damagedRow("plain tar cut at an entry boundary", cut);
    damagedRow("plain tar with one end block", cut + QByteArray(512, '\0'));
    QTest::newRow("HTML page")
        << QByteArray("<!DOCTYPE html>\n<html><head><title>404 Not Found</title></head>"
                      "<body><h1>Not Found</h1></body></html>\n")
        << unreadable << QStringLiteral("not a package") << QStringList();
    QTest::newRow("empty file") << QByteArray("") << unreadable << QStringLiteral("not a package")
                                << QStringList();

    // The program the entry starts cannot be loaded here: status 6 and the user's sentence.
    const auto withProgram = [&](const QByteArray &program) {
        return good().remove("bin/app").file("bin/app", program, 0755);
    };
    const QString cannotRun = QStringLiteral(
        "zav-pkg: Demo Viewer cannot run on this computer: it needs %1, which is not installed.\n");
    row("program whose library the package lacks",
        withProgram(fileContents(QStringLiteral(ZAV_RUN_PROGRAM))), 6,
        cannotRun.arg("libzavrun.so.1"));
    row("script whose interpreter is missing", withProgram("#!/nonexistent/zav-sh\n"), 6,
        cannotRun.arg("/nonexistent/zav-sh"));
    // Saved with CRLF line ends: the kernel looks for "/bin/sh\r".
    row("script with CRLF line ends", withProgram("#!/bin/sh\r\nexit 0\r\n"), 6,
        cannotRun.arg("/bin/sh\\r"));
    row("script for env of a program not on PATH", withProgram("#!/usr/bin/env zav-no-sh\n"), 6,
        cannotRun.arg("zav-no-sh"));

    // More than the space left: the process may write no file over 1 MiB.
    QTest::newRow("larger than the space left")
        << bytes(good().file("share/big.bin", randomBytes(4 << 20, 3)), Compression::Zstd) << failed
        << QStringLiteral("not enough space left")
        << QStringList{QStringLiteral("prlimit"), QStringLiteral("--fsize=1048576"),
                       QStringLiteral("--")};
}

void PkgTest::refusalsLeaveTheHomeAsItWas()
{
    QFETCH(QByteArray, package);
    QFETCH(int, exitCode);
    QFETCH(QString, message);
    QFETCH(QStringList, wrapper);
    QVERIFY(!package.isNull());

    // Once over a home with 1.0 installed, once over a home with nothing installed.
    for (const bool withInstalled : {true, false}) {
        QTemporaryDir dir;
        const QString home = dir.path() + QStringLiteral("/home");
        if (withInstalled)
            QVERIFY(copyTree(m_template1, home));
        else
            QVERIFY(writeFile(home + QStringLiteral("/.profile"), "export EDITOR=vi\n"));
        const QString path = dir.path() + QStringLiteral("/package");
        QVERIFY(writeFile(path, package));
        const Tree before = snapshot(dir.path());

        const Run run = install(path, home, wrapper);
        QVERIFY2(!run.crashed, run.err.constData());
        QCOMPARE(run.exitCode, exitCode);
        QVERIFY2(QString::fromUtf8(run.err).contains(message), run.err.constData());
        const QString diff = difference(before, snapshot(dir.path()));
        QVERIFY2(diff.isEmpty(), qPrintable(diff));
        QVERIFY(!QFileInfo::exists(QStringLiteral("/tmp/zav-pkg-test-absolute-evil")));
    }
}

void PkgTest::programsThatLoadHereAreInstalled_data()
{
    QTest::addColumn<QByteArray>("program");
    QTest::addColumn<bool>("library"); // the package carries lib/libzavrun.so.1
    QTest::newRow("program and its library through $ORIGIN")
        << fileContents(QStringLiteral(ZAV_RUN_PROGRAM)) << true;
    QTest::newRow("script run by env") << QByteArray("#!/usr/bin/env sh\nexit 0\n") << false;
}

void PkgTest::programsThatLoadHereAreInstalled()
{
    QFETCH(QByteArray, program);
    QFETCH(bool, library);
    ZAVTestPackage package = ZAVTestPackage::application(kId, QStringLiteral("3.0"));
    package.remove("bin/app").file("bin/app", program, 0755);
    if (library)
        package.file("lib/libzavrun.so.1", fileContents(QStringLiteral(ZAV_RUN_LIBRARY)), 0755);
    QTemporaryDir dir;
    const QString path = dir.path() + QStringLiteral("/package.tar.gz");
    QVERIFY(package.write(path));
    const Run run = install(path, dir.path());
    QVERIFY2(run.exitCode == 0, run.err.constData());
    QCOMPARE(runProgram(applicationDirectory(dir.path()) + QStringLiteral("/bin/app"), {}).exitCode,
             0);
}

void PkgTest::linksPlantedInTheHomeAreNotFollowed_data()
{
    QTest::addColumn<QString>("link");
    QTest::newRow(".local") << QStringLiteral(".local");
    QTest::newRow(".local/opt") << QStringLiteral(".local/opt");
    QTest::newRow("applications") << QStringLiteral(".local/share/applications");
    QTest::newRow("receipts") << QStringLiteral(".local/share/zav/receipts");
    QTest::newRow("icons") << QStringLiteral(".local/share/icons/hicolor/scalable/apps");
}

void PkgTest::linksPlantedInTheHomeAreNotFollowed()
{
    QFETCH(QString, link);
    QTemporaryDir dir;
    const QString home = dir.path() + QStringLiteral("/home");
    const QString outside = dir.path() + QStringLiteral("/outside");
    QVERIFY(writeFile(outside + QStringLiteral("/keep.txt"), "not the installer's\n"));
    QVERIFY(QDir().mkpath(QFileInfo(home + u'/' + link).absolutePath()));
    QVERIFY(QFile::link(outside, home + u'/' + link));
    const Tree before = snapshot(dir.path());

    const Run run = install(m_package1, home);
    QCOMPARE(run.exitCode, 5);
    QVERIFY2(run.err.contains("follows no links"), run.err.constData());
    const QString diff = difference(before, snapshot(dir.path()));
    QVERIFY2(diff.isEmpty(), qPrintable(diff));
}

void PkgTest::commandLineErrors_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    const QString pkg = QStringLiteral("PKG");
    const QString home = QStringLiteral("HOME");
    QTest::newRow("nothing") << QStringList() << 2;
    QTest::newRow("no target") << QStringList{"-pkg", pkg} << 2;
    QTest::newRow("no package") << QStringList{"-target", home} << 2;
    QTest::newRow("option without value") << QStringList{"-target", home, "-pkg"} << 2;
    QTest::newRow("unknown option") << QStringList{"-pkg", pkg, "-target", home, "-force"} << 2;
    QTest::newRow("package given twice")
        << QStringList{"-pkg", pkg, "-pkg", pkg, "-target", home} << 2;
    QTest::newRow("target that is no directory")
        << QStringList{"-pkg", pkg, "-target", "/nonexistent/home"} << 2;
    QTest::newRow("package missing")
        << QStringList{"-pkg", "/nonexistent/demo.tar.gz", "-target", home} << 3;
    QTest::newRow("package that is a directory") << QStringList{"-pkg", home, "-target", home} << 3;
    // Opening a FIFO for reading would wait for a writer.
    QTest::newRow("package that is a FIFO") << QStringList{"-pkg", "FIFO", "-target", home} << 3;
    QTest::newRow("invalid -id") << QStringList{"-id", "app", "-pkg", pkg, "-target", home} << 2;
    QTest::newRow("-sha256 not 64 hex digits")
        << QStringList{"-sha256", QString(63, u'a'), "-pkg", pkg, "-target", home} << 2;
    QTest::newRow("-size not a number")
        << QStringList{"-size", "-1", "-pkg", pkg, "-target", home} << 2;
    const QString hex(64, u'a');
    QTest::newRow("-delta without its pins")
        << QStringList{"-id", kId, "-delta", pkg, "-sha256", hex, "-size", "1", "-target", home}
        << 2;
    QTest::newRow("-delta with -pkg") << QStringList{"-id",
                                                     kId,
                                                     "-delta",
                                                     pkg,
                                                     "-pkg",
                                                     pkg,
                                                     "-sha256",
                                                     hex,
                                                     "-size",
                                                     "1",
                                                     "-tree-sha256",
                                                     hex,
                                                     "-package-sha256",
                                                     hex,
                                                     "-target",
                                                     home}
                                      << 2;
    QTest::newRow("-tree-sha256 without -delta")
        << QStringList{"-tree-sha256", hex, "-pkg", pkg, "-target", home} << 2;
}

void PkgTest::commandLineErrors()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QTemporaryDir dir;
    arguments.replaceInStrings(QStringLiteral("PKG"), m_package1);
    arguments.replaceInStrings(QRegularExpression(QStringLiteral("^HOME$")), dir.path());
    QTemporaryDir fifoDir;
    const QString fifo = fifoDir.path() + QStringLiteral("/fifo");
    if (arguments.contains(QStringLiteral("FIFO")))
        QCOMPARE(mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    arguments.replaceInStrings(QRegularExpression(QStringLiteral("^FIFO$")), fifo);
    const Run run = runProgram(zavPkg(), arguments);
    QCOMPARE(run.exitCode, exitCode);
    QVERIFY(run.err.startsWith("zav-pkg: "));
    QCOMPARE(snapshot(dir.path()), Tree());
}

void PkgTest::pinnedPackageMismatchLeavesTheHomeAsItWas_data()
{
    QTest::addColumn<QStringList>("arguments"); // before the usual ones; upgrading to 2.0
    QTest::addColumn<QString>("message");       // empty: installed
    const QByteArray package = fileContents(m_package2);
    QByteArray digest = sha256(package);
    const QString size = QString::number(package.size());
    QTest::newRow("as pinned") << QStringList{"-sha256", digest, "-size", size} << QString();
    QTest::newRow("SHA-256 of another package")
        << QStringList{"-sha256", sha256(fileContents(m_package1))} << "expected (-sha256)";
    digest[63] = digest[63] == '0' ? '1' : '0';
    QTest::newRow("SHA-256 one digit off")
        << QStringList{"-sha256", digest, "-size", size} << "expected (-sha256)";
    QTest::newRow("one byte longer than pinned")
        << QStringList{"-size", QString::number(package.size() - 1)} << "expected (-size)";
    QTest::newRow("one byte shorter than pinned")
        << QStringList{"-size", QString::number(package.size() + 1)} << "expected (-size)";
}

void PkgTest::pinnedPackageMismatchLeavesTheHomeAsItWas()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, message);
    QTemporaryDir dir;
    const QString home = dir.path() + QStringLiteral("/home");
    QVERIFY(copyTree(m_template1, home));
    const Tree before = snapshot(dir.path());
    const Run run = runProgram(zavPkg(), arguments + installArguments(m_package2, home));
    QCOMPARE(run.exitCode, message.isEmpty() ? 0 : 4);
    if (message.isEmpty()) {
        QCOMPARE(receipt(home).value(QLatin1String("version")).toString(), QStringLiteral("2.0"));
        return;
    }
    QVERIFY2(run.err.contains(message.toUtf8()), run.err.constData());
    const QString diff = difference(before, snapshot(dir.path()));
    QVERIFY2(diff.isEmpty(), qPrintable(diff));
}

void PkgTest::helpListsTheExitStatuses()
{
    const Run run = runProgram(zavPkg(), {QStringLiteral("-help")});
    QCOMPARE(run.exitCode, 0);
    for (const char *line :
         {"  0  installed", "  2  usage error", "  3  unreadable package", "  4  refused package",
          "  5  installation failed", "  6  cannot run here", "  7  the delta does not apply"})
        QVERIFY2(run.out.contains(line), line);
}

void PkgTest::leftoversOfAKilledRunAreCleaned()
{
    QTemporaryDir dir;
    const QString home = dir.path() + QStringLiteral("/home");
    QVERIFY(copyTree(m_template1, home));
    const QString opt = home + QStringLiteral("/.local/opt/");
    QVERIFY(writeFile(opt + QStringLiteral(".zav-staging-0011223344556677/bin/app"), "half"));
    QVERIFY(writeFile(opt + QStringLiteral(".zav-staging-0011223344556677/ro/file"), "x"));
    QVERIFY(QFile::setPermissions(opt + QStringLiteral(".zav-staging-0011223344556677/ro"),
                                  QFile::ReadOwner | QFile::ExeOwner));
    QVERIFY(QFile::link(QStringLiteral("/"),
                        opt + QStringLiteral(".zav-staging-0011223344556677/root")));
    QVERIFY(writeFile(opt + QStringLiteral(".zav-old-") + kId +
                          QStringLiteral("-8899aabbccddeeff/bin/app"),
                      "old"));
    for (const char *folder : {"applications", "zav/receipts", "icons/hicolor/scalable/apps"})
        QVERIFY(writeFile(home + QStringLiteral("/.local/share/") + QLatin1String(folder) +
                              QStringLiteral("/.zav-tmp-0123456789abcdef"),
                          "half written"));

    const Run run = install(m_package2, home);
    QVERIFY2(run.exitCode == 0, run.err.constData());
    QCOMPARE(leftovers(home), QStringList());
    QCOMPARE(fileContents(applicationDirectory(home) + QStringLiteral("/bin/app")),
             QByteArray("#!/bin/sh\necho 2.0\n"));
    QVERIFY(QFileInfo(QStringLiteral("/etc")).isDir()); // the link was removed, not followed
}

void PkgTest::concurrentRunsTakeTurns()
{
    QTemporaryDir dir;
    const QString home = dir.path() + QStringLiteral("/home");
    QVERIFY(copyTree(m_template1, home));
    ZAVTestPackage three = version2();
    three.remove(kId.toUtf8() + ".desktop")
        .file(kId.toUtf8() + ".desktop", ZAVTestPackage::desktopEntry(QStringLiteral("3.0")))
        .file("share/large.bin", randomBytes(2 << 20, 4));
    const QString package3 = dir.path() + QStringLiteral("/demo-3.0.tar.gz");
    QVERIFY(three.write(package3));

    QList<QProcess *> runs;
    for (int i = 0; i < 4; ++i) {
        auto *process = new QProcess(this);
        process->start(zavPkg(), installArguments(i % 2 ? package3 : m_package2, home));
        runs << process;
    }
    for (QProcess *process : runs) {
        QVERIFY(process->waitForFinished(60000));
        QVERIFY2(process->exitStatus() == QProcess::NormalExit && process->exitCode() == 0,
                 process->readAllStandardError().constData());
        delete process;
    }
    const QString version = receipt(home).value(QLatin1String("version")).toString();
    QTemporaryDir fresh;
    QVERIFY(
        install(version == QLatin1String("3.0") ? package3 : m_package2, fresh.path()).exitCode ==
        0);
    const QString diff = difference(snapshot(applicationDirectory(fresh.path())),
                                    snapshot(applicationDirectory(home)));
    QVERIFY2(diff.isEmpty(), qPrintable(diff));
    QCOMPARE(leftovers(home), QStringList());
}

void PkgTest::killAtAnyMomentLeavesOneWholeVersion()
{
    // The trees of a whole 1.0 and a whole 2.0.
    QTemporaryDir fresh;
    QVERIFY(install(m_package2, fresh.path()).exitCode == 0);
    const Tree whole2 = snapshot(applicationDirectory(fresh.path()));
    const Tree whole1 = snapshot(applicationDirectory(m_template1));
    QVERIFY(!whole1.isEmpty() && whole1 != whole2);

    // Kills at moments spread over the calls an upgrade makes many of (unpacking, removing
    // the old version), and at every call of those it makes a few of (around the swap).
    const int every = 0;
    const QList<std::pair<QString, int>> plan = {
        {QStringLiteral("openat"), 8},       {QStringLiteral("mkdirat"), 3},
        {QStringLiteral("pwrite64"), 5},     {QStringLiteral("unlinkat"), 5},
        {QStringLiteral("close"), 4},        {QStringLiteral("symlinkat"), every},
        {QStringLiteral("fchmod"), every},   {QStringLiteral("syncfs"), every},
        {QStringLiteral("fsync"), every},    {QStringLiteral("renameat2"), every},
        {QStringLiteral("renameat"), every},
    };
    QStringList traced;
    for (const auto &step : plan)
        traced << step.first;
    QTemporaryDir counting;
    const QString countHome = counting.path() + QStringLiteral("/home");
    QVERIFY(copyTree(m_template1, countHome));
    const QString trace = counting.path() + QStringLiteral("/trace");
    const Run traceRun =
        install(m_package2, countHome,
                {QStringLiteral("strace"), QStringLiteral("-f"), QStringLiteral("-o"), trace,
                 QStringLiteral("-e"), QStringLiteral("trace=") + traced.join(u',')});
    QVERIFY2(traceRun.exitCode == 0, traceRun.err.constData());
    QMap<QString, int> calls;
    const QRegularExpression call(QStringLiteral("^\\d+\\s+([a-z0-9_]+)\\("));
    for (const QByteArray &line : fileContents(trace).split('\n')) {
        const QRegularExpressionMatch match = call.match(QString::fromLatin1(line));
        if (match.hasMatch())
            calls[match.captured(1)] += 1;
    }

    int kills = 0;
    int endedOld = 0;
    int endedNew = 0;
    for (const auto &[syscall, points] : plan) {
        const int count = calls.value(syscall);
        QVERIFY2(count > 0 || points == every, qPrintable(syscall));
        QSet<int> moments;
        for (int i = 0; i < (points == every ? count : points); ++i)
            moments.insert(points == every ? i + 1
                                           : 1 + static_cast<int>((i + 0.5) * count / points));
        for (const int when : moments) {
            const QString moment = syscall + u'#' + QString::number(when);
            QTemporaryDir dir;
            const QString home = dir.path() + QStringLiteral("/home");
            QVERIFY(copyTree(m_template1, home));
            const Run killed = install(
                m_package2, home,
                {QStringLiteral("strace"), QStringLiteral("-f"), QStringLiteral("-o"),
                 QStringLiteral("/dev/null"), QStringLiteral("-e"),
                 QStringLiteral("inject=%1:signal=SIGKILL:when=%2").arg(syscall).arg(when)});
            QVERIFY2(killed.crashed || killed.exitCode != 0, qPrintable(moment));
            ++kills;

            const Tree after = snapshot(applicationDirectory(home));
            if (after == whole1)
                ++endedOld;
            else if (after == whole2)
                ++endedNew;
            else
                QFAIL(qPrintable(moment + QStringLiteral(" left a mix:\n") +
                                 difference(whole1, after)));

            const Run next = install(m_package2, home);
            QVERIFY2(next.exitCode == 0, qPrintable(moment + u' ' + next.err));
            QVERIFY2(snapshot(applicationDirectory(home)) == whole2, qPrintable(moment));
            QCOMPARE(receipt(home).value(QLatin1String("version")).toString(),
                     QStringLiteral("2.0"));
            QVERIFY2(leftovers(home).isEmpty(), qPrintable(moment));
        }
    }
    QVERIFY2(kills >= 30, qPrintable(QString::number(kills)));
    QVERIFY2(endedOld > 0 && endedNew > 0,
             qPrintable(QStringLiteral("old %1, new %2").arg(endedOld).arg(endedNew)));
}

void PkgTest::killBetweenTheRenamesWithoutExchangeIsRepaired()
{
    const Tree whole1 = snapshot(applicationDirectory(m_template1));
    const QStringList noExchange = {
        QStringLiteral("strace"), QStringLiteral("-f"),
        QStringLiteral("-o"),     QStringLiteral("/dev/null"),
        QStringLiteral("-e"),     QStringLiteral("inject=renameat2:error=EINVAL")};
    QTemporaryDir dir;
    const QString home = dir.path() + QStringLiteral("/home");
    QVERIFY(copyTree(m_template1, home));

    // The first rename moves 1.0 aside, the second would move 2.0 in.
    const Run killed = install(
        m_package2, home,
        noExchange + QStringList{QStringLiteral("-e"), QStringLiteral("inject=renameat:signal="
                                                                      "SIGKILL:when=2")});
    QVERIFY(killed.crashed || killed.exitCode != 0);
    QVERIFY(!QFileInfo::exists(applicationDirectory(home)));
    const QStringList aside = leftovers(home + QStringLiteral("/.local/opt"))
                                  .filter(QRegularExpression(QStringLiteral("^\\.zav-old-[^/]*$")));
    QCOMPARE(aside.size(), 1);

    // Any next run puts 1.0 back, even one that refuses its own package.
    const QString html = dir.path() + QStringLiteral("/page.html");
    QVERIFY(writeFile(html, "<html><body>Not Found</body></html>\n"));
    QCOMPARE(install(html, home).exitCode, 3);
    QVERIFY(snapshot(applicationDirectory(home)) == whole1);
    QCOMPARE(leftovers(home), QStringList());

    // Without the kill, the upgrade completes on such a file system.
    const Run upgraded = install(m_package2, home, noExchange);
    QVERIFY2(upgraded.exitCode == 0, upgraded.err.constData());
    QCOMPARE(fileContents(applicationDirectory(home) + QStringLiteral("/bin/app")),
             QByteArray("#!/bin/sh\necho 2.0\n"));
    QCOMPARE(leftovers(home), QStringList());
}

namespace {

Run uninstall(const QString &home, const QString &id = kId, const QStringList &wrapper = {},
              const QString &option = QStringLiteral("-uninstall"))
{
    const QStringList arguments{option, QStringLiteral("-id"), id, QStringLiteral("-target"), home};
    if (wrapper.isEmpty())
        return runProgram(zavPkg(), arguments);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("ASAN_OPTIONS"),
                       environment.value(QStringLiteral("ASAN_OPTIONS")) +
                           QStringLiteral(":detect_leaks=0"));
    return runProgram(wrapper.front(), wrapper.mid(1) + QStringList{zavPkg()} + arguments,
                      environment);
}

// The places of kId in `home` that zav-pkg writes, and its own folder (the last product's).
QStringList productPaths(const QString &home)
{
    const QString share = home + QStringLiteral("/.local/share/");
    return {applicationDirectory(home),
            desktopEntryPath(home),
            share + QStringLiteral("icons/hicolor/scalable/apps/") + kId + QStringLiteral(".svg"),
            share + QStringLiteral("zav/receipts/") + kId + QStringLiteral(".json"),
            share + QStringLiteral("zav/receipts/") + kId + QStringLiteral(".owned"),
            home + QStringLiteral("/.local/opt/.previous"),
            share + QStringLiteral("zav")}; // the shared remover, the receipts' folder
}

} // namespace

void PkgTest::entryGetsAnUninstallActionThatValidates()
{
    const QByteArray entry = fileContents(desktopEntryPath(m_template1));
    const QString group = QStringLiteral("Desktop Action zav-uninstall");
    QCOMPARE(keyValue(entry, QStringLiteral("Actions")), QStringLiteral("zav-uninstall;"));
    QCOMPARE(keyValue(entry, QStringLiteral("Name"), group),
             QStringLiteral("Uninstall Demo Viewer"));
    QVERIFY(keyValue(entry, QStringLiteral("Exec"), group)
                .startsWith(m_template1 + QStringLiteral("/.local/share/zav/bin/zav-remove -id ")));
    if (!QStandardPaths::findExecutable(QStringLiteral("desktop-file-validate")).isEmpty()) {
        const Run valid =
            runProgram(QStringLiteral("desktop-file-validate"), {desktopEntryPath(m_template1)});
        QVERIFY2(valid.exitCode == 0 && valid.out.isEmpty(), valid.out.constData());
    }

    // A package that brings an action of that name is refused.
    QTemporaryDir dir;
    const QString package = dir.path() + QStringLiteral("/clash.tar.gz");
    const QByteArray name = kId.toUtf8() + ".desktop";
    ZAVTestPackage clash = ZAVTestPackage::application(kId, QStringLiteral("3.0"));
    clash.remove(name).file(
        name, ZAVTestPackage::desktopEntry(QStringLiteral("3.0"), "bin/app",
                                           "Actions=gone;\n[Desktop Action gone]\n"
                                           "Name=Uninstall Demo Viewer\nExec=bin/app\n"));
    QVERIFY(clash.write(package));
    const Run refused = install(package, dir.path());
    QCOMPARE(refused.exitCode, 4);
    QVERIFY2(refused.err.contains("Uninstall Demo Viewer"), refused.err.constData());
}

void PkgTest::uninstallRemovesOnlyWhatTheReceiptOwns_data()
{
    QTest::addColumn<QString>("plant");       // below the home; "" plants nothing
    QTest::addColumn<QByteArray>("contents"); // "->target" plants a link
    QTest::addColumn<QString>("id");
    QTest::addColumn<int>("exitCode");
    QTest::newRow("whole") << QString() << QByteArray() << kId << 0;
    QTest::newRow("user's icon") << QStringLiteral(".local/share/icons/hicolor/256x256/apps/") +
                                        kId + QStringLiteral(".png")
                                 << QByteArray("mine") << kId << 5;
    QTest::newRow("desktop entry rewritten")
        << QStringLiteral(".local/share/applications/") + kId + QStringLiteral(".desktop")
        << QByteArray("[Desktop Entry]\nType=Application\n") << kId << 5;
    QTest::newRow("desktop entry a link")
        << QStringLiteral(".local/share/applications/") + kId + QStringLiteral(".desktop")
        << QByteArray("->/etc/hostname") << kId << 5;
    QTest::newRow("unknown id") << QString() << QByteArray() << QStringLiteral("org.example.None")
                                << 5;
}

void PkgTest::uninstallRemovesOnlyWhatTheReceiptOwns()
{
    QFETCH(QString, plant);
    QFETCH(QByteArray, contents);
    QFETCH(QString, id);
    QFETCH(int, exitCode);
    QTemporaryDir dir;
    const QString home = dir.path() + QStringLiteral("/home");
    QVERIFY(copyTree(m_template1, home));
    QVERIFY(writeFile(home + QStringLiteral("/.local/state/zav/feeds/feed.json"), "{}"));
    QVERIFY(writeFile(home + QStringLiteral("/.config/demo/settings"), "mine"));
    if (!plant.isEmpty()) {
        QFile::remove(home + u'/' + plant);
        QVERIFY(contents.startsWith("->")
                    ? QFile::link(QString::fromUtf8(contents.mid(2)), home + u'/' + plant)
                    : writeFile(home + u'/' + plant, contents));
    }
    const Tree before = snapshot(home);

    const Run run = uninstall(home, id);
    QVERIFY2(run.exitCode == exitCode, run.err.constData());
    if (exitCode != 0) {
        QVERIFY2(
            run.err.contains(plant.isEmpty() ? QByteArray("is not installed") : plant.toUtf8()),
            run.err.constData());
        const QString diff = difference(before, snapshot(home));
        QVERIFY2(diff.isEmpty(), qPrintable(diff));
        return;
    }
    for (const QString &path : productPaths(home))
        QVERIFY2(!QFileInfo(path).exists() && !QFileInfo(path).isSymLink(), qPrintable(path));
    Tree after = snapshot(home);
    for (const QString &kept :
         {QStringLiteral(".profile"), QStringLiteral(".local/share/applications/other.desktop"),
          QStringLiteral(".local/state/zav/feeds/feed.json"),
          QStringLiteral(".config/demo/settings")})
        QCOMPARE(after.value(kept), before.value(kept));
    QCOMPARE(leftovers(home), QStringList());

    // It installs again, action and all.
    const Run again = install(m_package1, home);
    QVERIFY2(again.exitCode == 0, again.err.constData());
    QVERIFY(QFileInfo(home + QStringLiteral("/.local/share/zav/bin/zav-remove")).isExecutable());
    QCOMPARE(keyValue(fileContents(desktopEntryPath(home)), QStringLiteral("Actions")),
             QStringLiteral("zav-uninstall;"));
}

void PkgTest::uninstallKilledMidwayIsFinishedByTheNextRun_data()
{
    QTest::addColumn<QString>("syscall");
    QTest::addColumn<int>("when");
    QTest::newRow("the first rename") << QStringLiteral("renameat2") << 1;
    for (const int when : {1, 2, 4, 5, 9})
        QTest::newRow(qPrintable(QStringLiteral("unlink %1").arg(when)))
            << QStringLiteral("unlinkat") << when;
}

void PkgTest::uninstallKilledMidwayIsFinishedByTheNextRun()
{
    QFETCH(QString, syscall);
    QFETCH(int, when);
    QTemporaryDir dir;
    const QString home = dir.path() + QStringLiteral("/home");
    QVERIFY(copyTree(m_template1, home));
    const Tree whole = snapshot(home);
    const Run killed =
        uninstall(home, kId,
                  {QStringLiteral("strace"), QStringLiteral("-f"), QStringLiteral("-o"),
                   QStringLiteral("/dev/null"), QStringLiteral("-e"),
                   QStringLiteral("inject=%1:signal=SIGKILL:when=%2").arg(syscall).arg(when)});
    QVERIFY(killed.crashed || killed.exitCode != 0);
    // Whole, or on its way out: never a product that looks installed but is not.
    const bool untouched = snapshot(home) == whole;
    QVERIFY(untouched || !QFileInfo::exists(applicationDirectory(home)));

    // The next run of any kind finishes it; a removal run then finds nothing or removes it.
    const Run next = uninstall(home, kId, {}, QStringLiteral("-rollback"));
    QCOMPARE(next.exitCode, 5);
    QVERIFY(untouched || !QFileInfo::exists(desktopEntryPath(home)));
    const Run removal = uninstall(home);
    QVERIFY2(removal.exitCode == (untouched ? 0 : 5), removal.err.constData());
    for (const QString &path : productPaths(home))
        QVERIFY2(!QFileInfo::exists(path), qPrintable(path));
    QCOMPARE(leftovers(home), QStringList());
}

void PkgTest::rollbackPutsTheKeptVersionBack_data()
{
    QTest::addColumn<QStringList>("upgrades"); // packages installed over 1.0, in order
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("version"); // after the roll-back
    QTest::newRow("after an upgrade")
        << QStringList{QStringLiteral("2")} << 0 << QStringLiteral("1.0");
    QTest::newRow("nothing kept") << QStringList() << 5 << QStringLiteral("1.0");
    QTest::newRow("kept copy replaced at the next upgrade")
        << QStringList{QStringLiteral("2"), QStringLiteral("1")} << 0 << QStringLiteral("2.0");
}

void PkgTest::rollbackPutsTheKeptVersionBack()
{
    QFETCH(QStringList, upgrades);
    QFETCH(int, exitCode);
    QFETCH(QString, version);
    QTemporaryDir fresh;
    QVERIFY(install(version == QStringLiteral("1.0") ? m_package1 : m_package2, fresh.path())
                .exitCode == 0);
    const Tree wholeApp = snapshot(applicationDirectory(fresh.path()));
    QTemporaryDir dir;
    const QString home = dir.path() + QStringLiteral("/home");
    QVERIFY(copyTree(m_template1, home));
    for (const QString &upgrade : upgrades)
        QCOMPARE(install(upgrade == u'1' ? m_package1 : m_package2, home).exitCode, 0);
    const Tree before = snapshot(home);

    const Run run = uninstall(home, kId, {}, QStringLiteral("-rollback"));
    QVERIFY2(run.exitCode == exitCode, run.err.constData());
    QVERIFY(snapshot(applicationDirectory(home)) == wholeApp);
    QCOMPARE(receipt(home).value(QLatin1String("version")).toString(), version);
    QCOMPARE(keyValue(fileContents(desktopEntryPath(home)), QStringLiteral("X-Package-Version")),
             version);
    const QString icons = home + QStringLiteral("/.local/share/icons/hicolor/");
    QCOMPARE(QFileInfo::exists(icons + QStringLiteral("scalable/apps/") + kId + ".svg"),
             version == QStringLiteral("1.0"));
    QCOMPARE(QFileInfo::exists(icons + QStringLiteral("256x256/apps/") + kId + ".png"),
             version == QStringLiteral("2.0"));
    if (exitCode != 0) {
        const QString diff = difference(before, snapshot(home));
        QVERIFY2(diff.isEmpty(), qPrintable(diff));
    } else {
        // One roll-back: the copy is used up, and the version rolled back from is gone.
        QVERIFY(!QFileInfo::exists(home + QStringLiteral("/.local/opt/.previous")));
        QCOMPARE(uninstall(home, kId, {}, QStringLiteral("-rollback")).exitCode, 5);
    }
    QCOMPARE(leftovers(home), QStringList());
}

void PkgTest::rollbackKilledLeavesOneWholeVersion_data()
{
    QTest::addColumn<QString>("syscall");
    QTest::addColumn<int>("when");
    for (const int when : {1, 2})
        QTest::newRow(qPrintable(QStringLiteral("renameat2 %1").arg(when)))
            << QStringLiteral("renameat2") << when;
    for (const int when : {1, 3})
        QTest::newRow(qPrintable(QStringLiteral("renameat %1").arg(when)))
            << QStringLiteral("renameat") << when;
}

void PkgTest::rollbackKilledLeavesOneWholeVersion()
{
    QFETCH(QString, syscall);
    QFETCH(int, when);
    QTemporaryDir fresh;
    QVERIFY(install(m_package2, fresh.path()).exitCode == 0);
    const Tree whole2 = snapshot(applicationDirectory(fresh.path()));
    const Tree whole1 = snapshot(applicationDirectory(m_template1));
    QTemporaryDir dir;
    const QString home = dir.path() + QStringLiteral("/home");
    QVERIFY(copyTree(m_template1, home));
    QCOMPARE(install(m_package2, home).exitCode, 0);
    const Run killed =
        uninstall(home, kId,
                  {QStringLiteral("strace"), QStringLiteral("-f"), QStringLiteral("-o"),
                   QStringLiteral("/dev/null"), QStringLiteral("-e"),
                   QStringLiteral("inject=%1:signal=SIGKILL:when=%2").arg(syscall).arg(when)},
                  QStringLiteral("-rollback"));
    QVERIFY(killed.crashed || killed.exitCode != 0);
    // Any next run cleans up; one whole version is there, before and after it.
    const Tree app = snapshot(applicationDirectory(home));
    QVERIFY(app == whole1 || app == whole2);
    QCOMPARE(uninstall(home, QStringLiteral("org.example.None")).exitCode, 5);
    QVERIFY(snapshot(applicationDirectory(home)) == app);
    QCOMPARE(leftovers(home), QStringList());
}

namespace {

// zav-pkg -delta on `delta`, pinned as `facts` say (zav-vendor delta's lines), with `sha256`
// instead of the delta's own digest when given.
Run applyDelta(const QString &delta, const QString &home, const QMap<QString, QString> &facts,
               const QString &sha256 = QString())
{
    return runProgram(
        zavPkg(), {QStringLiteral("-verbose"), QStringLiteral("-id"), kId, QStringLiteral("-delta"),
                   delta, QStringLiteral("-sha256"),
                   sha256.isEmpty() ? QString::fromLatin1(::sha256(fileContents(delta))) : sha256,
                   QStringLiteral("-size"), QString::number(QFileInfo(delta).size()),
                   QStringLiteral("-tree-sha256"), facts.value(QStringLiteral("treeSha256")),
                   QStringLiteral("-package-sha256"), facts.value(QStringLiteral("packageSha256")),
                   QStringLiteral("-target"), home});
}

} // namespace

void PkgTest::makeDelta()
{
    if (!m_delta.isEmpty())
        return;
    const QByteArray model = randomBytes(512 * 1024, 9);
    QByteArray changed = model;
    changed.replace(200000, 5, "12345");
    m_deltaPackage1 = m_scratch + QStringLiteral("/delta-1.0.tar.zst");
    m_deltaPackage2 = m_scratch + QStringLiteral("/delta-2.0.tar.zst");
    QVERIFY(version1()
                .file("share/model.bin", model)
                .file("share/same.bin", "kept\n")
                .write(m_deltaPackage1, Compression::Zstd));
    QVERIFY(version2()
                .file("share/model.bin", changed)
                .file("share/same.bin", "kept\n")
                .write(m_deltaPackage2, Compression::Zstd));
    const QString delta = m_scratch + QStringLiteral("/demo.delta.tar.zst");
    const Run made = runProgram(
        qEnvironmentVariable("ZAV_BINARY_DIR") + QStringLiteral("/bin/zav-vendor"),
        {QStringLiteral("delta"), m_deltaPackage1, m_deltaPackage2, QStringLiteral("-o"), delta});
    QVERIFY2(made.exitCode == 0, made.err.constData());
    for (const QByteArray &line : made.out.split('\n'))
        m_deltaFacts.insert(QString::fromUtf8(line).section(u':', 0, 0),
                            QString::fromUtf8(line).section(u':', 1).trimmed());
    m_delta = delta;
    QCOMPARE(m_deltaFacts.value(QStringLiteral("files")),
             QStringLiteral("1 unchanged, 3 patched, 19 whole"));
}

void PkgTest::deltaBuildsTheTreeTheFullPackageInstalls()
{
    makeDelta();
    QTemporaryDir scratch;
    const QString updated = scratch.path() + QStringLiteral("/updated");
    const QString full = scratch.path() + QStringLiteral("/full");
    for (const QString &home : {updated, full}) {
        QVERIFY(QDir().mkpath(home));
        const Run run = install(m_deltaPackage1, home);
        QVERIFY2(run.exitCode == 0, run.err.constData());
    }
    // The patched file is a few bytes apart: the delta holds hardly any of its 512 KiB.
    QVERIFY(QFileInfo(m_delta).size() + 500 * 1024 < QFileInfo(m_deltaPackage2).size());
    const Run applied = applyDelta(m_delta, updated, m_deltaFacts);
    QVERIFY2(applied.exitCode == 0, applied.err.constData());
    const Run installed = install(m_deltaPackage2, full);
    QVERIFY2(installed.exitCode == 0, installed.err.constData());
    const Tree fromDelta = snapshot(applicationDirectory(updated));
    QVERIFY2(fromDelta == snapshot(applicationDirectory(full)),
             qPrintable(difference(fromDelta, snapshot(applicationDirectory(full)))));
    QVERIFY(!fromDelta.contains(QStringLiteral("lib/only-in-1.txt")));
    // With the same times, which caches of compiled scripts and icons compare.
    for (QDirIterator it(applicationDirectory(full), QDir::Files | QDir::NoSymLinks,
                         QDirIterator::Subdirectories);
         it.hasNext();) {
        const QString path = it.next();
        QCOMPARE(QFileInfo(QString(path).replace(full, updated)).lastModified(),
                 it.fileInfo().lastModified());
    }
    // The receipt names the full package, which the next delta starts from.
    QCOMPARE(receipt(updated).value(QStringLiteral("packageSha256")).toString(),
             m_deltaFacts.value(QStringLiteral("packageSha256")));
    const auto files = [](const QString &home) {
        QStringList paths = receipt(home).value(QStringLiteral("files")).toVariant().toStringList();
        paths.sort();
        return paths;
    };
    QCOMPARE(files(updated), files(full));
    QVERIFY(leftovers(updated).isEmpty());
    // The version replaced is kept, as an upgrade keeps it.
    const Run rolledBack = runProgram(zavPkg(), {QStringLiteral("-rollback"), QStringLiteral("-id"),
                                                 kId, QStringLiteral("-target"), updated});
    QVERIFY2(rolledBack.exitCode == 0, rolledBack.err.constData());
    QVERIFY(
        QFileInfo::exists(applicationDirectory(updated) + QStringLiteral("/lib/only-in-1.txt")));
}

void PkgTest::deltaThatDoesNotApplyChangesNothing_data()
{
    // What a row changes: in the installed directory before the run ("installed"), the delta
    // file ("damage"), the pin ("pin"), or a delta written by hand whose entries are given
    // ("entries", a JSON array; "data/0" holds "evil\n").
    QTest::addColumn<QString>("change");
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<QString>("reason");
    QTest::newRow("an installed file that is copied was altered")
        << "installed" << QByteArray("share/same.bin") << "was changed since it was installed";
    QTest::newRow("the installed file that is patched was altered")
        << "installed" << QByteArray("share/model.bin") << "was changed since it was installed";
    QTest::newRow("the installed file that is patched is a link now")
        << "link" << QByteArray("share/model.bin") << "missing or not a regular file";
    QTest::newRow("another version is installed")
        << "base" << QByteArray() << "the delta is made for the package";
    // Whatever the damaged bytes decompress into, a digest does not hold.
    QTest::newRow("damaged delta") << "damage" << QByteArray() << "";
    QTest::newRow("not the pinned delta") << "pin" << QByteArray() << "expected (-sha256)";
    const QByteArray evil = R"("type": "file", "mode": 420, "size": 5, "sha256": ")" +
                            sha256("evil\n") + R"(", "source": "whole", "data": "data/0")";
    QTest::newRow("an entry that leaves the directory") << "entries"
                                                        << R"([{"path": "../evil", )" + evil + "}]"
                                                        << "..";
    QTest::newRow("an entry written through a link of the delta")
        << "entries"
        << R"([{"path": "lib", "type": "link", "mode": 511, "target": "share"},
              {"path": "lib/x", )" +
               evil + "}]"
        << "through a link";
    QTest::newRow("a link that leaves the directory")
        << "entries" << QByteArray(R"([{"path": "l", "type": "link", "mode": 511,
                                        "target": "../../../.."}])")
        << "leaves the application directory";
    QTest::newRow("a copy from outside the installed directory")
        << "entries"
        << R"([{"path": "x", "type": "file", "mode": 420, "size": 5, "sha256": ")" +
               sha256("evil\n") + R"(", "source": "unchanged", "from": "../../../.profile"}])"
        << "..";
    QTest::newRow("a copy through a link of the installed directory")
        << "entries"
        << R"([{"path": "x", "type": "file", "mode": 420, "size": 5, "sha256": ")" +
               sha256("evil\n") + R"(", "source": "unchanged", "from": "lib/current/x"}])"
        << "missing or not a regular file";
}

void PkgTest::deltaThatDoesNotApplyChangesNothing()
{
    QFETCH(QString, change);
    QFETCH(QByteArray, value);
    QFETCH(QString, reason);
    makeDelta();
    QTemporaryDir scratch;
    const QString home = scratch.path() + QStringLiteral("/home");
    QVERIFY(QDir().mkpath(home));
    QVERIFY(writeFile(home + QStringLiteral("/.profile"), "evil\n"));
    const Run base = install(change == u"base" ? m_deltaPackage2 : m_deltaPackage1, home);
    QVERIFY2(base.exitCode == 0, base.err.constData());
    const QString installed = applicationDirectory(home) + u'/' + QString::fromUtf8(value);
    if (change == u"installed") {
        QByteArray contents = fileContents(installed);
        contents[0] = char(contents[0] ^ 1);
        QVERIFY(writeFile(installed, contents));
    } else if (change == u"link") {
        const QString copy = scratch.path() + QStringLiteral("/model.bin");
        QVERIFY(QFile::copy(installed, copy) && QFile::remove(installed));
        QVERIFY(QFile::link(copy, installed));
    }
    QString delta = m_delta;
    QString pin;
    if (change == u"damage") {
        delta = scratch.path() + QStringLiteral("/damaged.delta");
        QByteArray bytes = fileContents(m_delta);
        for (qsizetype i = bytes.size() / 3; i < bytes.size() / 3 + 8; ++i)
            bytes[i] = char(bytes[i] ^ 0x55);
        QVERIFY(writeFile(delta, bytes));
    } else if (change == u"pin") {
        pin = QString(64, u'0');
    } else if (change == u"entries") {
        delta = scratch.path() + QStringLiteral("/crafted.delta");
        const QByteArray manifest =
            R"({"format": "zav-delta 1", "fromSha256": ")" +
            receipt(home).value(QStringLiteral("packageSha256")).toString().toLatin1() +
            R"(", "packageSha256": ")" + m_deltaFacts.value("packageSha256").toLatin1() +
            R"(", "packageSize": 1, "treeSha256": ")" +
            m_deltaFacts.value("treeSha256").toLatin1() + R"(", "entries": )" + value + "}";
        ZAVTestPackage crafted;
        crafted.file("manifest.json", manifest).file("data/0", "evil\n");
        QVERIFY(crafted.write(delta, Compression::Zstd));
    }
    const Tree before = snapshot(home);
    const Run run = applyDelta(delta, home, m_deltaFacts, pin);
    QCOMPARE(run.exitCode, 7);
    QVERIFY2(run.err.contains("zav-pkg: the delta does not apply: ") &&
                 run.err.contains(reason.toUtf8()),
             run.err.constData());
    QVERIFY2(snapshot(home) == before, qPrintable(difference(before, snapshot(home))));
    QCOMPARE(fileContents(home + QStringLiteral("/.profile")), QByteArray("evil\n"));
    QVERIFY(!QFileInfo::exists(scratch.path() + QStringLiteral("/evil")));
}

QTEST_GUILESS_MAIN(PkgTest)
#include "tst_pkg.moc"

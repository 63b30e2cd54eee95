// The file steps every other library relies on: what a failure leaves, and that no link leads
// them outside the directory they were given.

#include "base/ZAVAtomicFile.h"
#include "base/ZAVDirectory.h"
#include "base/ZAVEscaped.h"
#include "base/ZAVFileReader.h"
#include "tests/support/ZAVTestFiles.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

int openDescriptors()
{
    return int(QDir(QStringLiteral("/proc/self/fd"))
                   .entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot)
                   .size());
}

} // namespace

class BaseTest : public QObject {
    Q_OBJECT
private slots:
    void atomicWriterLeavesTheOldFileOrTheWholeNewOne_data();
    void atomicWriterLeavesTheOldFileOrTheWholeNewOne();
    void treeRemovalNeverFollowsALink();
    void boundedReaderRefusesWhatIsNotASmallRegularFile_data();
    void boundedReaderRefusesWhatIsNotASmallRegularFile();
    void listingAnythingButADirectoryLeaksNoDescriptor();
    void escaperWorksOnBytes_data();
    void escaperWorksOnBytes();
};

void BaseTest::atomicWriterLeavesTheOldFileOrTheWholeNewOne_data()
{
    QTest::addColumn<QString>("step"); // what happens to the writer
    QTest::addColumn<QByteArray>("left");
    QTest::newRow("committed") << "commit" << QByteArray("new");
    QTest::newRow("dropped before commit") << "drop" << QByteArray("old");
    QTest::newRow("no-replace onto an existing file") << "no-replace" << QByteArray("old");
    QTest::newRow("replace over a link") << "over link" << QByteArray("new");
}

void BaseTest::atomicWriterLeavesTheOldFileOrTheWholeNewOne()
{
    QFETCH(QString, step);
    QFETCH(QByteArray, left);
    QTemporaryDir dir;
    const QString target = dir.filePath(QStringLiteral("target"));
    const QString final = dir.filePath(QStringLiteral("final"));
    QVERIFY(writeFile(target, "target"));
    if (step == u"over link")
        QVERIFY(QFile::link(target, final));
    else
        QVERIFY(writeFile(final, "old"));
    ZAVFd folder(open(QFile::encodeName(dir.path()).constData(), O_RDONLY | O_DIRECTORY));
    {
        ZAVResult<ZAVAtomicFile> file = ZAVAtomicFile::create(folder.get(), "final", 0644);
        QVERIFY(file && file->append("new"));
        if (step == u"no-replace")
            QCOMPARE(file->commit(ZAVAtomicFile::Commit::NoReplace).errorNumber(), EEXIST);
        else if (step != u"drop")
            QVERIFY(file->commit());
    }
    QCOMPARE(fileContents(final), left);
    // A link is replaced, never written through.
    QCOMPARE(fileContents(target), QByteArray("target"));
    QCOMPARE(QDir(dir.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::Hidden),
             (QStringList{QStringLiteral("final"), QStringLiteral("target")}));
}

void BaseTest::treeRemovalNeverFollowsALink()
{
    QTemporaryDir dir;
    const QString outside = dir.filePath(QStringLiteral("outside"));
    const QString tree = dir.filePath(QStringLiteral("tree"));
    QVERIFY(QDir().mkpath(outside) && QDir().mkpath(tree + QStringLiteral("/locked/deep")));
    QVERIFY(writeFile(outside + QStringLiteral("/keep"), "x"));
    QVERIFY(writeFile(tree + QStringLiteral("/locked/deep/file"), "x"));
    QVERIFY(QFile::link(outside, tree + QStringLiteral("/link")));
    QVERIFY(QFile::link(outside, tree + QStringLiteral("/locked/deep/link")));
    // A directory the user cannot write into (an old install's 0555) is removed all the same.
    QVERIFY(chmod(QFile::encodeName(tree + QStringLiteral("/locked")).constData(), 0555) == 0);

    QVERIFY(ZAVDirectory::removeTree(AT_FDCWD, QFile::encodeName(tree).toStdString()));
    QVERIFY(!QFileInfo::exists(tree));
    QCOMPARE(fileContents(outside + QStringLiteral("/keep")), QByteArray("x"));
    // A link given as the tree itself goes, and what it leads to stays.
    QVERIFY(QFile::link(outside, tree));
    QVERIFY(ZAVDirectory::removeTree(AT_FDCWD, QFile::encodeName(tree).toStdString()));
    QVERIFY(!QFileInfo(tree).isSymLink() && QFileInfo::exists(outside + QStringLiteral("/keep")));
}

void BaseTest::boundedReaderRefusesWhatIsNotASmallRegularFile_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<int>("error"); // 0: read
    QTest::newRow("exactly the limit") << "file of 4" << 0;
    QTest::newRow("one byte over the limit") << "file of 5" << EFBIG;
    QTest::newRow("directory") << "directory" << EINVAL;
    QTest::newRow("FIFO, which must not block") << "fifo" << EINVAL;
    QTest::newRow("link, refused") << "link" << ELOOP;
}

void BaseTest::boundedReaderRefusesWhatIsNotASmallRegularFile()
{
    QFETCH(QString, kind);
    QFETCH(int, error);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("x"));
    const QByteArray bytes = QFile::encodeName(path);
    if (kind.startsWith(u"file"))
        QVERIFY(writeFile(path, QByteArray(kind.back().digitValue(), 'a')));
    else if (kind == u"directory")
        QVERIFY(QDir().mkdir(path));
    else if (kind == u"fifo")
        QVERIFY(mkfifo(bytes.constData(), 0600) == 0);
    else
        QVERIFY(writeFile(path + QStringLiteral(".real"), "aaaa") &&
                QFile::link(path + QStringLiteral(".real"), path));
    const ZAVResult<std::string> text =
        ZAVFileReader::read(bytes.toStdString(), 4, ZAVFileReader::Links::Refuse);
    QCOMPARE(text.errorNumber(), error);
    if (!error)
        QCOMPARE(*text, std::string("aaaa"));
    else
        QCOMPARE(text.error().path, bytes.toStdString());
}

void BaseTest::listingAnythingButADirectoryLeaksNoDescriptor()
{
    QTemporaryDir dir;
    QVERIFY(writeFile(dir.filePath(QStringLiteral("file")), "x"));
    ZAVFd file(open(QFile::encodeName(dir.filePath(QStringLiteral("file"))).constData(), O_RDONLY));
    const int before = openDescriptors();
    for (int i = 0; i < 8; ++i)
        QCOMPARE(ZAVDirectory::entries(file.get()).errorNumber(), ENOTDIR);
    QCOMPARE(openDescriptors(), before);
}

void BaseTest::escaperWorksOnBytes_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QByteArray>("escaped");
    QTest::newRow("right-to-left override") << QByteArray("a\xe2\x80\xae"
                                                          "b")
                                            << QByteArray("a\\u202eb");
    QTest::newRow("C1 control as UTF-8") << QByteArray("\xc2\x9b"
                                                       "m")
                                         << QByteArray("\\u009bm");
    QTest::newRow("C1 control as a lone byte") << QByteArray("\x9b"
                                                             "m")
                                               << QByteArray("\\x9bm");
    QTest::newRow("other bytes outside UTF-8 stay")
        << QByteArray("\xff\xfe") << QByteArray("\xff\xfe");
    QTest::newRow("override cut short")
        << QByteArray("\xe2\x80") << QByteArray("\\x80").prepend('\xe2');
    QTest::newRow("overlong slash") << QByteArray("\xc0\xaf") << QByteArray("\xc0\xaf");
}

void BaseTest::escaperWorksOnBytes()
{
    QFETCH(QByteArray, text);
    QFETCH(QByteArray, escaped);
    QCOMPARE(QByteArray::fromStdString(ZAVEscaped(text.toStdString())), escaped);
}

QTEST_GUILESS_MAIN(BaseTest)
#include "tst_base.moc"

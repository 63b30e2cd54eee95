// The minisign signature check, against keys and signatures made by the real minisign tool.

#include "trust/ZAVMinisign.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

class TrustTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void publicKeys_data();
    void publicKeys();
    void signatures_data();
    void signatures();
    void hashingInPiecesMatchesHashingAtOnce();

private:
    QTemporaryDir m_dir;
    QByteArray m_data = "{\"product\": \"Demo Viewer\"}\n";
    QByteArray m_signature;       // by key "a", prehashed
    QByteArray m_legacySignature; // by key "a", the legacy form
    QByteArray m_otherSignature;  // by key "b"
    ZAVMinisign::PublicKey m_keyA, m_keyB;
    QByteArray m_keyALine;
};

namespace {

QByteArray run(const QStringList &arguments, const QString &directory)
{
    QProcess minisign;
    minisign.setWorkingDirectory(directory);
    minisign.start(QStringLiteral("minisign"), arguments);
    minisign.closeWriteChannel();
    if (!minisign.waitForFinished(30000) || minisign.exitCode() != 0)
        qFatal("minisign %s failed: %s", qPrintable(arguments.join(u' ')),
               minisign.readAllStandardError().constData());
    return minisign.readAllStandardOutput();
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        qFatal("cannot read %s", qPrintable(path));
    return file.readAll();
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
}

// The same text with one character of line `line` changed.
QByteArray alterLine(QByteArray text, int line, int column)
{
    qsizetype at = 0;
    for (int i = 0; i < line; ++i)
        at = text.indexOf('\n', at) + 1;
    at += column;
    text[at] = text[at] == 'A' ? 'B' : 'A';
    return text;
}

} // namespace

void TrustTest::initTestCase()
{
    QVERIFY(m_dir.isValid());
    const QString dir = m_dir.path();
    for (const char *name : {"a", "b"})
        run({"-G", "-W", "-p", QString::fromLatin1(name) + ".pub", "-s",
             QString::fromLatin1(name) + ".key"},
            dir);
    writeFile(dir + "/feed.json", m_data);
    const auto sign = [&](const char *key, const char *file, QStringList extra) {
        run(QStringList{"-S", "-s", QString::fromLatin1(key) + ".key", "-m",
                        QString::fromLatin1(file), "-x", "out.minisig", "-t", "serial 7"} +
                extra,
            dir);
        return readFile(dir + "/out.minisig");
    };
    m_signature = sign("a", "feed.json", {});
    m_legacySignature = sign("a", "feed.json", {"-l"});
    m_otherSignature = sign("b", "feed.json", {});

    m_keyALine = readFile(dir + "/a.pub").split('\n').value(1);
    const auto a = ZAVMinisign::parsePublicKey(m_keyALine.toStdString());
    const auto b = ZAVMinisign::parsePublicKey(readFile(dir + "/b.pub").toStdString());
    QVERIFY2(a && b, (!a ? a.error().message() : !b ? b.error().message() : "").c_str());
    m_keyA = *a;
    m_keyB = *b;
    // minisign names the key in the .pub file's comment as keyIdText() does, without its
    // leading zeros.
    QByteArray id = QByteArray::fromStdString(ZAVMinisign::keyIdText(a->keyId));
    while (id.startsWith('0'))
        id.remove(0, 1);
    QVERIFY(readFile(dir + "/a.pub").contains(id));
}

void TrustTest::publicKeys_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<bool>("valid");
    QTest::newRow("the .pub line") << m_keyALine << true;
    QTest::newRow("with blanks around") << " " + m_keyALine + "\n" << true;
    QTest::newRow("empty") << QByteArray() << false;
    QTest::newRow("one character short") << m_keyALine.chopped(1) << false;
    QTest::newRow("one character long") << m_keyALine + "A" << false;
    QTest::newRow("not base64") << QByteArray(m_keyALine).replace(5, 1, "*") << false;
    QTest::newRow("a signature line") << m_signature.split('\n').value(1) << false;
    QTest::newRow("another algorithm") << "Q" + m_keyALine.mid(1) << false;
}

void TrustTest::publicKeys()
{
    QFETCH(QByteArray, text);
    QFETCH(bool, valid);
    const auto key = ZAVMinisign::parsePublicKey(text.toStdString());
    QCOMPARE(key.ok(), valid);
    QCOMPARE(key.ok() || key.error().message().empty(), valid);
    if (valid)
        QVERIFY(key->key == m_keyA.key && key->keyId == m_keyA.keyId);
}

void TrustTest::signatures_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QByteArray>("signature");
    QTest::addColumn<bool>("trustB");
    QTest::addColumn<QString>("error"); // a part of the error; empty when it verifies
    // The feed loader's tests add data altered, signatures missing, cut short, by an untrusted
    // key and over another file.

    QTest::newRow("good") << m_data << m_signature << false << QString();
    QTest::newRow("good, backup key b also trusted") << m_data << m_signature << true << QString();
    QTest::newRow("by key b, trusted") << m_data << m_otherSignature << true << QString();
    QTest::newRow("CRLF line ends")
        << m_data << QByteArray(m_signature).replace("\n", "\r\n") << false << QString();
    QTest::newRow("by an untrusted key")
        << m_data << m_otherSignature << false << "not a trusted key";
    QTest::newRow("legacy form") << m_data << m_legacySignature << false << "legacy";
    QTest::newRow("signature altered")
        << m_data << alterLine(m_signature, 1, 20) << false << "does not match";
    QTest::newRow("trusted comment altered")
        << m_data << QByteArray(m_signature).replace("serial 7", "serial 9") << false
        << "trusted comment";
    QTest::newRow("global signature altered")
        << m_data << alterLine(m_signature, 3, 10) << false << "trusted comment";
    QTest::newRow("signature line not base64")
        << m_data << QByteArray(m_signature).insert(m_signature.indexOf('\n') + 3, '*') << false
        << "signature line";
}

void TrustTest::signatures()
{
    QFETCH(QByteArray, data);
    QFETCH(QByteArray, signature);
    QFETCH(bool, trustB);
    QFETCH(QString, error);
    std::vector<ZAVMinisign::PublicKey> keys{m_keyA};
    if (trustB)
        keys.push_back(m_keyB);
    const ZAVMinisign::Verification result =
        ZAVMinisign::verify(data.toStdString(), signature.toStdString(), keys);
    const std::string why = result.status ? std::string() : result.status.error().message();
    QVERIFY2(result.status.ok() == error.isEmpty(), why.c_str());
    QVERIFY2(QString::fromStdString(why).contains(error), why.c_str());
    if (result.status)
        QCOMPARE(result.trustedComment, "serial 7");
}

void TrustTest::hashingInPiecesMatchesHashingAtOnce()
{
    const QByteArray data(3 * 1000 * 1000 + 7, 'x');
    ZAVMinisign::Hasher whole, pieces;
    whole.update(data.constData(), data.size());
    for (qsizetype at = 0; at < data.size(); at += 65536)
        pieces.update(data.constData() + at, std::min<qsizetype>(65536, data.size() - at));
    QVERIFY(whole.final() == pieces.final());
}

QTEST_GUILESS_MAIN(TrustTest)
#include "tst_trust.moc"

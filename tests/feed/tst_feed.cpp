// The feed record, the feed document rules, and the loader against a fake server.

#include "feed/ZAVFeedLoader.h"
#include "platform/ZAVDispatch.h"
#include "platform/ZAVURLSession.h"
#include "tests/support/ZAVFakeHTTPServer.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QtTest>

#include <atomic>
#include <thread>

class FeedTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void sixKeysInAnyOrderGiveTheSameRecord();
    void emptyDocumentGivesDefaults();
    void nullCountsAsMissing();
    void unknownKeysAreSkipped();
    void numbersServeAsTruthValues_data();
    void numbersServeAsTruthValues();
    void blanksAndCaseAreKept();
    void wrongTypeRefusesTheDocumentNamingTheKey_data();
    void wrongTypeRefusesTheDocumentNamingTheKey();
    void deltasAreOfferedFromTheInstalledPackageOnly();
    void bodiesThatAreNotAnObjectAreRefused_data();
    void bodiesThatAreNotAnObjectAreRefused();

    void loaderDeliversTheRecordOnceOnTheMainThreadAfterReturning();
    void loaderDeliversDefaultsForAnEmptyObject();
    void loaderRefusesErrorStatusesWhateverTheBody_data();
    void loaderRefusesErrorStatusesWhateverTheBody();
    void loaderRefusesBodiesThatAreNotFeeds_data();
    void loaderRefusesBodiesThatAreNotFeeds();
    void loaderReportsAClosedPort();
    void loaderReportsABodyCutShort_data();
    void loaderReportsABodyCutShort();
    void loaderRefusesAnEndlessBody();
    void loaderEndsATrickledFetchAtItsDeadline_data();
    void loaderEndsATrickledFetchAtItsDeadline();
    void loaderFollowsARedirect();
    void secondFetchReachesTheServerAgain();
    void noURLMakesNoRequest();
    void signedFeeds_data();
    void signedFeeds();
    void keptSerials_data();
    void keptSerials();
    void installersAtOnceKeepEveryKeysSerial();
    void doubtfulCopiesAreFetchedOnceMorePastCaches_data();
    void doubtfulCopiesAreFetchedOnceMorePastCaches();
    void redirectsFromHttpsToHttpAreRefused_data();
    void redirectsFromHttpsToHttpAreRefused();

private:
    // Signs `document` with minisign key "a" (trusted), "b" (not) or "c" (trusted, the backup):
    // the .minisig file's bytes.
    QByteArray sign(const QByteArray &document, const QString &key = QStringLiteral("a"));
    // A signed feed's document with every pinning key, as `changes` alters it (a null value
    // removes the key).
    QByteArray signedDocument(const QJsonObject &changes = {}) const;

    QTemporaryDir m_dir;
    ZAVFakeHTTPServer m_server; // serves the signed feeds
    ZAVFeedTrust m_trust;       // keys "a" and "c"
    QHash<QString, QString> m_keyIds;
};

namespace {

std::shared_ptr<ZAVFeedData> parse(const QByteArray &json, ZAVOptionalError *error = nullptr)
{
    return ZAVFeedLoader::feedDataFromData(json, error);
}

struct Delivery {
    int calls = 0;
    bool onMainThread = false;
    bool afterCallReturned = false;
    std::shared_ptr<const ZAVFeedData> record;
    ZAVOptionalError error;
};

// The product's options with waits of 10 ms before each of the two retries.
ZAVFeedLoaderOptions quick()
{
    using namespace std::chrono_literals;
    ZAVFeedLoaderOptions options;
    options.retryPolicy.delays = {10ms, 10ms};
    return options;
}

// Starts a fetch and records what reaches the handler.
std::shared_ptr<Delivery> load(const QUrl &url, const ZAVFeedTrust &trust = {},
                               const ZAVFeedLoaderOptions &options = quick())
{
    auto delivery = std::make_shared<Delivery>();
    auto returned = std::make_shared<bool>(false);
    ZAVFeedLoader::loadFeedFromURL(
        url, trust,
        [delivery, returned](auto record, const auto &error) {
            delivery->calls += 1;
            delivery->onMainThread = ZAVIsMainThread();
            delivery->afterCallReturned = *returned;
            delivery->record = record;
            delivery->error = error;
        },
        options);
    *returned = true;
    return delivery;
}

const QByteArray kFeed = R"({"product": "Demo Viewer", "bundleId": "org.example.DemoViewer",
    "version": "4.2", "pkgUrl": "http://127.0.0.1/DemoViewer.tar.gz",
    "autoLaunch": true, "displayVersion": false})";

} // namespace

void FeedTest::initTestCase()
{
    QVERIFY(m_dir.isValid());
    qputenv("XDG_STATE_HOME", QFile::encodeName(m_dir.filePath("state")));
    std::vector<ZAVMinisign::PublicKey> trusted;
    for (const QString key : {"a", "b", "c"}) {
        QCOMPARE(QProcess::execute("minisign", {"-G", "-W", "-p", m_dir.filePath(key + ".pub"),
                                                "-s", m_dir.filePath(key + ".key")}),
                 0);
        QFile pub(m_dir.filePath(key + ".pub"));
        QVERIFY(pub.open(QIODevice::ReadOnly));
        const auto parsed = ZAVMinisign::parsePublicKey(pub.readAll().toStdString());
        QVERIFY(parsed);
        m_keyIds[key] = QString::fromStdString(ZAVMinisign::keyIdText(parsed->keyId));
        if (key != "b")
            trusted.push_back(*parsed);
    }
    m_trust = ZAVFeedTrust(trusted, 10);
}

QByteArray FeedTest::sign(const QByteArray &document, const QString &key)
{
    QFile file(m_dir.filePath("doc.json"));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(document) < 0)
        qFatal("cannot write the document to sign");
    file.close();
    QFile::remove(file.fileName() + ".minisig");
    if (QProcess::execute("minisign",
                          {"-S", "-s", m_dir.filePath(key + ".key"), "-m", file.fileName()}) != 0)
        qFatal("minisign cannot sign");
    QFile signature(file.fileName() + ".minisig");
    if (!signature.open(QIODevice::ReadOnly))
        qFatal("minisign wrote no signature");
    return signature.readAll();
}

QByteArray FeedTest::signedDocument(const QJsonObject &changes) const
{
    QJsonObject document = QJsonDocument::fromJson(kFeed).object();
    document.insert("pkgSha256", QString(64, u'a'));
    document.insert("pkgSize", 1234);
    document.insert("feedSerial", 20);
    document.insert("expiresAt", "2999-01-01T00:00:00Z");
    document.insert("feedUrl", m_server.url("/signed.json").toString());
    for (auto it = changes.begin(); it != changes.end(); ++it) {
        if (it.value().isNull())
            document.remove(it.key());
        else
            document.insert(it.key(), it.value());
    }
    return QJsonDocument(document).toJson();
}

void FeedTest::sixKeysInAnyOrderGiveTheSameRecord()
{
    const auto a = parse(kFeed);
    const auto b = parse(R"({"displayVersion": false, "autoLaunch": true,
        "pkgUrl": "http://127.0.0.1/DemoViewer.tar.gz", "version": "4.2",
        "bundleId": "org.example.DemoViewer", "product": "Demo Viewer"})");
    QVERIFY(a && b);
    for (const auto &r : {a, b}) {
        QCOMPARE(r->product(), QStringLiteral("Demo Viewer"));
        QCOMPARE(r->bundleId(), QStringLiteral("org.example.DemoViewer"));
        QCOMPARE(r->version(), QStringLiteral("4.2"));
        QCOMPARE(r->pkgUrl(), QStringLiteral("http://127.0.0.1/DemoViewer.tar.gz"));
        QCOMPARE(r->autoLaunch(), qint8(1));
        QCOMPARE(r->displayVersion(), qint8(0));
    }
}

void FeedTest::emptyDocumentGivesDefaults()
{
    const auto r = parse("{}");
    QVERIFY(r);
    QVERIFY(!r->product() && !r->bundleId() && !r->version() && !r->pkgUrl());
    QCOMPARE(r->autoLaunch(), qint8(0));
    QCOMPARE(r->displayVersion(), qint8(0));
}

void FeedTest::nullCountsAsMissing()
{
    const auto r = parse(R"({"product": null, "bundleId": null, "version": null, "pkgUrl": null,
                             "autoLaunch": null, "displayVersion": null})");
    QVERIFY(r);
    QVERIFY(!r->product() && !r->bundleId() && !r->version() && !r->pkgUrl());
    QCOMPARE(r->autoLaunch(), qint8(0));
    // An empty string is not the same as a missing one.
    const auto empty = parse(R"({"product": ""})");
    QVERIFY(empty && empty->product());
    QCOMPARE(*empty->product(), QString());
}

void FeedTest::unknownKeysAreSkipped()
{
    const auto r = parse(R"({"product": "P", "channel": "beta", "minimumOS": {"major": 12},
                             "Product": "wrong case is another key"})");
    QVERIFY(r);
    QCOMPARE(r->product(), QStringLiteral("P"));
}

void FeedTest::numbersServeAsTruthValues_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<int>("expected");
    QTest::newRow("1") << QByteArray(R"({"autoLaunch": 1, "displayVersion": 1})") << 1;
    QTest::newRow("0") << QByteArray(R"({"autoLaunch": 0, "displayVersion": 0})") << 0;
    QTest::newRow("2") << QByteArray(R"({"autoLaunch": 2, "displayVersion": 2})") << 1;
    QTest::newRow("-1") << QByteArray(R"({"autoLaunch": -1, "displayVersion": -1})") << 1;
    QTest::newRow("0.5") << QByteArray(R"({"autoLaunch": 0.5, "displayVersion": 0.5})") << 1;
    QTest::newRow("false") << QByteArray(R"({"autoLaunch": false, "displayVersion": false})") << 0;
}

void FeedTest::numbersServeAsTruthValues()
{
    QFETCH(QByteArray, json);
    QFETCH(int, expected);
    const auto r = parse(json);
    QVERIFY(r);
    QCOMPARE(int(r->autoLaunch()), expected);
    QCOMPARE(int(r->displayVersion()), expected);
}

void FeedTest::blanksAndCaseAreKept()
{
    const auto r = parse(R"({"product": "  DEMO viewer ", "bundleId": " Org.Example.X",
                             "pkgUrl": "not a url at all"})");
    QVERIFY(r);
    QCOMPARE(r->product(), QStringLiteral("  DEMO viewer "));
    QCOMPARE(r->bundleId(), QStringLiteral(" Org.Example.X"));
    QCOMPARE(r->pkgUrl(), QStringLiteral("not a url at all"));
}

void FeedTest::wrongTypeRefusesTheDocumentNamingTheKey_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<QString>("key");
    QTest::newRow("number for version") << QByteArray(R"({"version": 4.2})") << "version";
    QTest::newRow("string for autoLaunch")
        << QByteArray(R"({"autoLaunch": "yes"})") << "autoLaunch";
    QTest::newRow("object for product") << QByteArray(R"({"product": {"name": "x"}})") << "product";
    QTest::newRow("pkgMirrors not a list")
        << QByteArray(R"({"pkgMirrors": "http://m/p"})") << "pkgMirrors";
    QTest::newRow("pkgMirrors with a relative URL")
        << QByteArray(R"({"pkgMirrors": ["http://m/p", "/p"]})") << "pkgMirrors";
    QTest::newRow("pkgMirrors with a file URL")
        << QByteArray(R"({"pkgMirrors": ["file:///etc/passwd"]})") << "pkgMirrors";
    QTest::newRow("pkgMirrors with nine")
        << QByteArray(R"({"pkgMirrors": ["http://m/1", "http://m/2", "http://m/3", "http://m/4",
                      "http://m/5", "http://m/6", "http://m/7", "http://m/8", "http://m/9"]})")
        << "pkgMirrors";
    QTest::newRow("array for pkgUrl") << QByteArray(R"({"pkgUrl": ["a"]})") << "pkgUrl";
    QTest::newRow("bool for bundleId") << QByteArray(R"({"bundleId": true})") << "bundleId";
    QTest::newRow("object for displayVersion")
        << QByteArray(R"({"product": "P", "displayVersion": {}})") << "displayVersion";
    QTest::newRow("number for pkgSha256") << QByteArray(R"({"pkgSha256": 42})") << "pkgSha256";
    QTest::newRow("63 hex digits for pkgSha256")
        << (R"({"pkgSha256": ")" + QByteArray(63, 'a') + R"("})") << "pkgSha256";
    QTest::newRow("text for pkgSize") << QByteArray(R"({"pkgSize": "12"})") << "pkgSize";
    QTest::newRow("0 for pkgSize") << QByteArray(R"({"pkgSize": 0})") << "pkgSize";
    QTest::newRow("fraction for feedSerial")
        << QByteArray(R"({"feedSerial": 1.5})") << "feedSerial";
    QTest::newRow("2^53 for feedSerial")
        << QByteArray(R"({"feedSerial": 9007199254740992})") << "feedSerial";
    QTest::newRow("date without time for expiresAt")
        << QByteArray(R"({"expiresAt": "2027-03-01"})") << "expiresAt";
    QTest::newRow("local time for expiresAt")
        << QByteArray(R"({"expiresAt": "2027-03-01T00:00:00+01:00"})") << "expiresAt";
    QTest::newRow("number for feedUrl") << QByteArray(R"({"feedUrl": 7})") << "feedUrl";
    const QByteArray hex(64, 'a');
    QTest::newRow("63 hex digits for pkgTreeSha256")
        << (R"({"pkgTreeSha256": ")" + QByteArray(63, 'a') + R"("})") << "pkgTreeSha256";
    const auto delta = [&](const QByteArray &from, const QByteArray &url, const QByteArray &size) {
        return R"({"pkgDeltas": [{"fromSha256": ")" + from + R"(", "url": )" + url +
               R"(, "sha256": ")" + hex + R"(", "size": )" + size + "}]}";
    };
    QTest::newRow("pkgDeltas not a list")
        << QByteArray(R"({"pkgDeltas": {"url": "http://m/d"}})") << "pkgDeltas";
    QTest::newRow("pkgDeltas with a short fromSha256")
        << delta(QByteArray(63, 'a'), R"("http://m/d")", "10") << "pkgDeltas";
    QTest::newRow("pkgDeltas with a file URL")
        << delta(hex, R"("file:///etc/passwd")", "10") << "pkgDeltas";
    QTest::newRow("pkgDeltas with a relative URL")
        << delta(hex, R"("d.tar.zst")", "10") << "pkgDeltas";
    QTest::newRow("pkgDeltas with size 0") << delta(hex, R"("http://m/d")", "0") << "pkgDeltas";
    QTest::newRow("pkgDeltas with a text size")
        << delta(hex, R"("http://m/d")", R"("10")") << "pkgDeltas";
    QTest::newRow("pkgDeltas with an entry that is no object")
        << QByteArray(R"({"pkgDeltas": ["http://m/d"]})") << "pkgDeltas";
}

void FeedTest::deltasAreOfferedFromTheInstalledPackageOnly()
{
    const QByteArray from(64, 'B'), other(64, 'c'), package(64, 'e');
    const QByteArray json = R"({"pkgSha256": ")" + package + R"(", "pkgTreeSha256": ")" +
                            QByteArray(64, 'D') + R"(", "pkgDeltas": [{"fromSha256": ")" + other +
                            R"(", "url": "https://cdn.example/a.delta", "sha256": ")" + other +
                            R"(", "size": 5}, {"fromSha256": ")" + from +
                            R"(", "url": "https://cdn.example/b.delta", "sha256": ")" + package +
                            R"(", "size": 7}]})";
    const auto record = parse(json);
    QVERIFY(record);
    QCOMPARE(record->pkgTreeSha256(), QString(64, u'd'));
    QCOMPARE(record->pkgDeltas().size(), 2);
    const ZAVFeedData::Delta *delta = record->deltaFrom(QString(64, u'b'));
    QVERIFY(delta);
    QCOMPARE(delta->url, QUrl(QStringLiteral("https://cdn.example/b.delta")));
    QCOMPARE(delta->size, 7);
    QVERIFY(!record->deltaFrom(QString(64, u'f')));
    // Without the tree to rebuild, no delta is used.
    const auto untreed = parse(QByteArray(json).replace("pkgTreeSha256", "otherKey"));
    QVERIFY(untreed && !untreed->deltaFrom(QString(64, u'b')));
}

void FeedTest::wrongTypeRefusesTheDocumentNamingTheKey()
{
    QFETCH(QByteArray, json);
    QFETCH(QString, key);
    ZAVOptionalError error;
    QVERIFY(!parse(json, &error));
    QVERIFY(error);
    QCOMPARE(error->domain, QStringLiteral("ZAVFeedErrorDomain"));
    QVERIFY2(error->localizedDescription.contains(u'"' + key + u'"'),
             qPrintable(error->localizedDescription));
    QVERIFY(error->localizedDescription.startsWith("The product information could not be read ("));
}

void FeedTest::bodiesThatAreNotAnObjectAreRefused_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("html") << QByteArray("<html><body>Not Found</body></html>");
    QTest::newRow("array") << QByteArray(R"([{"product": "P"}])");
    QTest::newRow("scalar") << QByteArray("42");
    QTest::newRow("string") << QByteArray(R"("product")");
    QTest::newRow("null") << QByteArray("null");
    QTest::newRow("truncated") << kFeed.left(40);
    QTest::newRow("deep nesting") << QByteArray(5000, '[') + QByteArray(5000, ']');
    QTest::newRow("binary") << QByteArray("\x1f\x8b\x08\x00\x00\x00", 6);
}

void FeedTest::bodiesThatAreNotAnObjectAreRefused()
{
    QFETCH(QByteArray, body);
    ZAVOptionalError error;
    QVERIFY(!parse(body, &error));
    QVERIFY(error);
    QVERIFY(error->localizedDescription.startsWith("The product information could not be read"));
}

void FeedTest::loaderDeliversTheRecordOnceOnTheMainThreadAfterReturning()
{
    ZAVFakeHTTPServer server;
    server.setRoute("/feed.json", ZAVFakeHTTPServer::ok(kFeed));
    const auto d = load(server.url("/feed.json"));
    QTRY_COMPARE(d->calls, 1);
    QVERIFY(d->onMainThread);
    QVERIFY(d->afterCallReturned);
    QVERIFY(d->record);
    QVERIFY(!d->error);
    QCOMPARE(d->record->product(), QStringLiteral("Demo Viewer"));
    QTest::qWait(100); // a second delivery would arrive meanwhile
    QCOMPARE(d->calls, 1);
    // Without keys no signature is asked for.
    QCOMPARE(server.hits("/feed.json.minisig"), 0);
}

void FeedTest::loaderDeliversDefaultsForAnEmptyObject()
{
    ZAVFakeHTTPServer server;
    server.setRoute("/feed.json", ZAVFakeHTTPServer::ok("{}"));
    const auto d = load(server.url("/feed.json"));
    QTRY_COMPARE(d->calls, 1);
    QVERIFY(d->record && !d->error);
    QVERIFY(!d->record->product());
}

void FeedTest::loaderRefusesErrorStatusesWhateverTheBody_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("body");
    QTest::newRow("404 html") << 404 << QByteArray("<html><body>Not Found</body></html>");
    QTest::newRow("500 with a feed") << 500 << kFeed;
    QTest::newRow("204") << 204 << QByteArray();
    QTest::newRow("301 without location") << 301 << QByteArray("{}");
}

void FeedTest::loaderRefusesErrorStatusesWhateverTheBody()
{
    QFETCH(int, status);
    QFETCH(QByteArray, body);
    ZAVFakeHTTPServer server;
    server.setRoute("/feed.json", ZAVFakeHTTPServer::status(status, body));
    const auto d = load(server.url("/feed.json"));
    QTRY_COMPARE(d->calls, 1);
    QVERIFY(!d->record);
    QVERIFY(d->error);
    if (status == 404 || status == 500) {
        QCOMPARE(
            d->error->localizedDescription,
            QStringLiteral("The product information could not be read (HTTP %1).").arg(status));
    }
}

void FeedTest::loaderRefusesBodiesThatAreNotFeeds_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QString>("description");
    QTest::newRow("empty 200")
        << QByteArray() << "The product information could not be read (it is not a JSON document).";
    QTest::newRow("not JSON")
        << QByteArray("hello")
        << "The product information could not be read (it is not a JSON document).";
    QTest::newRow("array")
        << QByteArray("[1, 2]")
        << "The product information could not be read (it is not a JSON object).";
    QTest::newRow("wrong type")
        << QByteArray(R"({"autoLaunch": "yes"})")
        << "The product information could not be read (\"autoLaunch\" must be true or false).";
    QTest::newRow("2 MiB") << "{\"product\": \"" + QByteArray(2 << 20, 'x') + "\"}"
                           << "The server sent more data than expected.";
}

void FeedTest::loaderRefusesBodiesThatAreNotFeeds()
{
    QFETCH(QByteArray, body);
    QFETCH(QString, description);
    ZAVFakeHTTPServer server;
    server.setRoute("/feed.json", ZAVFakeHTTPServer::ok(body));
    const auto d = load(server.url("/feed.json"));
    QTRY_COMPARE(d->calls, 1);
    QVERIFY(!d->record);
    QVERIFY(d->error);
    QCOMPARE(d->error->localizedDescription, description);
}

void FeedTest::loaderReportsAClosedPort()
{
    QTcpServer probe;
    QVERIFY(probe.listen(QHostAddress::LocalHost, 0));
    const quint16 port = probe.serverPort();
    probe.close();
    const auto d = load(QUrl(QStringLiteral("http://127.0.0.1:%1/feed.json").arg(port)));
    QTRY_COMPARE(d->calls, 1);
    QVERIFY(d->onMainThread && d->afterCallReturned);
    QVERIFY(!d->record);
    QVERIFY(d->error);
    QCOMPARE(d->error->domain, QStringLiteral("ZAVURLErrorDomain"));
    QCOMPARE(d->error->localizedDescription, QStringLiteral("Could not connect to the server."));
}

void FeedTest::loaderReportsABodyCutShort_data()
{
    QTest::addColumn<int>("cutTimes");
    QTest::addColumn<int>("fetches");
    QTest::addColumn<bool>("delivered");
    QTest::newRow("cut once, fetched again") << 1 << 2 << true;
    QTest::newRow("cut twice, fetched a third time") << 2 << 3 << true;
    QTest::newRow("cut every time: two retries, then the error") << -1 << 3 << false;
}

void FeedTest::loaderReportsABodyCutShort()
{
    QFETCH(int, cutTimes);
    QFETCH(int, fetches);
    QFETCH(bool, delivered);
    ZAVFakeHTTPServer server;
    auto route = ZAVFakeHTTPServer::ok(kFeed);
    route.closeAfterBytes = 20;
    route.closeTimes = cutTimes;
    server.setRoute("/feed.json", route);
    const auto d = load(server.url("/feed.json"));
    QTRY_COMPARE(d->calls, 1);
    QCOMPARE(bool(d->record), delivered);
    QCOMPARE(bool(d->error), !delivered);
    QCOMPARE(server.hits("/feed.json"), fetches);
}

void FeedTest::loaderRefusesAnEndlessBody()
{
    ZAVFakeHTTPServer server;
    ZAVFakeHTTPServer::Route route;
    route.sendLength = false;
    route.bodySize = qint64(64) * 1024 * 1024;
    route.generator = [](qint64, qint64 n) { return QByteArray(n, ' '); };
    server.setRoute("/feed.json", route);
    const auto d = load(server.url("/feed.json"));
    QTRY_COMPARE_WITH_TIMEOUT(d->calls, 1, 20000);
    QVERIFY(!d->record);
    QVERIFY(d->error);
}

void FeedTest::loaderEndsATrickledFetchAtItsDeadline_data()
{
    QTest::addColumn<QString>("trickled");
    QTest::newRow("the feed") << "/signed.json";
    QTest::newRow("its signature") << "/signed.json.minisig";
}

// A byte every 50 ms never meets the 60 s time-out of silence; the load's deadline ends it.
void FeedTest::loaderEndsATrickledFetchAtItsDeadline()
{
    QFETCH(QString, trickled);
    ZAVFakeHTTPServer server;
    const QByteArray document =
        signedDocument({{"feedUrl", server.url("/signed.json").toString()}});
    server.setRoute("/signed.json", ZAVFakeHTTPServer::ok(document));
    server.setRoute("/signed.json.minisig", ZAVFakeHTTPServer::ok(sign(document)));
    auto route = ZAVFakeHTTPServer::ok(trickled == u"/signed.json" ? document : sign(document));
    route.chunkSize = 1;
    route.chunkDelayMs = 50;
    server.setRoute(trickled, route);
    ZAVFeedLoaderOptions options = quick();
    options.retryPolicy.deadline = std::chrono::milliseconds(400);
    QElapsedTimer clock;
    clock.start();
    const auto d = load(server.url("/signed.json"), m_trust, options);
    QTRY_COMPARE(d->calls, 1);
    QVERIFY2(clock.elapsed() < 3000, qPrintable(QString::number(clock.elapsed())));
    QVERIFY(!d->record);
    QVERIFY(d->error);
    QCOMPARE(d->error->code, qint64(ZAVURLErrorTimedOut));
    QCOMPARE(server.hits(trickled), 1);
}

void FeedTest::loaderFollowsARedirect()
{
    ZAVFakeHTTPServer server;
    server.setRoute("/old.json", ZAVFakeHTTPServer::redirect(server.url("/feed.json").toString()));
    server.setRoute("/feed.json", ZAVFakeHTTPServer::ok(kFeed));
    const auto d = load(server.url("/old.json"));
    QTRY_COMPARE(d->calls, 1);
    QVERIFY(d->record);
    QCOMPARE(server.hits("/feed.json"), 1);
}

void FeedTest::secondFetchReachesTheServerAgain()
{
    ZAVFakeHTTPServer server;
    auto route = ZAVFakeHTTPServer::ok(kFeed);
    route.headers.append(qMakePair(QByteArray("Cache-Control"), QByteArray("max-age=3600")));
    server.setRoute("/feed.json", route);
    const auto first = load(server.url("/feed.json"));
    QTRY_COMPARE(first->calls, 1);
    const auto second = load(server.url("/feed.json"));
    QTRY_COMPARE(second->calls, 1);
    QVERIFY(first->record && second->record);
    QCOMPARE(server.hits("/feed.json"), 2);
}

void FeedTest::noURLMakesNoRequest()
{
    ZAVFakeHTTPServer server;
    const auto d = load(QUrl());
    QTest::qWait(200); // a delivery or a request would come meanwhile
    QCOMPARE(d->calls, 0);
    QCOMPARE(server.requestLines().size(), 0);
}

void FeedTest::signedFeeds_data()
{
    QTest::addColumn<QByteArray>("document");  // served
    QTest::addColumn<QByteArray>("signature"); // served; empty: none (404)
    QTest::addColumn<qint64>("storedSerial");  // kept from an earlier run; 0: none
    QTest::addColumn<QString>("error");        // empty: accepted

    const QString notVerified =
        "The product information could not be verified. Nothing was installed.";
    const QByteArray good = signedDocument();
    const QByteArray goodSignature = sign(good);
    QTest::newRow("good") << good << goodSignature << qint64(0) << QString();
    QTest::newRow("serial equal to the stored one")
        << good << goodSignature << qint64(20) << QString();

    QByteArray tampered = good;
    tampered[tampered.indexOf("Demo")] = 'd';
    QTest::newRow("feed tampered by one byte")
        << tampered << goodSignature << qint64(0) << notVerified;
    QTest::newRow("signature missing") << good << QByteArray() << qint64(0) << notVerified;
    QTest::newRow("signature truncated")
        << good << goodSignature.left(goodSignature.size() - 30) << qint64(0) << notVerified;
    QTest::newRow("signature by another key")
        << good << sign(good, "b") << qint64(0) << notVerified;
    QTest::newRow("signature over another file")
        << good << sign(signedDocument({{"version", "4.3"}})) << qint64(0) << notVerified;
    for (const char *key :
         {"pkgSha256", "pkgSize", "feedSerial", "expiresAt", "feedUrl", "bundleId"}) {
        const QByteArray document = signedDocument({{key, QJsonValue()}});
        QTest::addRow("%s missing", key)
            << document << sign(document) << qint64(0)
            << QStringLiteral("The product information could not be read (\"%1\" is missing).")
                   .arg(key);
    }
    const QByteArray wrongType = signedDocument({{"pkgSize", "1234"}});
    QTest::newRow("pkgSize of the wrong type") << wrongType << sign(wrongType) << qint64(0)
                                               << "The product information could not be read "
                                                  "(\"pkgSize\" must be a whole number above 0).";
    const QByteArray expired = signedDocument({{"expiresAt", "2020-01-01T00:00:00Z"}});
    QTest::newRow("expired")
        << expired << sign(expired) << qint64(0)
        << "The product information has expired. Check the date and time of this computer.";
    const QString older = "The server offered older product information than this computer "
                          "has already seen.";
    QTest::newRow("serial lower than the stored one")
        << good << goodSignature << qint64(21) << older;
    const QByteArray belowFloor = signedDocument({{"feedSerial", 9}});
    QTest::newRow("serial below the compiled-in floor")
        << belowFloor << sign(belowFloor) << qint64(0) << older;
    const QByteArray otherProduct =
        signedDocument({{"feedUrl", m_server.url("/other/signed.json").toString()}});
    QTest::newRow("feedUrl of another product")
        << otherProduct << sign(otherProduct) << qint64(0)
        << "The server offered a different product. Nothing was installed.";
}

void FeedTest::signedFeeds()
{
    QFETCH(QByteArray, document);
    QFETCH(QByteArray, signature);
    QFETCH(qint64, storedSerial);
    QFETCH(QString, error);
    const QUrl url = m_server.url("/signed.json");
    const QByteArray state = ZAVFeedTrust::statePath(url);
    QVERIFY(state.startsWith(QFile::encodeName(m_dir.filePath("state/zav/feeds/"))));
    QDir(m_dir.filePath("state")).removeRecursively();
    if (storedSerial > 0) {
        QVERIFY(QDir().mkpath(QFileInfo(QFile::decodeName(state)).path()));
        QFile file(QFile::decodeName(state));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QJsonDocument(QJsonObject{{"feedSerial", double(storedSerial)}}).toJson());
    }
    m_server.setRoute("/signed.json", ZAVFakeHTTPServer::ok(document));
    m_server.setRoute("/signed.json.minisig", signature.isEmpty()
                                                  ? ZAVFakeHTTPServer::status(404)
                                                  : ZAVFakeHTTPServer::ok(signature));

    const auto d = load(url, m_trust);
    QTRY_COMPARE(d->calls, 1);
    QCOMPARE(bool(d->record), error.isEmpty());
    QCOMPARE(d->error ? d->error->localizedDescription : QString(), error);
    // A feed that was accepted raises the kept serial to its own; a refused one leaves it.
    QFile kept(QFile::decodeName(state));
    const qint64 expected = error.isEmpty() ? 20 : storedSerial;
    QCOMPARE(
        kept.open(QIODevice::ReadOnly)
            ? qint64(
                  QJsonDocument::fromJson(kept.readAll()).object().value("feedSerial").toDouble())
            : 0,
        expected);
}

void FeedTest::keptSerials_data()
{
    QTest::addColumn<QByteArray>("state"); // the state file's bytes; "/": a folder there
    QTest::addColumn<QString>("signer");
    QTest::addColumn<QString>("error"); // empty: accepted
    const QString older = "The server offered older product information than this computer "
                          "has already seen.";
    const auto json = [](const QJsonObject &object) { return QJsonDocument(object).toJson(); };
    const auto legacy = [&](const char *key) {
        return json({{"feedSerial", 9007199254740991.0}, {"keyId", m_keyIds[key]}});
    };
    const auto perKey = [&](double a, double c) {
        return json({{"serials", QJsonObject{{m_keyIds["a"], a}, {m_keyIds["c"], c}}}});
    };
    QTest::newRow("huge serial by a, backup key c") << legacy("a") << "c" << QString();
    QTest::newRow("huge serial by a, a again") << legacy("a") << "a" << older;
    QTest::newRow("huge serial by a key no longer trusted") << legacy("b") << "a" << QString();
    QTest::newRow("c's own kept serial") << perKey(9e15, 30) << "c" << older;
    QTest::newRow("c's lower kept serial") << perKey(9e15, 10) << "c" << QString();
    QTest::newRow("a folder at its name") << QByteArray("/") << "a" << older;
    QTest::newRow("unparsable") << QByteArray("{\"serials\": ") << "a" << older;
    QTest::newRow("a serial that is text")
        << QByteArray(R"({"serials": {"x": "1"}})") << "a" << older;
}

// The feed has serial 20.
void FeedTest::keptSerials()
{
    QFETCH(QByteArray, state);
    QFETCH(QString, signer);
    QFETCH(QString, error);
    const QUrl url = m_server.url("/signed.json");
    const QString path = QFile::decodeName(ZAVFeedTrust::statePath(url));
    QDir(m_dir.filePath("state")).removeRecursively();
    QVERIFY(QDir().mkpath(state == "/" ? path : QFileInfo(path).path()));
    QFile file(path);
    QVERIFY(state == "/" || (file.open(QIODevice::WriteOnly) && file.write(state) > 0));
    file.close();
    const QByteArray document = signedDocument();
    m_server.setRoute("/signed.json", ZAVFakeHTTPServer::ok(document));
    m_server.setRoute("/signed.json.minisig", ZAVFakeHTTPServer::ok(sign(document, signer)));

    const auto d = load(url, m_trust);
    QTRY_COMPARE(d->calls, 1);
    QCOMPARE(d->error ? d->error->localizedDescription : QString(), error);
    if (!error.isEmpty())
        return;
    // The signer's serial is raised to 20; the other keys keep theirs.
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QJsonObject before = QJsonDocument::fromJson(state).object();
    QJsonObject expected = before["serials"].toObject();
    if (before.contains("keyId"))
        expected[before["keyId"].toString()] = before["feedSerial"];
    expected[m_keyIds[signer]] = 20;
    QCOMPARE(QJsonDocument::fromJson(file.readAll())["serials"].toObject(), expected);
}

// Installers admitting feeds of one URL at once, each signed by a key of its own: none loses
// another's serial.
void FeedTest::installersAtOnceKeepEveryKeysSerial()
{
    const QUrl url = m_server.url("/signed.json");
    QDir(m_dir.filePath("state")).removeRecursively();
    const auto record = parse(signedDocument());
    std::atomic<int> admitted = 0;
    for (std::vector<std::jthread> installers; installers.size() < 12;)
        installers.emplace_back([&, key = QString::number(installers.size())] {
            admitted += !m_trust.admit(*record, url, key, QDateTime::currentDateTimeUtc());
        });
    QFile kept(QFile::decodeName(ZAVFeedTrust::statePath(url)));
    QVERIFY(admitted == 12 && kept.open(QIODevice::ReadOnly));
    QCOMPARE(QJsonDocument::fromJson(kept.readAll())["serials"].toObject().size(), 12);
}

void FeedTest::doubtfulCopiesAreFetchedOnceMorePastCaches_data()
{
    QTest::addColumn<QString>("signature"); // "this" feed's, an "earlier" one's, or "none"
    QTest::addColumn<qint64>("storedSerial");
    QTest::addColumn<int>("fetches"); // of each of the two
    QTest::newRow("good") << "this" << qint64(0) << 1;
    QTest::newRow("signature of another generation") << "earlier" << qint64(0) << 2;
    QTest::newRow("older than the one seen") << "this" << qint64(21) << 2;
    QTest::newRow("signature missing (not a cache's doing)") << "none" << qint64(0) << 1;
}

// The query parameter is the one thing a cache that ignores request headers cannot ignore.
void FeedTest::doubtfulCopiesAreFetchedOnceMorePastCaches()
{
    QFETCH(QString, signature);
    QFETCH(qint64, storedSerial);
    QFETCH(int, fetches);
    ZAVFakeHTTPServer server;
    const QUrl url = server.url("/signed.json?channel=beta");
    QDir(m_dir.filePath("state")).removeRecursively();
    if (storedSerial > 0) {
        const QString state = QFile::decodeName(ZAVFeedTrust::statePath(url));
        QVERIFY(QDir().mkpath(QFileInfo(state).path()));
        QFile file(state);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QJsonDocument(QJsonObject{{"feedSerial", double(storedSerial)}}).toJson());
    }
    const QByteArray document = signedDocument({{"feedUrl", url.toString()}});
    const QByteArray earlier = signedDocument({{"feedUrl", url.toString()}, {"feedSerial", 19}});
    server.setRoute("/signed.json", ZAVFakeHTTPServer::ok(document));
    server.setRoute("/signed.json.minisig",
                    signature == "none"
                        ? ZAVFakeHTTPServer::status(404)
                        : ZAVFakeHTTPServer::ok(sign(signature == "this" ? document : earlier)));
    const auto d = load(url, m_trust);
    QTRY_COMPARE(d->calls, 1);
    QCOMPARE(bool(d->record), signature == "this" && storedSerial == 0);
    QCOMPARE(server.hits("/signed.json"), fetches);
    QCOMPARE(server.hits("/signed.json.minisig"), fetches);
    const QList<QByteArray> lines = server.requestLines();
    const auto fresh = std::count_if(lines.begin(), lines.end(), [](const QByteArray &line) {
        return line.contains("?channel=beta&zav-fresh=");
    });
    QCOMPARE(int(fresh), 2 * (fetches - 1));
}

void FeedTest::redirectsFromHttpsToHttpAreRefused_data()
{
    QTest::addColumn<QString>("redirected");
    QTest::newRow("the feed") << "/signed.json";
    QTest::newRow("its signature") << "/signed.json.minisig";
}

void FeedTest::redirectsFromHttpsToHttpAreRefused()
{
    QFETCH(QString, redirected);
    const QSslConfiguration tls = ZAVFakeHTTPServer::throwAwayTLS(m_dir.path());
    QVERIFY(!tls.isNull());
    ZAVFakeHTTPServer secure(tls);
    ZAVFakeHTTPServer plain;
    const QUrl url = secure.url("/signed.json");
    const QByteArray document = signedDocument({{"feedUrl", url.toString()}, {"feedSerial", 99}});
    for (ZAVFakeHTTPServer *server : {&secure, &plain}) {
        server->setRoute("/signed.json", ZAVFakeHTTPServer::ok(document));
        server->setRoute("/signed.json.minisig", ZAVFakeHTTPServer::ok(sign(document)));
    }
    secure.setRoute(redirected, ZAVFakeHTTPServer::redirect(plain.url(redirected).toString()));
    QDir(m_dir.filePath("state")).removeRecursively();

    const auto d = load(url, m_trust);
    QTRY_COMPARE(d->calls, 1);
    QVERIFY(!d->record);
    QCOMPARE(d->error->localizedDescription,
             "The server sent an unsupported redirect (from https to http).");
    QCOMPARE(secure.hits(redirected), 1);
    QCOMPARE(plain.requestLines(), QList<QByteArray>());
    QVERIFY(!QFile::exists(QFile::decodeName(ZAVFeedTrust::statePath(url))));
}

QTEST_GUILESS_MAIN(FeedTest)
#include "tst_feed.moc"

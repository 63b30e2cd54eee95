// The feed record, the feed document rules, and the loader against a fake server.

#include "feed/ZAVFeedLoader.h"
#include "platform/ZAVDispatch.h"
#include "platform/ZAVURLSession.h"
#include "tests/support/ZAVFakeHTTPServer.h"

#include <QJsonDocument>
#include <QTcpServer>
#include <QtTest>

class FeedTest : public QObject {
    Q_OBJECT
private slots:
    void sixKeysInAnyOrderGiveTheSameRecord();
    void emptyDocumentGivesDefaults();
    void nullCountsAsMissing();
    void unknownKeysAreSkipped();
    void numbersServeAsTruthValues_data();
    void numbersServeAsTruthValues();
    void blanksAndCaseAreKept();
    void wrongTypeRefusesTheDocumentNamingTheKey_data();
    void wrongTypeRefusesTheDocumentNamingTheKey();
    void bodiesThatAreNotAnObjectAreRefused_data();
    void bodiesThatAreNotAnObjectAreRefused();

    void loaderDeliversTheRecordOnceOnTheMainThreadAfterReturning();
    void loaderDeliversDefaultsForAnEmptyObject();
    void loaderRefusesErrorStatusesWhateverTheBody_data();
    void loaderRefusesErrorStatusesWhateverTheBody();
    void loaderRefusesBodiesThatAreNotFeeds_data();
    void loaderRefusesBodiesThatAreNotFeeds();
    void loaderReportsAClosedPort();
    void loaderReportsABodyCutShort();
    void loaderRefusesAnEndlessBody();
    void loaderFollowsARedirect();
    void secondFetchReachesTheServerAgain();
    void noURLMakesNoRequest();
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

// Starts a fetch and records what reaches the handler.
std::shared_ptr<Delivery> load(const QUrl &url, const ZAVFeedTrust &trust = {})
{
    auto delivery = std::make_shared<Delivery>();
    auto returned = std::make_shared<bool>(false);
    ZAVFeedLoader::loadFeedFromURL(url, trust, [delivery, returned](auto record, const auto &error) {
        delivery->calls += 1;
        delivery->onMainThread = ZAVIsMainThread();
        delivery->afterCallReturned = *returned;
        delivery->record = record;
        delivery->error = error;
    });
    *returned = true;
    return delivery;
}

const QByteArray kFeed = R"({"product": "Demo Viewer", "bundleId": "org.example.DemoViewer",
    "version": "4.2", "pkgUrl": "http://127.0.0.1/DemoViewer.tar.gz",
    "autoLaunch": true, "displayVersion": false})";

} // namespace



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
    QTest::newRow("string for autoLaunch") << QByteArray(R"({"autoLaunch": "yes"})") << "autoLaunch";
    QTest::newRow("object for product") << QByteArray(R"({"product": {"name": "x"}})") << "product";
    QTest::newRow("array for pkgUrl") << QByteArray(R"({"pkgUrl": ["a"]})") << "pkgUrl";
    QTest::newRow("bool for bundleId") << QByteArray(R"({"bundleId": true})") << "bundleId";
    QTest::newRow("object for displayVersion")
        << QByteArray(R"({"product": "P", "displayVersion": {}})") << "displayVersion";
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
    QTest::qWait(100);
    QCOMPARE(d->calls, 1);
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
        QCOMPARE(d->error->localizedDescription,
                 QStringLiteral("The product information could not be read (HTTP %1).").arg(status));
    }
}

void FeedTest::loaderRefusesBodiesThatAreNotFeeds_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QString>("description");
    QTest::newRow("empty 200") << QByteArray()
                               << "The product information could not be read (it is not a JSON document).";
    QTest::newRow("not JSON") << QByteArray("hello")
                              << "The product information could not be read (it is not a JSON document).";
    QTest::newRow("array") << QByteArray("[1, 2]")
                           << "The product information could not be read (it is not a JSON object).";
    QTest::newRow("wrong type") << QByteArray(R"({"autoLaunch": "yes"})")
                                << "The product information could not be read (\"autoLaunch\" must be true or false).";
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

void FeedTest::loaderReportsABodyCutShort()
{
    ZAVFakeHTTPServer server;
    auto route = ZAVFakeHTTPServer::ok(kFeed);
    route.closeAfterBytes = 20;
    server.setRoute("/feed.json", route);
    const auto d = load(server.url("/feed.json"));
    QTRY_COMPARE(d->calls, 1);
    QVERIFY(!d->record);
    QVERIFY(d->error);
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
    QTest::qWait(200);
    QCOMPARE(d->calls, 0);
    QCOMPARE(server.requestLines().size(), 0);
}

QTEST_GUILESS_MAIN(FeedTest)
#include "tst_feed.moc"

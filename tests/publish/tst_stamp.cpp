// The installer's stamp: what the build's stamp step and zav-vendor write reads back, and a
// damaged section, a file without one or options out of range are refused. This program is
// itself stamped by the build (tests/publish/CMakeLists.txt), so it reads its own section.
#include "base/ZAVFileReader.h"
#include "base/ZAVSha256.h"
#include "feed/ZAVConstants.h"
#include "publish/ZAVVendorStamp.h"

#include <QTest>

#include <functional>

using Content = ZAVStamp::Content;
Q_DECLARE_METATYPE(Content)
using Change = std::function<void(std::string &)>;
Q_DECLARE_METATYPE(Change)

namespace {

const std::string kKey = "RWQqnnBQv8xPyDkbsi9/oF3T00uyMPDUs0NP1oPPjvfjD3GG5IepE6M0";

std::string ownImage()
{
    return ZAVFileReader::read("/proc/self/exe", size_t(1) << 30).value();
}

// Makes the checksum right again after a change, as a forger would.
void resum(std::string &section)
{
    ZAVSha256 sha;
    sha.update(section.data(), ZAVStamp::kSize - ZAVStamp::kChecksumSize);
    section.replace(ZAVStamp::kSize - ZAVStamp::kChecksumSize, ZAVStamp::kChecksumSize,
                    sha.hexDigest());
}

} // namespace

class TestStamp : public QObject {
    Q_OBJECT
private slots:
    void buildStampIsReadFromMemory()
    {
        QCOMPARE(ZAVConstants::stampProblem(), QString());
        QCOMPARE(ZAVConstants::getFeedURL(), QUrl(QStringLiteral("https://stamp.example/f.json")));
        QVERIFY(ZAVConstants::getFeedTrust().verifiesFeeds());
        QVERIFY(!ZAVConstants::isStampedUnsigned());
    }

    void stampedImageReadsBack_data()
    {
        QTest::addColumn<Content>("content");
        QTest::newRow("one key") << Content{"https://a.example/feed.json", {kKey}, 0, false};
        QTest::newRow("four keys, top serial") << Content{
            "http://127.0.0.1:8080/f", {kKey, kKey, kKey, kKey}, ZAVStamp::kMaxSerial, false};
        QTest::newRow("unsigned, longest URL")
            << Content{"https://a.example/" + std::string(2030, 'x'), {}, 7, true};
    }
    void stampedImageReadsBack()
    {
        QFETCH(Content, content);
        std::string image = ownImage();
        QVERIFY(ZAVVendorStamp::stampImage(image, content).ok());
        const ZAVStamp::Reading reading = ZAVVendorStamp::read(image);
        QCOMPARE(int(reading.state), int(ZAVStamp::State::Stamped));
        QVERIFY(reading.content == content);
    }

    void damagedSectionsAreRefused_data()
    {
        QTest::addColumn<Change>("change");
        QTest::addColumn<QString>("problem");
        const auto at = [](size_t offset, char byte, bool forged) {
            return Change([=](std::string &s) {
                s[offset] = byte;
                if (forged)
                    resum(s);
            });
        };
        QTest::newRow("URL byte") << at(40, 'X', false) << "checksum mismatch";
        QTest::newRow("checksum") << at(ZAVStamp::kSize - 1, 'g', false) << "checksum mismatch";
        QTest::newRow("magic") << at(0, 'X', true) << "bad magic";
        QTest::newRow("version") << at(8, 2, true) << "format version 2";
        QTest::newRow("unknown flag") << at(24, 2, true) << "malformed";
        QTest::newRow("unsigned mark with a key") << at(24, 1, true) << "malformed";
        QTest::newRow("byte after the content") << at(500, 1, true) << "malformed";
        QTest::newRow("length past the end") << at(13, 0x10, true) << "malformed";
        QTest::newRow("serial above 2^53-1") << at(22, 0x20, true) << "malformed";
        // 16 + 14 + URL (10) is the key count.
        QTest::newRow("five keys") << at(40, 5, true) << "malformed";
        QTest::newRow("URL control character") << at(35, '\n', true) << "malformed";
    }
    void damagedSectionsAreRefused()
    {
        QFETCH(Change, change);
        QFETCH(QString, problem);
        std::string error;
        std::string section = ZAVStamp::encode({"https://x/", {kKey}, 0, false}, &error);
        QCOMPARE(section.size(), ZAVStamp::kSize);
        change(section);
        const ZAVStamp::Reading reading = ZAVStamp::decode(
            reinterpret_cast<const unsigned char *>(section.data()), section.size());
        QCOMPARE(int(reading.state), int(ZAVStamp::State::Damaged));
        QVERIFY2(QString::fromStdString(reading.problem).contains(problem),
                 reading.problem.c_str());
    }

    void filesWithoutAStampSectionAreRefused_data()
    {
        QTest::addColumn<Change>("change");
        QTest::addColumn<QString>("reason");
        QTest::newRow("not ELF") << Change([](std::string &s) { s[1] = 'X'; }) << "not a 64-bit";
        QTest::newRow("cut short")
            << Change([](std::string &s) { s.resize(s.size() / 2); }) << "section headers";
        QTest::newRow("section renamed")
            << Change([](std::string &s) { s[s.rfind(ZAVStamp::kSectionName) + 9] = 'q'; })
            << "no stamp section";
    }
    void filesWithoutAStampSectionAreRefused()
    {
        QFETCH(Change, change);
        QFETCH(QString, reason);
        std::string image = ownImage();
        change(image);
        const ZAVResult<size_t> found = ZAVVendorStamp::locate(image);
        QVERIFY(!found);
        QVERIFY2(QString::fromStdString(found.error().message()).contains(reason),
                 found.error().message().c_str());
    }

    void optionsOutOfRangeAreRefused_data()
    {
        QTest::addColumn<QString>("url");
        QTest::addColumn<int>("keys");
        QTest::addColumn<QString>("serial");
        QTest::addColumn<bool>("allowUnsigned");
        QTest::addColumn<QString>("reason");
        const QString url = QStringLiteral("https://a.example/feed.json");
        QTest::newRow("ftp") << "ftp://a.example/f" << 1 << "" << false << "absolute http(s)";
        QTest::newRow("relative") << "feed.json" << 1 << "" << false << "absolute http(s)";
        QTest::newRow("no key") << url << 0 << "" << false << "--allow-unsigned";
        QTest::newRow("keys and unsigned") << url << 1 << "" << true << "cannot go with keys";
        QTest::newRow("five keys") << url << 5 << "" << false << "at most four";
        QTest::newRow("serial 2^53") << url << 1 << "9007199254740992" << false << "2^53";
        QTest::newRow("negative serial") << url << 1 << "-1" << false << "2^53";
        QTest::newRow("bad key") << url << -1 << "" << false << "not a minisign";
    }
    void optionsOutOfRangeAreRefused()
    {
        QFETCH(QString, url);
        QFETCH(int, keys);
        QFETCH(QString, serial);
        QFETCH(bool, allowUnsigned);
        QFETCH(QString, reason);
        const std::vector<std::string> given = keys < 0
                                                   ? std::vector<std::string>{kKey.substr(1)}
                                                   : std::vector<std::string>(size_t(keys), kKey);
        const ZAVResult<Content> content =
            ZAVVendorStamp::content(url.toStdString(), given, serial.toStdString(), allowUnsigned);
        QVERIFY(!content);
        QVERIFY2(QString::fromStdString(content.error().message()).contains(reason),
                 content.error().message().c_str());
    }
};

QTEST_GUILESS_MAIN(TestStamp)
#include "tst_stamp.moc"

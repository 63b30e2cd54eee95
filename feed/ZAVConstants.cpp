#include "ZAVConstants.h"

#include "base/ZAVStamp.h"
#include "platform/ZAVLog.h"

#include <QCoreApplication>

#include <mutex>
#include <vector>

namespace {

// The stamp section as built: the magic and the format version, then zeros. It is compiled
// into each installer program (zav_compile_feed_url), and stamped in the file afterwards.
__attribute__((section(".zav_stamp"), used, aligned(64)))
const unsigned char kStampSection[ZAVStamp::kSize] = {
    'Z', 'A', 'V', 'S', 'T', 'A', 'M', 'P', ZAVStamp::kVersion};
static_assert(ZAVStamp::kVersion < 256 && ZAVStamp::kMagic.size() == 8);

struct Stamp {
    QString problem;
    QUrl feedURL;
    std::vector<ZAVMinisign::PublicKey> keys;
    qint64 minimumSerial = 0;
    bool unsignedFeeds = false;
};

Stamp readStamp()
{
    // The bytes are replaced in the file after the build: the compiler must read them from
    // memory, never fold in the initializer above.
    const unsigned char *bytes = kStampSection;
    asm volatile("" : "+r"(bytes));
    const ZAVStamp::Reading reading = ZAVStamp::decode(bytes, ZAVStamp::kSize);
    const auto damaged = [](const QString &why) {
        return Stamp{
            QCoreApplication::translate(
                "ZAVConstants", "This installer is damaged (its stamp: %1). Download it again.")
                .arg(why),
            {},
            {},
            0,
            false};
    };
    if (reading.state == ZAVStamp::State::Unstamped)
        return Stamp{QCoreApplication::translate(
                         "ZAVConstants", "This installer has no feed stamped into it; a vendor "
                                         "stamps it with zav-vendor bundle."),
                     {},
                     {},
                     0,
                     false};
    if (reading.state == ZAVStamp::State::Damaged)
        return damaged(QString::fromStdString(reading.problem));
    Stamp stamp;
    stamp.feedURL = QUrl(QString::fromStdString(reading.content.feedURL), QUrl::StrictMode);
    if (!stamp.feedURL.isValid() || stamp.feedURL.isRelative())
        return damaged(QStringLiteral("the feed URL is not an absolute URL"));
    for (const std::string &line : reading.content.keys) {
        const ZAVResult<ZAVMinisign::PublicKey> key = ZAVMinisign::parsePublicKey(line);
        if (!key)
            return damaged(QStringLiteral("a key is not a minisign public key"));
        stamp.keys.push_back(*key);
    }
    stamp.minimumSerial = qint64(reading.content.minimumSerial);
    stamp.unsignedFeeds = reading.content.unsignedFeeds;
    return stamp;
}

const Stamp &stamp()
{
    static const Stamp read = readStamp();
    return read;
}

// The entry refuses to start without a sound stamp; code that runs without the entry (the
// window's tests) and reaches the feed anyway must not carry on with no keys.
const Stamp &soundStamp()
{
    const Stamp &read = stamp();
    if (!read.problem.isEmpty())
        qFatal("%s", qUtf8Printable(read.problem));
    return read;
}

} // namespace

QString ZAVConstants::stampProblem()
{
    return stamp().problem;
}

bool ZAVConstants::isStampedUnsigned()
{
    return stamp().problem.isEmpty() && stamp().unsignedFeeds;
}

QUrl ZAVConstants::getFeedURL()
{
    const QUrl url = soundStamp().feedURL;
    ZAVLog(QStringLiteral("Tarvex"));
    return url;
}

ZAVFeedTrust ZAVConstants::getFeedTrust()
{
    const Stamp &read = soundStamp();
    // Said when the feed is first trusted, not at start: a run without a display says only that.
    static std::once_flag logged;
    std::call_once(logged, [&read] {
        if (read.unsignedFeeds)
            ZAVLog(QStringLiteral("This installer is stamped unsigned: its feed is not verified"));
    });
    return ZAVFeedTrust(read.keys, read.minimumSerial);
}

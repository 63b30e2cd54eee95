#pragma once

#include "feed/ZAVFeedData.h"
#include "platform/ZAVError.h"
#include "trust/ZAVMinisign.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QUrl>

#include <vector>

// What makes a feed trusted: the public keys compiled into the installer and the lowest feed
// serial it accepts on a first run. Without keys (a build with ZAV_ALLOW_UNSIGNED_FEEDS) no
// feed is verified: the checks below then let everything through but the rules of the feed
// document itself.
//
// With keys, a feed is trusted when its exact bytes carry a minisign signature by one of the
// keys (verifySignature), and its record (admit) has all five pinning keys, has not expired,
// names the feed URL it was fetched from, and has a serial no lower than the one this user's
// computer last accepted for that URL (nor than the floor). admit then keeps the serial and the
// key id in $XDG_STATE_HOME/zav/feeds/<16 hex digits>.json (~/.local/state when the variable
// is unset or not absolute), replaced atomically.
//
// A value type; its checks are safe on any thread. Detail for the log goes to the log; the
// errors carry the sentence for the user (ZAVFeedTrustError).
class ZAVFeedTrust {
public:
    // No keys: feeds are not verified.
    ZAVFeedTrust() = default;
    ZAVFeedTrust(std::vector<ZAVMinisign::PublicKey> keys, qint64 minimumSerial);
    // The keys of a ','-separated list of minisign public key lines, as the build compiles them
    // in. A key that does not parse is left out and logged (the build has checked them).
    static ZAVFeedTrust fromKeyList(const char *keys, qint64 minimumSerial);

    bool verifiesFeeds() const { return !m_keys.empty(); }
    qint64 minimumSerial() const { return m_minimumSerial; }

    // The URL of a feed's signature: the feed URL with ".minisig" added to its path.
    static QUrl signatureURL(const QUrl &feedURL);

    // Checks `signature` (the .minisig file's bytes) over `feed` (the bytes of the document as
    // received). The key id that signed it on success (into *keyId), the "could not be
    // verified" error otherwise.
    ZAVOptionalError verifySignature(const QByteArray &feed, const QByteArray &signature,
                                     QString *keyId) const;

    // Checks a verified record fetched from `feedURL`, signed by `keyId`, at time `now`, against
    // the rules above, then keeps its serial. Without keys: nothing to check. A state file
    // that cannot be written is logged, not an error: the feed itself is sound.
    ZAVOptionalError admit(const ZAVFeedData &record, const QUrl &feedURL, const QString &keyId,
                           const QDateTime &now) const;

    // Where the serial for `feedURL` is kept. Empty when no state directory can be named
    // ($HOME unset as well).
    static QByteArray statePath(const QUrl &feedURL);

private:
    std::vector<ZAVMinisign::PublicKey> m_keys;
    qint64 m_minimumSerial = 0;
};

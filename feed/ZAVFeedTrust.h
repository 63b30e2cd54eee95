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
// keys (verifySignature), and its record (admit) has all five pinning keys and a bundleId, has
// not expired, names the feed URL it was fetched from, and has a serial no lower than the
// floor nor than the highest one this user's computer accepted for that URL from a feed
// signed by the same key. admit then keeps that serial under the key id in
// $XDG_STATE_HOME/zav/feeds/<16 hex digits>.json (~/.local/state when the variable is unset
// or not absolute), replaced atomically under a lock on its folder, so that installers
// admitting feeds at once keep every key's serial.
//
// Serials are kept per key so that one bad feed (a serial mistyped, or a feed signed with a
// stolen key) cannot lock users out: feeds signed with another trusted key (the backup key)
// are compared only with what that key signed before, and an entry for a key that is no
// longer compiled in is never looked at. A key cannot lower another key's serial either, so
// a thief holding one key cannot roll back the feeds signed with the other; they can sign
// whatever they like for the installers that trust the stolen key, which only an installer
// without it ends. An older genuine feed by a key still trusted can be served again while it
// has not expired, when this computer has seen no later feed by that key.
//
// When the state file is there but cannot be read or is not ours (a folder at its name, a
// link, unparsable), or the new serial cannot be kept, the feed is refused as a rollback:
// the check cannot be made. No file at all is a first run.
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
    // the rules above, then keeps its serial. Without keys: nothing to check. Why a state file
    // cannot be used goes to the log; the user reads the rollback sentence.
    ZAVOptionalError admit(const ZAVFeedData &record, const QUrl &feedURL, const QString &keyId,
                           const QDateTime &now) const;

    // Where the serial for `feedURL` is kept. Empty when no state directory can be named
    // ($HOME unset as well).
    static QByteArray statePath(const QUrl &feedURL);

private:
    std::vector<ZAVMinisign::PublicKey> m_keys;
    qint64 m_minimumSerial = 0;
};

#pragma once

#include <QtGlobal>

#include <cstdio>
#include <string>

// Checks a published feed as the installer will, so a vendor sees a refusal before users do:
// the feed's bytes against its `.minisig` (prehashed minisign signature by the given key), the
// feed document and its trust keys, then the package it names: fetched, its size and SHA-256
// against the feed's (stopping as soon as more bytes arrive than the feed announces), and
// every check zav-pkg makes. `feed` is an http(s) URL (the signature is fetched from the URL
// with ".minisig" appended, the redirect rules and time-outs are the installer's) or a local
// file (FILE.minisig beside it; the feed's feedUrl is then shown, not compared). The rules are
// the installer's own functions (ZAVFeedTrust, ZAVFeedData): the size limit of the feed and
// its signature, the pinning keys and bundleId, the serial floor `minimumSerial`, and the
// package address (an absolute http or https URL). The serial a user's computer last accepted
// is not known here: that check is left to the installer.
//
// Writes one line per check that holds to `out`, and the first that fails to standard error.
// Main thread; blocks while it fetches, the transfers running on a session thread.
class ZAVVendorVerifier {
public:
    static bool verify(const std::string &publicKeyPath, const std::string &feed,
                       qint64 minimumSerial, std::FILE *out);
};

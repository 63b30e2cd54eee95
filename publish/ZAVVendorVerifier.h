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
// is not known here: that check is left to the installer. Before anything is uploaded, a feed
// file and the package file it is for can be checked together (Request::package).
//
// Writes one line per check that holds to `out`, and the first that fails to standard error.
// Main thread; blocks while it fetches, the transfers running on a session thread.
class ZAVVendorVerifier {
public:
    struct Request {
        std::string publicKeyPath; // a minisign public key file
        std::string publicKeyText; // its text instead, when not empty (publicKeyPath names it)
        std::string feed;          // an http(s) URL or a file
        // For a feed file: the URL it is to be served at, compared with its feedUrl as the
        // installer does; empty: feedUrl is shown, not compared.
        std::string feedUrl;
        // A package file checked against the feed (size, SHA-256, zav-pkg's checks) instead of
        // the one fetched from pkgUrl; pkgUrl is still held to the installer's rules.
        std::string package;
        // What the report calls the feed file and the package file; empty: their paths.
        std::string feedName;
        std::string packageName;
        qint64 minimumSerial = 0;
    };

    static bool verify(const Request &request, std::FILE *out);
};

#pragma once

#include "feed/ZAVFeedData.h"
#include "feed/ZAVFeedTrust.h"
#include "platform/ZAVError.h"

#include <QByteArray>
#include <QUrl>

#include <chrono>
#include <functional>
#include <memory>
#include <vector>

// Takes a feed record or none, and an error or none; exactly one of the two is given.
using ZAVFeedCompletion =
    std::function<void(std::shared_ptr<const ZAVFeedData> data, const ZAVOptionalError &error)>;

// Fetches the feed document and turns it into a feed record. Stateless.
class ZAVFeedLoader {
public:
    ZAVFeedLoader() = delete;

    // Returns at once. An empty `url` does nothing at all. Otherwise fetches the document over
    // a session of its own (always from the server, never from a cache), and when `trust` has
    // keys its signature (ZAVFeedTrust::signatureURL) beside it; on that session's thread it
    // verifies the bytes received, then parses them and admits the record (ZAVFeedTrust).
    // Calls `completion` exactly once, on the main thread, never before this call has returned:
    // with the record, or with the error when the fetch failed, the server answered with a
    // status outside 200-299, the signature is missing or does not verify, or the document
    // cannot be used or trusted. Without keys, the log says once per process that the feed is
    // not verified.
    //
    // A fetch that fails for want of a network (no connection, reset, time-out) is made again
    // twice, after 1 s and 2 s; an answer of the server is never asked again.
    static void loadFeedFromURL(const QUrl &url, const ZAVFeedTrust &trust,
                                ZAVFeedCompletion completion);
    // The waits before each new fetch. Tests shorten them (an empty list restores the
    // default). Main thread, before loading.
    static void setRetryDelays(std::vector<std::chrono::milliseconds> delays);

    // The record for a response body, or nullptr with `error` set when the body is not a JSON
    // object or does not fit the feed's data model. Any thread.
    static std::shared_ptr<ZAVFeedData> feedDataFromData(const QByteArray &data,
                                                         ZAVOptionalError *error = nullptr);
};

#pragma once

#include "feed/ZAVFeedData.h"
#include "feed/ZAVFeedTrust.h"
#include "platform/ZAVError.h"
#include "platform/ZAVRetryPolicy.h"

#include <QByteArray>
#include <QUrl>

#include <functional>
#include <memory>

// Takes a feed record or none, and an error or none; exactly one of the two is given.
using ZAVFeedCompletion =
    std::function<void(std::shared_ptr<const ZAVFeedData> data, const ZAVOptionalError &error)>;

// How a load fetches: the retries, the deadline of the whole load (signature included) and the
// rate floor of its transfers. Tests pass short ones.
struct ZAVFeedLoaderOptions {
    ZAVRetryPolicy retryPolicy = ZAVRetryPolicy::feedFetch();
};

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
    // A cache on the way (a CDN, a proxy) may hold the feed and its signature from different
    // generations, or an older feed than this computer has seen: when the signature does not
    // verify, or the serial is below the one kept, both are fetched once more so that no cache
    // can answer from what it holds (Cache-Control and Pragma "no-cache", and a query
    // parameter of its own after the URL's query), and that pair decides.
    //
    // A fetch that fails for want of a network (no connection, reset, time-out, a transfer
    // under the rate floor) is made again under options.retryPolicy: by default twice, after
    // 1 s and 2 s; an answer of the server is never asked again. The load, both fetches and
    // their waits, ends within the policy's deadline (2 minutes by default): a server that
    // trickles the feed or its signature gets a time-out (ZAVURLErrorTimedOut).
    static void loadFeedFromURL(const QUrl &url, const ZAVFeedTrust &trust,
                                ZAVFeedCompletion completion,
                                const ZAVFeedLoaderOptions &options = {});

    // The record for a response body, or nullptr with `error` set when the body is not a JSON
    // object or does not fit the feed's data model. Any thread.
    static std::shared_ptr<ZAVFeedData> feedDataFromData(const QByteArray &data,
                                                         ZAVOptionalError *error = nullptr);
};

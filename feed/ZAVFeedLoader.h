#pragma once

#include "feed/ZAVFeedData.h"
#include "platform/ZAVError.h"

#include <QByteArray>
#include <QUrl>

#include <functional>
#include <memory>

// Takes a feed record or none, and an error or none; exactly one of the two is given.
using ZAVFeedCompletion =
    std::function<void(std::shared_ptr<const ZAVFeedData> data, const ZAVOptionalError &error)>;

// Fetches the feed document and turns it into a feed record. Stateless.
class ZAVFeedLoader {
public:
    ZAVFeedLoader() = delete;

    // Returns at once. An empty `url` does nothing at all. Otherwise fetches the document over
    // a session of its own (always from the server, never from a cache), parses it on that
    // session's thread and calls `completion` exactly once, on the main thread, never before
    // this call has returned: with the record, or with the error when the fetch failed, the
    // server answered with a status outside 200-299, or the document cannot be used.
    static void loadFeedFromURL(const QUrl &url, ZAVFeedCompletion completion);

    // The record for a response body, or nullptr with `error` set when the body is not a JSON
    // object or does not fit the feed's data model. Any thread.
    static std::shared_ptr<ZAVFeedData> feedDataFromData(const QByteArray &data,
                                                         ZAVOptionalError *error = nullptr);
};

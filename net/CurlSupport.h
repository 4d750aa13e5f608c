#pragma once

#include "PageFetcher.h"
#include "ReadChunker.h"
#include "ServiceAddress.h"
#include "TimeLimits.h"

#include <QByteArray>
#include <QList>

#include <curl/curl.h>

namespace net {

/// Initialises libcurl once per process, whichever thread gets here first.
void initCurl();

/// Options every transfer shares: the time limits, no signals, and no wait for a hung name lookup on give-up.
void applyCommonOptions(CURL* curl);

/// A body as libcurl hands it over, and the reads of chunkSize bytes it amounts to. A body that would pass
/// maxBytes (when not negative) is cut off there: the transfer ends with CURLE_WRITE_ERROR and tooLarge is set.
struct ReceivedBody {
    explicit ReceivedBody(qsizetype chunkSize, qsizetype maxBytes = -1)
        : chunker(chunkSize)
        , maxBytes(maxBytes)
    { }

    QByteArray bytes;
    ReadChunker chunker;
    QList<qsizetype> reads;
    qsizetype maxBytes;
    bool tooLarge = false;
    /// The check of a service socket's peer, for ServiceAddress::apply.
    PeerCheck peer;

    /// libcurl's write callback; user is the ReceivedBody.
    static size_t collect(char* data, size_t size, size_t count, void* user);
};

/// The size of every read a page fetch hands out, but the last.
inline constexpr qsizetype kPageReadSize = 2048;

/// The request headers of a page fetch; free with curl_slist_free_all.
curl_slist* pageFetchHeaders();

/// Configures easy for the page fetch of url into body, with headers from pageFetchHeaders().
void configurePageFetch(CURL* easy, const QByteArray& url, curl_slist* headers, ReceivedBody* body);

/// What a transfer's outcome means for the one who asked for the page.
PageResult pageResult(CURL* easy, CURLcode result, const ReceivedBody& body);

} // namespace net

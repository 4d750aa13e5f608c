#pragma once

#include "ReadChunker.h"
#include "TimeLimits.h"

#include <QByteArray>
#include <QList>

#include <curl/curl.h>

namespace net {

/// Initialises libcurl once per process, whichever thread gets here first.
void initCurl();

/// Options every transfer shares: the time limits, no signals, and no wait for a hung name lookup on give-up.
void applyCommonOptions(CURL* curl);

/// A body as libcurl hands it over, and the reads of chunkSize bytes it amounts to.
struct ReceivedBody {
    explicit ReceivedBody(qsizetype chunkSize)
        : chunker(chunkSize)
    { }

    QByteArray bytes;
    ReadChunker chunker;
    QList<qsizetype> reads;

    /// libcurl's write callback; user is the ReceivedBody.
    static size_t collect(char* data, size_t size, size_t count, void* user);
};

} // namespace net

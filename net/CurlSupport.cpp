#include "CurlSupport.h"

#include <mutex>

namespace net {

void initCurl()
{
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

void applyCommonOptions(CURL* curl)
{
    // libcurl waits forever by default; a black-holed address, a hung resolver or a server that accepts and
    // never answers must not hold the window for good. The connect time-out covers the name lookup too.
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, kConnectTimeoutSeconds);
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, kIdleTimeoutSeconds);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT, kTotalTimeoutSeconds);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    // Without this, giving up on a lookup still joins the resolver thread, which may hang much longer; the
    // thread then finishes and frees itself in the background.
    curl_easy_setopt(curl, CURLOPT_QUICK_EXIT, 1L);
}

size_t ReceivedBody::collect(char* data, size_t size, size_t count, void* user)
{
    auto* body = static_cast<ReceivedBody*>(user);
    const auto bytes = static_cast<qsizetype>(size * count);
    body->bytes.append(data, bytes);
    body->chunker.feed(bytes, body->reads);
    return size * count;
}

} // namespace net

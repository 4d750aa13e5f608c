#include "CurlSupport.h"

#include "Codec.h"

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
    if (body->maxBytes >= 0 && body->bytes.size() + bytes > body->maxBytes) {
        body->tooLarge = true;
        return 0;
    }
    body->bytes.append(data, bytes);
    body->chunker.feed(bytes, body->reads);
    return size * count;
}

curl_slist* pageFetchHeaders()
{
    // libcurl keeps no cache, but a proxy on the way might; ask it for a fresh copy.
    curl_slist* headers = curl_slist_append(nullptr, "Cache-Control: no-cache");
    return curl_slist_append(headers, "Pragma: no-cache");
}

void configurePageFetch(CURL* easy, const QByteArray& url, curl_slist* headers, ReceivedBody* body)
{
    curl_easy_setopt(easy, CURLOPT_URL, url.constData());
    curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(easy, CURLOPT_MAXREDIRS, 10L);
    curl_easy_setopt(easy, CURLOPT_USERAGENT, "DERozOzor");
    curl_easy_setopt(easy, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(easy, CURLOPT_BUFFERSIZE, static_cast<long>(body->chunker.chunkSize()));
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, ReceivedBody::collect);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, body);
    applyCommonOptions(easy);
}

PageResult pageResult(CURL* easy, CURLcode result, const ReceivedBody& body)
{
    PageResult page;
    page.body = Codec::decode(body.bytes);
    if (!body.peer.refusal.isEmpty()) {
        page.failure = PageResult::Failure::Other;
        page.detail = body.peer.refusal;
        return page;
    }
    switch (result) {
    case CURLE_OK: break;
    case CURLE_COULDNT_CONNECT: page.failure = PageResult::Failure::Refused; break;
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY: page.failure = PageResult::Failure::HostNotFound; break;
    case CURLE_OPERATION_TIMEDOUT: {
        page.failure = PageResult::Failure::TimedOut;
        curl_off_t micros = 0;
        curl_easy_getinfo(easy, CURLINFO_TOTAL_TIME_T, &micros);
        page.seconds = micros >= kTotalTimeoutSeconds * 1000000 ? int(kTotalTimeoutSeconds) : int(kIdleTimeoutSeconds);
        break;
    }
    default:
        if (body.tooLarge) {
            page.failure = PageResult::Failure::TooLarge;
        } else {
            page.failure = PageResult::Failure::Other;
            page.detail = QString::fromUtf8(curl_easy_strerror(result));
        }
    }
    return page;
}

} // namespace net

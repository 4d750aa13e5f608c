#include "PageFetch.h"

#include "Codec.h"
#include "CurlSupport.h"

#include <ifaddrs.h>
#include <net/if.h>
#include <sys/socket.h>

#include <mutex>

namespace net {

namespace {

constexpr qsizetype kReadSize = 2048;

std::mutex s_hookMutex;
std::function<void(qsizetype)> s_readHook;

void fetchInto(const QString& url, ReceivedBody& fetch)
{
    CURL* curl = curl_easy_init();
    if (!curl)
        return;
    const QByteArray address = url.toUtf8();
    // libcurl keeps no cache, but a proxy on the way might; ask it for a fresh copy.
    curl_slist* headers = curl_slist_append(nullptr, "Cache-Control: no-cache");
    headers = curl_slist_append(headers, "Pragma: no-cache");

    curl_easy_setopt(curl, CURLOPT_URL, address.constData());
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(curl, CURLOPT_MAXREDIRS, 10L);
    curl_easy_setopt(curl, CURLOPT_USERAGENT, "DERozOzor");
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(curl, CURLOPT_BUFFERSIZE, static_cast<long>(kReadSize));
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, ReceivedBody::collect);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &fetch);
    applyCommonOptions(curl);

    // The outcome is not examined: whatever body arrived before an error is the page.
    curl_easy_perform(curl);

    curl_easy_cleanup(curl);
    curl_slist_free_all(headers);
}

} // namespace

QString GetUrl(const QString& url)
{
    initCurl();
    std::function<void(qsizetype)> hook;
    {
        const std::lock_guard lock(s_hookMutex);
        hook = s_readHook;
    }

    ReceivedBody fetch(kReadSize);
    fetchInto(url, fetch);
    fetch.chunker.finish(fetch.reads);
    if (hook) {
        for (const qsizetype bytes : std::as_const(fetch.reads))
            hook(bytes);
    }
    return Codec::decode(fetch.bytes);
}

bool IsOnline()
{
    ifaddrs* interfaces = nullptr;
    if (getifaddrs(&interfaces) != 0)
        return true;
    const bool online = anyInterfaceOnline(interfaces);
    freeifaddrs(interfaces);
    return online;
}

bool anyInterfaceOnline(const ifaddrs* interfaces)
{
    constexpr unsigned int wanted = IFF_UP | IFF_RUNNING;
    for (const ifaddrs* entry = interfaces; entry; entry = entry->ifa_next) {
        if (!entry->ifa_addr || (entry->ifa_flags & IFF_LOOPBACK) || (entry->ifa_flags & wanted) != wanted)
            continue;
        const int family = entry->ifa_addr->sa_family;
        if (family == AF_INET || family == AF_INET6)
            return true;
    }
    return false;
}

void setReadHook(std::function<void(qsizetype bytes)> hook)
{
    const std::lock_guard lock(s_hookMutex);
    s_readHook = std::move(hook);
}

} // namespace net

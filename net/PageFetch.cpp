#include "PageFetch.h"

#include "Codec.h"
#include "CurlSupport.h"

#include <ifaddrs.h>
#include <net/if.h>
#include <sys/socket.h>

#include <mutex>

namespace net {

namespace {

std::mutex s_hookMutex;
std::function<void(qsizetype)> s_readHook;

void fetchInto(const QString& url, ReceivedBody& fetch)
{
    CURL* curl = curl_easy_init();
    if (!curl)
        return;
    curl_slist* headers = pageFetchHeaders();
    configurePageFetch(curl, url.toUtf8(), headers, &fetch);
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

    ReceivedBody fetch(kPageReadSize, PageResult::maxBodyBytes);
    fetchInto(url, fetch);
    fetch.chunker.finish(fetch.reads);
    if (hook) {
        for (const qsizetype bytes : std::as_const(fetch.reads))
            hook(bytes);
    }
    // A body cut off at the cap is no page.
    return fetch.tooLarge ? QString() : Codec::decode(fetch.bytes);
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

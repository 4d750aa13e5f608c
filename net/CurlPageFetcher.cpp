#include "CurlPageFetcher.h"

#include "CurlEventLoop.h"
#include "CurlSupport.h"
#include "ServiceAddress.h"

#include <memory>

namespace net {

CurlPageFetcher::CurlPageFetcher()
    : m_loop(std::make_unique<CurlEventLoop>())
{ }

CurlPageFetcher::~CurlPageFetcher() = default;

void CurlPageFetcher::fetch(const QString& url, Done done)
{
    CURL* easy = curl_easy_init();
    if (!easy) {
        QMetaObject::invokeMethod(
            m_loop.get(),
            [done = std::move(done)] {
                PageResult failed;
                failed.failure = PageResult::Failure::Other;
                failed.detail = QStringLiteral("libcurl could not start a transfer");
                done(failed);
            },
            Qt::QueuedConnection);
        return;
    }
    // Kept alive by the completion handler, which the loop keeps until the handle is gone.
    auto body = std::make_shared<ReceivedBody>(kPageReadSize, PageResult::maxBodyBytes);
    std::shared_ptr<curl_slist> headers(pageFetchHeaders(), curl_slist_free_all);
    configurePageFetch(easy, url.toUtf8(), headers.get(), body.get());
    // Only ever the program's own service: straight there, never through a proxy.
    const QString socket = unixSocket();
    (socket.isEmpty() ? ServiceAddress::tcp(QString()) : ServiceAddress::socket(socket)).apply(easy);
    m_loop->start(easy, [body, headers, done = std::move(done)](CURL* ended, CURLcode result) {
        done(pageResult(ended, result, *body));
    });
}

} // namespace net

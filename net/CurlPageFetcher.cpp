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
    start(url, nullptr, std::move(done));
}

void CurlPageFetcher::post(const QString& url, const QByteArray& form, Done done)
{
    start(url, &form, std::move(done));
}

void CurlPageFetcher::start(const QString& url, const QByteArray* form, Done done)
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
    curl_slist* list = pageFetchHeaders();
    // A small form goes at once; no round trip waiting for a "100 Continue".
    if (form)
        list = curl_slist_append(list, "Expect:");
    std::shared_ptr<curl_slist> headers(list, curl_slist_free_all);
    configurePageFetch(easy, url.toUtf8(), headers.get(), body.get());
    if (form) {
        // The size first: the copy then takes exactly that many bytes, zeros included.
        curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(form->size()));
        curl_easy_setopt(easy, CURLOPT_COPYPOSTFIELDS, form->constData());
    }
    // Only ever the program's own service: straight there, never through a proxy.
    const QString socket = unixSocket();
    (socket.isEmpty() ? ServiceAddress::tcp(QString()) : ServiceAddress::socket(socket)).apply(easy, &body->peer);
    m_loop->start(easy, [body, headers, done = std::move(done)](CURL* ended, CURLcode result) {
        done(pageResult(ended, result, *body));
    });
}

} // namespace net

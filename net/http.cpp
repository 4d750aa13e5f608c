#include "http.h"

#include "Codec.h"
#include "CurlEventLoop.h"
#include "CurlSupport.h"

#include <QCoreApplication>
#include <QDebug>
#include <QScopeGuard>

#include <memory>
#include <utility>

namespace http {

namespace {

using net::applyCommonOptions;
using net::ReceivedBody;

constexpr qsizetype kReadSize = 1024;

// The one post the module handles at a time.
struct PostState {
    net::ServiceAddress address;
    QString path;
    QString body;
    bool opened = false;
    bool sending = false;
};

PostState s_post;
std::function<void()> s_pumpHook;
std::function<void(qsizetype)> s_readHook;

bool refusedWhileSending(const char* operation)
{
    if (!s_post.sending)
        return false;
    qWarning("http: %s refused while a post is being sent", operation);
    return true;
}

// Reports the reads completed so far, each followed by the pump when there is one. Runs outside every libcurl
// call, so the handlers the pump lets run may use libcurl themselves (a page fetch, say).
void deliverReads(ReceivedBody& reply, bool pump)
{
    const QList<qsizetype> reads = std::exchange(reply.reads, {});
    for (const qsizetype bytes : reads) {
        // Copies: a handler run by the pump may replace the hooks.
        if (const auto readHook = s_readHook)
            readHook(bytes);
        if (const auto pumpHook = s_pumpHook; pump && pumpHook)
            pumpHook();
    }
}

// A post the peer check stopped has sent nothing; the caller gets an empty reply, the log the reason.
void logRefusal(const ReceivedBody& reply)
{
    if (!reply.peer.refusal.isEmpty())
        qWarning("http: post to %s not sent: %s", qPrintable(reply.peer.socketPath), qPrintable(reply.peer.refusal));
}

curl_slist* postHeaders()
{
    curl_slist* headers = curl_slist_append(nullptr, "Content-Type: application/x-www-form-urlencoded");
    headers = curl_slist_append(headers, "Accept:");
    return curl_slist_append(headers, "Expect:");
}

// body and headers must outlive the transfer.
void configurePost(CURL* curl, const QByteArray& url, const QByteArray& body, curl_slist* headers, ReceivedBody* reply)
{
    curl_easy_setopt(curl, CURLOPT_URL, url.constData());
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http");
    s_post.address.apply(curl, &reply->peer);
    curl_easy_setopt(curl, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_0));
    curl_easy_setopt(curl, CURLOPT_USERAGENT, "Verbolt");
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(curl, CURLOPT_POST, 1L);
    curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()));
    curl_easy_setopt(curl, CURLOPT_POSTFIELDS, body.constData());
    curl_easy_setopt(curl, CURLOPT_BUFFERSIZE, static_cast<long>(kReadSize));
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, ReceivedBody::collect);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, reply);
    applyCommonOptions(curl);
}

// The URL of the opened post; empty when what HttpOpenPost was given cannot make one.
QByteArray postUrl()
{
    if (!s_post.opened || !s_post.address.isValid() || !s_post.path.startsWith(u'/'))
        return {};
    return s_post.address.baseUrl().toLatin1() + Codec::encode(s_post.path);
}

void transfer(const QByteArray& url, const QByteArray& body, ReceivedBody& reply)
{
    CURL* curl = curl_easy_init();
    CURLM* multi = curl_multi_init();
    if (!curl || !multi) {
        curl_multi_cleanup(multi);
        curl_easy_cleanup(curl);
        return;
    }
    curl_slist* headers = postHeaders();
    configurePost(curl, url, body, headers, &reply);
    curl_multi_add_handle(multi, curl);

    // The outcome is not examined: whatever arrived before an error is the reply.
    int running = 1;
    while (running) {
        if (curl_multi_perform(multi, &running) != CURLM_OK)
            break;
        deliverReads(reply, true);
        if (running && curl_multi_poll(multi, nullptr, 0, 1000, nullptr) != CURLM_OK)
            break;
    }

    curl_multi_remove_handle(multi, curl);
    curl_multi_cleanup(multi);
    curl_easy_cleanup(curl);
    curl_slist_free_all(headers);
}

// A post on its way in the background, and what its transfer points at.
struct BackgroundPost {
    QByteArray body;
    ReceivedBody reply{kReadSize};
    std::unique_ptr<curl_slist, void (*)(curl_slist*)> headers{postHeaders(), curl_slist_free_all};
    std::function<void(const QString&)> done;

    void finish()
    {
        // The request is closed; the next post needs a new HttpOpenPost. The body stays until then.
        s_post.opened = false;
        s_post.sending = false;
        logRefusal(reply);
        reply.chunker.finish(reply.reads);
        deliverReads(reply, false);
        if (done)
            done(Codec::decode(reply.bytes));
    }
};

} // namespace

void HttpOpenPost(const QString& host, const QString& path)
{
    HttpOpenPost(net::ServiceAddress::tcp(host), path);
}

void HttpOpenPost(const net::ServiceAddress& address, const QString& path)
{
    if (refusedWhileSending("HttpOpenPost"))
        return;
    s_post.address = address;
    s_post.path = path;
    s_post.body.clear();
    s_post.opened = true;
}

void HttpAddField(const QString& name, const QString& value)
{
    if (refusedWhileSending("HttpAddField"))
        return;
    if (!s_post.body.isEmpty())
        s_post.body += u'&';
    s_post.body += name + u'=' + value;
}

QString HttpSendPost()
{
    if (refusedWhileSending("HttpSendPost"))
        return {};
    net::initCurl();
    s_post.sending = true;
    // Cleared however this returns, a hook that throws included.
    const auto done = qScopeGuard([] {
        // The request is closed; the next post needs a new HttpOpenPost. The body stays until then.
        s_post.opened = false;
        s_post.sending = false;
    });

    ReceivedBody reply(kReadSize);
    if (const QByteArray url = postUrl(); !url.isEmpty())
        transfer(url, Codec::encode(s_post.body), reply);
    logRefusal(reply);
    // A post that never got going still makes its one empty read.
    reply.chunker.finish(reply.reads);
    deliverReads(reply, true);
    return Codec::decode(reply.bytes);
}

void HttpSendPostInBackground(std::function<void(const QString& reply)> done)
{
    if (refusedWhileSending("HttpSendPostInBackground"))
        return;
    s_post.sending = true;
    auto post = std::make_shared<BackgroundPost>();
    post->body = Codec::encode(s_post.body);
    post->done = std::move(done);

    const QByteArray url = postUrl();
    CURL* curl = url.isEmpty() ? nullptr : curl_easy_init();
    if (!curl) {
        QMetaObject::invokeMethod(
            QCoreApplication::instance(), [post] { post->finish(); }, Qt::QueuedConnection);
        return;
    }
    configurePost(curl, url, post->body, post->headers.get(), &post->reply);
    // Owned by the application, so that a post still running when the program ends is dropped, not waited for.
    auto* loop = new net::CurlEventLoop(QCoreApplication::instance());
    loop->start(curl, [post, loop](CURL*, CURLcode) {
        loop->deleteLater();
        post->finish();
    });
}

bool isSending()
{
    return s_post.sending;
}

void setPumpHook(std::function<void()> hook)
{
    s_pumpHook = std::move(hook);
}

void setReadHook(std::function<void(qsizetype bytes)> hook)
{
    s_readHook = std::move(hook);
}

} // namespace http

#include "CurlEventLoop.h"

#include "CurlSupport.h"

#include <QPointer>
#include <QSocketNotifier>

#include <utility>
#include <vector>

namespace net {

struct CurlEventLoop::SocketWatch {
    std::unique_ptr<QSocketNotifier, void (*)(QSocketNotifier*)> read{nullptr, nullptr};
    std::unique_ptr<QSocketNotifier, void (*)(QSocketNotifier*)> write{nullptr, nullptr};
};

namespace {

// A notifier may be told to go from inside its own activation; it is switched off now and deleted later.
void retire(QSocketNotifier* notifier)
{
    notifier->setEnabled(false);
    notifier->deleteLater();
}

} // namespace

CurlEventLoop::CurlEventLoop(QObject* parent)
    : QObject(parent)
{
    initCurl();
    m_multi = curl_multi_init();
    curl_multi_setopt(m_multi, CURLMOPT_SOCKETFUNCTION, &CurlEventLoop::socketCallback);
    curl_multi_setopt(m_multi, CURLMOPT_SOCKETDATA, this);
    curl_multi_setopt(m_multi, CURLMOPT_TIMERFUNCTION, &CurlEventLoop::timerCallback);
    curl_multi_setopt(m_multi, CURLMOPT_TIMERDATA, this);
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, [this] { act(CURL_SOCKET_TIMEOUT, 0); });
}

CurlEventLoop::~CurlEventLoop()
{
    // Removing a handle may still call back about its sockets; the watches go last.
    for (auto& [easy, done] : m_transfers) {
        curl_multi_remove_handle(m_multi, easy);
        curl_easy_cleanup(easy);
    }
    m_transfers.clear();
    curl_multi_cleanup(m_multi);
    m_sockets.clear();
}

void CurlEventLoop::start(CURL* easy, Done done)
{
    m_transfers.emplace(easy, std::move(done));
    if (curl_multi_add_handle(m_multi, easy) != CURLM_OK) {
        // Ends like any transfer: later, through done.
        QMetaObject::invokeMethod(
            this,
            [this, easy] {
                const auto it = m_transfers.find(easy);
                if (it == m_transfers.end())
                    return;
                const Done done = std::move(it->second);
                m_transfers.erase(it);
                done(easy, CURLE_FAILED_INIT);
                curl_easy_cleanup(easy);
            },
            Qt::QueuedConnection);
    }
}

int CurlEventLoop::socketCallback(CURL*, curl_socket_t socket, int what, void* loop, void*)
{
    static_cast<CurlEventLoop*>(loop)->watch(socket, what);
    return 0;
}

int CurlEventLoop::timerCallback(CURLM*, long timeoutMs, void* loop)
{
    // Never acted on here: libcurl must not be called back into from its own callback.
    auto* self = static_cast<CurlEventLoop*>(loop);
    if (timeoutMs < 0)
        self->m_timer.stop();
    else
        self->m_timer.start(int(std::min<long>(timeoutMs, 24L * 3600 * 1000)));
    return 0;
}

void CurlEventLoop::watch(curl_socket_t socket, int what)
{
    if (what == CURL_POLL_REMOVE) {
        m_sockets.erase(socket);
        return;
    }
    std::unique_ptr<SocketWatch>& watch = m_sockets[socket];
    if (!watch) {
        watch = std::make_unique<SocketWatch>();
        watch->read = {new QSocketNotifier(socket, QSocketNotifier::Read, this), retire};
        watch->write = {new QSocketNotifier(socket, QSocketNotifier::Write, this), retire};
        connect(watch->read.get(), &QSocketNotifier::activated, this, [this, socket] { act(socket, CURL_CSELECT_IN); });
        connect(
            watch->write.get(), &QSocketNotifier::activated, this, [this, socket] { act(socket, CURL_CSELECT_OUT); });
    }
    watch->read->setEnabled(what == CURL_POLL_IN || what == CURL_POLL_INOUT);
    watch->write->setEnabled(what == CURL_POLL_OUT || what == CURL_POLL_INOUT);
}

void CurlEventLoop::act(curl_socket_t socket, int events)
{
    int running = 0;
    curl_multi_socket_action(m_multi, socket, events, &running);
    finishTransfers();
}

void CurlEventLoop::finishTransfers()
{
    std::vector<std::pair<CURL*, CURLcode>> ended;
    int left = 0;
    while (CURLMsg* message = curl_multi_info_read(m_multi, &left)) {
        if (message->msg == CURLMSG_DONE)
            ended.emplace_back(message->easy_handle, message->data.result);
    }
    const QPointer<CurlEventLoop> self(this);
    for (const auto& [easy, result] : ended) {
        if (!self)
            return;
        curl_multi_remove_handle(m_multi, easy);
        const auto it = m_transfers.find(easy);
        if (it == m_transfers.end())
            continue;
        // Moved out first: what done owns (headers, buffers) must outlive the handle that points at it.
        const Done done = std::move(it->second);
        m_transfers.erase(it);
        done(easy, result);
        curl_easy_cleanup(easy);
    }
}

} // namespace net

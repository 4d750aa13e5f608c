#pragma once

#include <QObject>
#include <QTimer>

#include <curl/curl.h>

#include <functional>
#include <map>
#include <memory>

class QSocketNotifier;

namespace net {

/// Runs libcurl transfers on the Qt event loop of the thread that owns it, through libcurl's socket interface:
/// nothing blocks and no thread is started. Destroying it abandons the transfers still running.
class CurlEventLoop : public QObject
{
    Q_OBJECT
public:
    /// Runs when a transfer ends, with its handle (for curl_easy_getinfo) and libcurl's outcome. The loop cleans the
    /// handle up afterwards; done must not destroy the loop.
    using Done = std::function<void(CURL* easy, CURLcode result)>;

    explicit CurlEventLoop(QObject* parent = nullptr);
    ~CurlEventLoop() override;

    /// Takes over a configured easy handle and starts it; done runs later, from the event loop.
    void start(CURL* easy, Done done);

    /// Transfers started and not yet ended.
    qsizetype running() const { return qsizetype(m_transfers.size()); }

private:
    struct SocketWatch;

    static int socketCallback(CURL* easy, curl_socket_t socket, int what, void* loop, void* socketData);
    static int timerCallback(CURLM* multi, long timeoutMs, void* loop);
    void watch(curl_socket_t socket, int what);
    void act(curl_socket_t socket, int events);
    void finishTransfers();

    CURLM* m_multi = nullptr;
    QTimer m_timer;
    std::map<curl_socket_t, std::unique_ptr<SocketWatch>> m_sockets;
    std::map<CURL*, Done> m_transfers;
};

} // namespace net

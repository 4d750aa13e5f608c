#pragma once

#include <QByteArray>
#include <QList>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

// A stand-in HTTP server (or proxy) on 127.0.0.1 (or a Unix socket), served by its own thread. It records every request
// byte for byte and answers each with the same canned bytes. With holdOpen it then keeps the connection open without
// another byte (a silent or stalled peer) until it is destroyed; otherwise it closes the connection.
class LoopbackServer
{
public:
    /// A Unix socket to listen on instead, at path.
    struct UnixSocket {
        QByteArray path;
        /// Another user (and group) to listen as, which needs root; the folder must let them in. -1: this one.
        int uid = -1;
        int gid = -1;
    };

    explicit LoopbackServer(QByteArray reply, bool holdOpen = false);
    LoopbackServer(QByteArray reply, const UnixSocket& socket);
    ~LoopbackServer();
    LoopbackServer(const LoopbackServer&) = delete;
    LoopbackServer& operator=(const LoopbackServer&) = delete;

    quint16 port() const { return m_port; }
    /// "127.0.0.1:port"
    QByteArray hostAndPort() const;

    /// The requests received so far, after waiting up to the deadline for at least count of them.
    QList<QByteArray> requests(qsizetype count = 1, std::chrono::milliseconds deadline = std::chrono::seconds(10));

    /// A port on 127.0.0.1 that nothing listens on.
    static quint16 closedPort();

private:
    void serve();
    QByteArray readRequest(int connection);
    bool waitReadable(int fd);

    QByteArray m_reply;
    bool m_holdOpen;
    int m_listener = -1;
    int m_wake[2] = {-1, -1};
    quint16 m_port = 0;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    QList<QByteArray> m_requests;
    std::thread m_thread;
};

/// A whole HTTP/1.1 reply with the given status line tail and a Content-Length header.
QByteArray httpReply(const QByteArray& status, const QByteArray& body);

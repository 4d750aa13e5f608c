#pragma once

#include "http/HttpRequestParser.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

class QTcpSocket;

namespace service {

class ServiceServer;
struct TranslationResult;

/// One client connection: reads a request, answers it, and then the next one on the same connection (HTTP/1.1
/// persistent connections, pipelined requests answered in order) until the client says "Connection: close", a
/// request is refused, the connection has served its cap of requests or stays idle too long. Deletes itself when
/// done.
class ServiceConnection : public QObject
{
    Q_OBJECT
public:
    ServiceConnection(QTcpSocket* socket, ServiceServer& server);

    /// Answers at once (used when the server is full) and closes.
    void refuse(int status, const QString& reason);
    /// Closes at once, without an answer.
    void drop() { close(); }
    /// Whether the connection waits on its client: for the rest of its request, or to take a reply the kernel
    /// would not hold.
    bool waitsOnClient() const;
    /// Whether the client still waits for its answer: it is connected and has not closed its side.
    bool clientWaits() const;

signals:
    void finished();

private:
    void readRequest();
    void take(const QByteArray& bytes);
    /// After a reply the client has taken: gets ready for the connection's next request.
    void nextRequest();
    /// Whether the connection stays open after answering the request read.
    bool keepsAlive() const;
    void dispatch();
    void handleTranslate();
    void handleUsageReport();
    void handleSettings();
    void answerTranslation(const TranslationResult& result);
    void respond(
        int status, const QByteArray& contentType, const QByteArray& body, const QByteArray& extraHeaders = {});
    void respondRefusal(int status, const QString& reason, const QByteArray& extraHeaders = {});
    void close();

    QTcpSocket* m_socket;
    ServiceServer& m_server;
    HttpRequestParser m_parser;
    QTimer m_deadline;
    QElapsedTimer m_clock;
    bool m_hasHead = false;
    bool m_responded = false;
    bool m_closed = false;
    /// Whether the connection stays open once the reply written has been taken.
    bool m_keepAlive = false;
    /// Between requests on a persistent connection, before a byte of the next one.
    bool m_idle = false;
    int m_served = 0;
    QString m_peer;
    QString m_logPrefix;
};

} // namespace service

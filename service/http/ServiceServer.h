#pragma once

#include <QElapsedTimer>
#include <QFileSystemWatcher>
#include <QHostAddress>
#include <QObject>
#include <QTcpServer>

#include "http/TcpGate.h"

#include <functional>
#include <list>
#include <optional>

namespace service {

class Engine;
class ServiceConnection;
class ServiceSettings;

/// Caps that keep one client from tying the service up.
struct ServiceLimits {
    qsizetype maxHeaderBytes = 16 * 1024;
    qsizetype maxBodyBytes = 64 * 1024;
    /// Longest text to translate, in UTF-16 units.
    qsizetype maxTextChars = 5000;
    /// The request line and header fields must have arrived within this time after connecting.
    int headTimeoutMs = 2000;
    /// The whole request must have arrived within this time after connecting.
    int requestTimeoutMs = 10000;
    /// A written reply that the client does not take within this time is dropped.
    int replyTimeoutMs = 10000;
    /// A persistent connection without the start of its next request for this long is closed.
    int keepAliveIdleMs = 30000;
    /// Requests one connection answers before it is closed (the last reply says so).
    int maxRequestsPerConnection = 1000;
    /// Connections open at once. When a new one finds them all taken, the oldest one that waits on its client (for
    /// its request, or to take its reply) is dropped; the new one is refused only when every one waits on the engine.
    int maxConnections = 256;
};

/// The HTTP side of verbolt-service: the translation endpoint the Verbolt client calls and the usage report
/// endpoint, answered by an Engine.
class ServiceServer : public QObject
{
    Q_OBJECT
public:
    using LogSink = std::function<void(const QString& line)>;

    explicit ServiceServer(Engine& engine, ServiceLimits limits = {}, QObject* parent = nullptr);
    /// Removes the socket it made at socketPath(), if that is still its own.
    ~ServiceServer() override;

    /// Listens on TCP; requests there pass the TcpGate.
    bool listen(const QHostAddress& address, quint16 port);
    /// Listens on the Unix socket at path, for this user alone (see OwnSocket::listen); false with errorString()
    /// saying why.
    bool listenOnUnixSocket(const QString& path);
    /// Serves on a socket that is already listening, such as the one systemd hands over (TCP or a Unix socket);
    /// takes it over.
    bool listenOn(qintptr socketDescriptor);
    /// Takes the lock of the Unix socket served since listenOn() (see OwnSocket::lock), waiting up to waitMs for a
    /// service started by hand that holds it to end; false with errorString() saying why.
    bool lockSocket(int waitMs);
    /// Whether the last listen failed because another service answers at that path.
    bool anotherServes() const { return m_anotherServes; }
    /// Where it listens, as a log line names it: "127.0.0.1:2738", or the socket's path.
    QString whereListening() const;
    /// What a request over TCP must pass; nullptr on a Unix socket.
    const TcpGate* tcpGate() const { return m_gate ? &*m_gate : nullptr; }
    QHostAddress serverAddress() const { return m_server.serverAddress(); }
    quint16 serverPort() const { return m_server.serverPort(); }
    QString errorString() const { return m_error.isEmpty() ? m_server.errorString() : m_error; }

    /// Where log lines go; stderr unless set.
    void setLogSink(LogSink sink) { m_log = std::move(sink); }
    void log(const QString& line) const;

    Engine& engine() const { return m_engine; }
    /// What answers the settings paths and names engines in replies; without it those paths are not found.
    void setSettings(ServiceSettings* settings) { m_settings = settings; }
    ServiceSettings* settings() const { return m_settings; }
    const ServiceLimits& limits() const { return m_limits; }
    /// Connections open now.
    qsizetype connectionCount() const { return m_open.size(); }

signals:
    /// The socket made by listenOnUnixSocket is no longer at its path (removed, or another put there, as systemd's
    /// socket unit does when it starts): no client reaches this service any more.
    void socketLost();
    /// A usage report arrived (also logged).
    void usageReported(const QString& callsign, const QString& program, const QString& version);

private:
    void acceptConnections();
    void takeConnections();
    bool dropOldestWaiting();

    Engine& m_engine;
    ServiceSettings* m_settings = nullptr;
    ServiceLimits m_limits;
    // Serves Unix sockets as well: Qt's TCP sockets take any stream socket's descriptor.
    QTcpServer m_server;
    std::optional<TcpGate> m_gate;
    QString m_socketPath;
    /// The socket file made by listenOnUnixSocket, to be removed at the end while it is still the one made.
    QString m_madeSocket;
    quint64 m_madeInode = 0;
    QString m_error;
    bool m_anotherServes = false;
    /// The lock of the Unix socket, held while serving it.
    int m_lock = -1;
    QFileSystemWatcher* m_watcher = nullptr;
    LogSink m_log;
    /// Open connections, oldest first.
    std::list<ServiceConnection*> m_open;
    bool m_takeScheduled = false;
    qint64 m_dropped = 0;
    QElapsedTimer m_sinceDropLog;
};

} // namespace service

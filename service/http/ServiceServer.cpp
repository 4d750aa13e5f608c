#include "http/ServiceServer.h"

#include "http/ServiceConnection.h"

#include <QTcpSocket>

#include <algorithm>

#include <cstdio>

namespace service {

ServiceServer::ServiceServer(Engine& engine, ServiceLimits limits, QObject* parent)
    : QObject(parent)
    , m_engine(engine)
    , m_limits(limits)
{
    // Few at a time (see acceptConnections), but a deep queue in the kernel: under a flood of connections a new
    // one must wait there rather than have its SYN dropped and be retried a second later.
    m_server.setMaxPendingConnections(16);
    m_server.setListenBacklogSize(1024);
    connect(&m_server, &QTcpServer::newConnection, this, &ServiceServer::acceptConnections);
}

bool ServiceServer::listen(const QHostAddress& address, quint16 port)
{
    return m_server.listen(address, port);
}

bool ServiceServer::listenOn(qintptr socketDescriptor)
{
    return m_server.setSocketDescriptor(socketDescriptor);
}

void ServiceServer::log(const QString& line) const
{
    // One line per event, whatever a client put into its request.
    QString safe = line;
    for (QChar& c : safe) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            c = u'?';
    }
    if (m_log) {
        m_log(safe);
        return;
    }
    const QByteArray bytes = safe.toUtf8() + '\n';
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stderr);
    std::fflush(stderr);
}

void ServiceServer::acceptConnections()
{
    // Taken on the next turn of the event loop, at most a backlog's worth at a time: a flood of new connections
    // must not keep the loop from reading the requests of those just taken before they become the oldest.
    if (m_takeScheduled)
        return;
    m_takeScheduled = true;
    QMetaObject::invokeMethod(this, &ServiceServer::takeConnections, Qt::QueuedConnection);
}

void ServiceServer::takeConnections()
{
    m_takeScheduled = false;
    while (QTcpSocket* socket = m_server.nextPendingConnection()) {
        const bool full = qsizetype(m_open.size()) >= m_limits.maxConnections && !dropOldestWaiting();
        auto* connection = new ServiceConnection(socket, *this);
        const auto place = m_open.insert(m_open.end(), connection);
        connect(connection, &ServiceConnection::finished, this, [this, place] { m_open.erase(place); });
        if (full)
            connection->refuse(503, QStringLiteral("Too many connections; try again"));
    }
}

bool ServiceServer::dropOldestWaiting()
{
    const auto oldest
        = std::find_if(m_open.begin(), m_open.end(), [](const ServiceConnection* c) { return c->waitsOnClient(); });
    if (oldest == m_open.end())
        return false;
    (*oldest)->drop();
    // Said once in a while: a flood of held connections would otherwise flood the log.
    ++m_dropped;
    if (!m_sinceDropLog.isValid() || m_sinceDropLog.elapsed() >= 10000) {
        log(QStringLiteral("connection table full (%1): dropped %2 connection(s) waiting on their client")
                .arg(m_limits.maxConnections)
                .arg(m_dropped));
        m_dropped = 0;
        m_sinceDropLog.start();
    }
    return true;
}

} // namespace service

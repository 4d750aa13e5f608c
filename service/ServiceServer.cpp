#include "ServiceServer.h"

#include "ServiceConnection.h"

#include <QTcpSocket>

#include <cstdio>

namespace service {

ServiceServer::ServiceServer(Engine& engine, ServiceLimits limits, QObject* parent)
    : QObject(parent)
    , m_engine(engine)
    , m_limits(limits)
{
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
    while (QTcpSocket* socket = m_server.nextPendingConnection()) {
        auto* connection = new ServiceConnection(socket, *this);
        ++m_connections;
        connect(connection, &ServiceConnection::finished, this, [this] { --m_connections; });
        if (m_connections > m_limits.maxConnections)
            connection->refuse(503, QStringLiteral("Too many connections; try again"));
    }
}

} // namespace service

#include "TcpQtelLink.h"

#include <QTcpSocket>

TcpQtelLink::TcpQtelLink(QObject* parent)
    : QtelLink(parent)
{
    connect(&m_server, &QTcpServer::newConnection, this, &TcpQtelLink::onNewConnection);
}

bool TcpQtelLink::listen(const QHostAddress& address, quint16 port, QString* why)
{
    if (m_server.listen(address, port))
        return true;
    *why = m_server.errorString();
    return false;
}

void TcpQtelLink::onNewConnection()
{
    while (QTcpSocket* socket = m_server.nextPendingConnection()) {
        const int id = m_next++;
        m_sockets.insert(id, socket);
        socket->setParent(this);
        connect(socket, &QTcpSocket::readyRead, this, [this, id, socket] { emit received(id, socket->readAll()); });
        connect(socket, &QTcpSocket::disconnected, this, [this, id, socket] {
            m_sockets.remove(id);
            socket->deleteLater();
            emit gone(id);
        });
        emit arrived(id);
    }
}

void TcpQtelLink::send(int client, const QByteArray& bytes)
{
    if (QTcpSocket* socket = m_sockets.value(client))
        socket->write(bytes);
}

void TcpQtelLink::drop(int client)
{
    // Later, from the event loop: the caller may be in the middle of handling this client's data.
    if (QTcpSocket* socket = m_sockets.value(client))
        QMetaObject::invokeMethod(socket, &QTcpSocket::disconnectFromHost, Qt::QueuedConnection);
}

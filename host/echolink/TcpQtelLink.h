#pragma once

#include "QtelLink.h"

#include <QHash>
#include <QHostAddress>
#include <QTcpServer>

class QTcpSocket;

/// Qtel's side on a listening TCP socket.
class TcpQtelLink : public QtelLink
{
    Q_OBJECT
public:
    explicit TcpQtelLink(QObject* parent = nullptr);

    /// Listens on address:port; false with *why set when it cannot.
    bool listen(const QHostAddress& address, quint16 port, QString* why);

    void send(int client, const QByteArray& bytes) override;
    void drop(int client) override;

private:
    void onNewConnection();

    QTcpServer m_server;
    QHash<int, QTcpSocket*> m_sockets;
    int m_next = 0;
};

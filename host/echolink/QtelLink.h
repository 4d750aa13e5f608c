#pragma once

#include <QByteArray>
#include <QObject>

/// The proxy's side toward Qtel (or any EchoLink proxy client): TCP connections, each known by a number.
class QtelLink : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;
    ~QtelLink() override = default;

    /// Writes bytes to the client; nothing when it has gone.
    virtual void send(int client, const QByteArray& bytes) = 0;
    /// Closes the client's connection once what was sent has left; gone() follows.
    virtual void drop(int client) = 0;

signals:
    void arrived(int client);
    void received(int client, const QByteArray& bytes);
    void gone(int client);
};

#pragma once

#include "StationLink.h"

#include <QTcpSocket>
#include <QTimer>

/// The EchoLink network reached through another EchoLink proxy (a public one, for users behind NAT): this program is
/// that proxy's client, logging in with the callsign of the client it serves, and binds no UDP port.
class UpstreamStationLink : public StationLink
{
    Q_OBJECT
public:
    UpstreamStationLink(const QString& host, quint16 port, const QByteArray& password, QObject* parent = nullptr);
    ~UpstreamStationLink() override;

    void attach(const QByteArray& callsign) override;
    void detach() override;
    void sendUdp(Port port, quint32 ip, const QByteArray& packet) override;
    void openDirectory(quint32 ip) override;
    void sendDirectory(const QByteArray& bytes) override;
    void closeDirectory() override;

private:
    enum class State { Idle, WaitingForNonce, Ready };

    void send(const QByteArray& message);
    void onReadyRead();
    void onDisconnected();

    QString m_host;
    quint16 m_port;
    QByteArray m_password;
    QByteArray m_callsign;
    QTcpSocket m_socket;
    State m_state = State::Idle;
    QByteArray m_buffer;
    // What the client sent before the upstream proxy took us.
    QByteArray m_queue;
    bool m_directoryOpening = false;
    bool m_directoryOpen = false;
    // A TCP_CLOSE we sent is answered with one, which the client must not see.
    int m_closesAwaited = 0;
    QTimer m_retry;
};

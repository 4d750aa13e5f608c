#pragma once

#include "StationLink.h"

#include <QHostAddress>
#include <QTimer>
#include <QUdpSocket>

#include <memory>

class QTcpSocket;

/// The EchoLink network reached directly: the UDP ports 5198 and 5199 bound here, as any EchoLink station's, and the
/// directory over TCP.
class UdpStationLink : public StationLink
{
    Q_OBJECT
public:
    explicit UdpStationLink(QObject* parent = nullptr);
    ~UdpStationLink() override;

    /// Binds both ports on address (all IPv4 addresses by default); false with *why set when one is taken.
    bool bind(const QHostAddress& address, QString* why);

    void sendUdp(Port port, quint32 ip, const QByteArray& packet) override;
    void openDirectory(quint32 ip) override;
    void sendDirectory(const QByteArray& bytes) override;
    void closeDirectory() override;

private:
    void read(Port port);
    void answer(quint32 status);

    QHostAddress m_address;
    QUdpSocket m_audio;
    QUdpSocket m_control;
    std::unique_ptr<QTcpSocket> m_directory;
    bool m_answered = false;
    QTimer m_connectTimer;
};

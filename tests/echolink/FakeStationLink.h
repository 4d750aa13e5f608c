#pragma once

#include "StationLink.h"

#include <QList>

// The EchoLink network for the bridge's tests: what the bridge sends is kept; the tests raise what comes back.
class FakeStationLink : public StationLink
{
    Q_OBJECT
public:
    struct Datagram {
        Port port;
        quint32 ip;
        QByteArray packet;
        bool operator==(const Datagram&) const = default;
    };

    void attach(const QByteArray& callsign) override { attachedAs = callsign; }
    void detach() override { attachedAs.clear(); }
    void sendUdp(Port port, quint32 ip, const QByteArray& packet) override { udp += Datagram{port, ip, packet}; }
    void openDirectory(quint32 ip) override { directoryOpened += ip; }
    void sendDirectory(const QByteArray& bytes) override { directorySent += bytes; }
    void closeDirectory() override { ++directoryCloses; }

    void raiseUdp(Port port, quint32 ip, const QByteArray& packet) { emit udpReceived(port, ip, packet); }
    void raiseStatus(quint32 status) { emit directoryStatus(status); }
    void raiseDirectory(const QByteArray& bytes) { emit directoryReceived(bytes); }
    void raiseClosed() { emit directoryClosed(); }

    QByteArray attachedAs;
    QList<Datagram> udp;
    QList<quint32> directoryOpened;
    QByteArray directorySent;
    int directoryCloses = 0;
};

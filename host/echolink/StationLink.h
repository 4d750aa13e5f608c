#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

/// The proxy's side toward the EchoLink network: UDP with the stations (audio and chat on port 5198, RTCP on 5199)
/// and one TCP connection to a directory server's port 5200. Addresses are IPv4 in host order.
class StationLink : public QObject
{
    Q_OBJECT
public:
    enum class Port { Audio, Control };

    using QObject::QObject;
    ~StationLink() override = default;

    /// The client with this callsign is now served; a link that logs in somewhere (an upstream proxy) does it now.
    virtual void attach(const QByteArray& callsign) { Q_UNUSED(callsign) }
    /// No client is served any more.
    virtual void detach() { }

    virtual void sendUdp(Port port, quint32 ip, const QByteArray& packet) = 0;
    /// Connects to ip's port 5200 (no other port, ever); directoryStatus() answers within seconds.
    virtual void openDirectory(quint32 ip) = 0;
    virtual void sendDirectory(const QByteArray& bytes) = 0;
    /// Closes the directory connection; no directoryClosed() follows.
    virtual void closeDirectory() = 0;

signals:
    void udpReceived(StationLink::Port port, quint32 ip, const QByteArray& packet);
    /// 0: the directory connection is up; else an errno saying why not.
    void directoryStatus(quint32 status);
    void directoryReceived(const QByteArray& bytes);
    /// The directory server closed the connection.
    void directoryClosed();
    /// Something the operator should know (the upstream proxy refused us, say).
    void trouble(const QString& why);
};

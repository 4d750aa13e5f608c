#include "UdpStationLink.h"

#include "ProxyMessage.h"

#include <QNetworkDatagram>
#include <QTcpSocket>

#include <cerrno>

namespace {

// A directory that does not answer is given up on after this, and the client told.
constexpr int kDirectoryConnectMs = 5000;

quint32 errnoFor(QAbstractSocket::SocketError error)
{
    switch (error) {
    case QAbstractSocket::ConnectionRefusedError: return ECONNREFUSED;
    case QAbstractSocket::HostNotFoundError: return EHOSTUNREACH;
    case QAbstractSocket::NetworkError: return ENETUNREACH;
    case QAbstractSocket::SocketTimeoutError: return ETIMEDOUT;
    case QAbstractSocket::RemoteHostClosedError: return ECONNRESET;
    case QAbstractSocket::SocketAccessError: return EACCES;
    default: return EIO;
    }
}

} // namespace

UdpStationLink::UdpStationLink(QObject* parent)
    : StationLink(parent)
{
    connect(&m_audio, &QUdpSocket::readyRead, this, [this] { read(Port::Audio); });
    connect(&m_control, &QUdpSocket::readyRead, this, [this] { read(Port::Control); });
    m_connectTimer.setSingleShot(true);
    m_connectTimer.setInterval(kDirectoryConnectMs);
    connect(&m_connectTimer, &QTimer::timeout, this, [this] {
        closeDirectory();
        answer(ETIMEDOUT);
    });
}

UdpStationLink::~UdpStationLink() = default;

bool UdpStationLink::bind(const QHostAddress& address, QString* why)
{
    m_address = address;
    // No address sharing: a second EchoLink program on these ports must be found out, not silently share them.
    for (auto [socket, port] :
        {std::pair{&m_audio, ProxyMessage::audioPort}, {&m_control, ProxyMessage::controlPort}}) {
        if (!socket->bind(address, port, QAbstractSocket::DontShareAddress)) {
            *why = QStringLiteral("UDP port %1 on %2: %3").arg(port).arg(address.toString(), socket->errorString());
            return false;
        }
    }
    return true;
}

void UdpStationLink::read(Port port)
{
    QUdpSocket& socket = port == Port::Audio ? m_audio : m_control;
    while (socket.hasPendingDatagrams()) {
        const QNetworkDatagram datagram = socket.receiveDatagram();
        bool ipv4 = false;
        const quint32 ip = datagram.senderAddress().toIPv4Address(&ipv4);
        if (ipv4 && datagram.isValid())
            emit udpReceived(port, ip, datagram.data());
    }
}

void UdpStationLink::sendUdp(Port port, quint32 ip, const QByteArray& packet)
{
    if (port == Port::Audio)
        m_audio.writeDatagram(packet, QHostAddress(ip), ProxyMessage::audioPort);
    else
        m_control.writeDatagram(packet, QHostAddress(ip), ProxyMessage::controlPort);
}

void UdpStationLink::openDirectory(quint32 ip)
{
    closeDirectory();
    m_answered = false;
    m_directory = std::make_unique<QTcpSocket>();
    QTcpSocket* socket = m_directory.get();
    if (m_address != QHostAddress::AnyIPv4 && !socket->bind(m_address)) {
        answer(errnoFor(socket->error()));
        return;
    }
    connect(socket, &QTcpSocket::connected, this, [this] { answer(0); });
    connect(socket, &QTcpSocket::readyRead, this, [this, socket] { emit directoryReceived(socket->readAll()); });
    connect(socket, &QTcpSocket::errorOccurred, this, [this, socket](QAbstractSocket::SocketError error) {
        if (!m_answered)
            answer(errnoFor(error));
        else if (error != QAbstractSocket::RemoteHostClosedError)
            socket->abort();
    });
    connect(socket, &QTcpSocket::disconnected, this, [this] {
        if (m_answered)
            emit directoryClosed();
    });
    m_connectTimer.start();
    socket->connectToHost(QHostAddress(ip), ProxyMessage::directoryPort);
}

void UdpStationLink::answer(quint32 status)
{
    m_connectTimer.stop();
    m_answered = true;
    emit directoryStatus(status);
    if (status != 0 && m_directory) {
        m_directory->disconnect(this);
        m_directory.release()->deleteLater();
    }
}

void UdpStationLink::sendDirectory(const QByteArray& bytes)
{
    if (m_directory)
        m_directory->write(bytes);
}

void UdpStationLink::closeDirectory()
{
    m_connectTimer.stop();
    if (!m_directory)
        return;
    QTcpSocket* socket = m_directory.release();
    socket->disconnect(this);
    // What the client sent last still goes out before the connection closes.
    connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    socket->disconnectFromHost();
    if (socket->state() == QAbstractSocket::UnconnectedState)
        socket->deleteLater();
}

#include "UpstreamStationLink.h"

#include "ProxyMessage.h"

#include <QtEndian>

#include <cerrno>

using namespace Qt::StringLiterals;

namespace {

// As EchoLink clients do when their proxy goes.
constexpr int kRetryMs = 10000;
// Bounds what waits for the upstream proxy; voice beyond it is not worth keeping.
constexpr qsizetype kMaxQueue = 256 * 1024;

} // namespace

UpstreamStationLink::UpstreamStationLink(const QString& host, quint16 port, const QByteArray& password, QObject* parent)
    : StationLink(parent)
    , m_host(host)
    , m_port(port)
    , m_password(password)
{
    m_retry.setSingleShot(true);
    m_retry.setInterval(kRetryMs);
    connect(&m_retry, &QTimer::timeout, this, [this] {
        if (m_state == State::WaitingForNonce)
            m_socket.connectToHost(m_host, m_port);
    });
    connect(&m_socket, &QTcpSocket::readyRead, this, &UpstreamStationLink::onReadyRead);
    connect(&m_socket, &QTcpSocket::disconnected, this, &UpstreamStationLink::onDisconnected);
    connect(&m_socket, &QTcpSocket::errorOccurred, this, [this](QAbstractSocket::SocketError) {
        if (m_socket.state() != QAbstractSocket::ConnectedState && m_state == State::WaitingForNonce) {
            emit trouble(
                u"the upstream proxy %1:%2 does not answer: %3"_s.arg(m_host).arg(m_port).arg(m_socket.errorString()));
            onDisconnected();
        }
    });
}

void UpstreamStationLink::attach(const QByteArray& callsign)
{
    detach();
    m_callsign = callsign;
    m_state = State::WaitingForNonce;
    m_socket.connectToHost(m_host, m_port);
}

void UpstreamStationLink::detach()
{
    m_state = State::Idle;
    m_retry.stop();
    m_buffer.clear();
    m_queue.clear();
    m_directoryOpening = m_directoryOpen = false;
    m_closesAwaited = 0;
    m_socket.abort();
}

void UpstreamStationLink::send(const QByteArray& message)
{
    if (m_state == State::Ready)
        m_socket.write(message);
    else if (m_state == State::WaitingForNonce && m_queue.size() + message.size() <= kMaxQueue)
        m_queue += message;
}

void UpstreamStationLink::sendUdp(Port port, quint32 ip, const QByteArray& packet)
{
    send(ProxyMessage{port == Port::Audio ? ProxyMessage::UdpData : ProxyMessage::UdpControl, ip, packet}.encode());
}

void UpstreamStationLink::openDirectory(quint32 ip)
{
    if (m_state == State::Idle) {
        emit directoryStatus(ENOTCONN);
        return;
    }
    m_directoryOpening = true;
    send(ProxyMessage{ProxyMessage::TcpOpen, ip, {}}.encode());
}

void UpstreamStationLink::sendDirectory(const QByteArray& bytes)
{
    send(ProxyMessage::encodeBlocks(ProxyMessage::TcpData, 0, bytes));
}

void UpstreamStationLink::closeDirectory()
{
    if (!m_directoryOpening && !m_directoryOpen)
        return;
    m_directoryOpening = m_directoryOpen = false;
    ++m_closesAwaited;
    send(ProxyMessage{ProxyMessage::TcpClose, 0, {}}.encode());
}

void UpstreamStationLink::onReadyRead()
{
    m_buffer += m_socket.readAll();
    if (m_state == State::WaitingForNonce) {
        if (m_buffer.size() < ProxyMessage::nonceSize)
            return;
        const QByteArray nonce = m_buffer.left(ProxyMessage::nonceSize);
        m_buffer.remove(0, ProxyMessage::nonceSize);
        m_socket.write(m_callsign + '\n' + ProxyMessage::digest(m_password, nonce));
        m_state = State::Ready;
        m_socket.write(std::exchange(m_queue, {}));
    }
    bool tooLong = false;
    while (const std::optional<ProxyMessage> message = ProxyMessage::take(m_buffer, &tooLong)) {
        switch (message->type) {
        case ProxyMessage::UdpData: emit udpReceived(Port::Audio, message->ip, message->data); break;
        case ProxyMessage::UdpControl: emit udpReceived(Port::Control, message->ip, message->data); break;
        case ProxyMessage::TcpData: emit directoryReceived(message->data); break;
        case ProxyMessage::TcpStatus:
            if (m_directoryOpening && message->data.size() == 4) {
                const quint32 status = qFromLittleEndian<quint32>(message->data.constData());
                m_directoryOpening = false;
                m_directoryOpen = status == 0;
                emit directoryStatus(status);
            }
            break;
        case ProxyMessage::TcpClose:
            if (m_closesAwaited > 0) {
                --m_closesAwaited;
            } else if (std::exchange(m_directoryOpen, false)) {
                emit directoryClosed();
            }
            break;
        case ProxyMessage::System: {
            const bool badPassword = message->data == QByteArray(1, char(ProxyMessage::BadPassword));
            emit trouble(badPassword ? u"the upstream proxy %1:%2 refused its password"_s.arg(m_host).arg(m_port)
                                     : u"the upstream proxy %1:%2 denied access"_s.arg(m_host).arg(m_port));
            m_socket.abort();
            return;
        }
        default: break;
        }
    }
    if (tooLong) {
        emit trouble(u"the upstream proxy %1:%2 sent a block too long to be a proxy's"_s.arg(m_host).arg(m_port));
        m_socket.abort();
    }
}

UpstreamStationLink::~UpstreamStationLink()
{
    // The socket says it disconnected on its way out, after the members its handler uses (the retry timer) are gone.
    m_socket.disconnect(this);
}

void UpstreamStationLink::onDisconnected()
{
    if (m_state == State::Idle)
        return;
    if (std::exchange(m_directoryOpening, false))
        emit directoryStatus(ECONNRESET);
    if (std::exchange(m_directoryOpen, false))
        emit directoryClosed();
    m_closesAwaited = 0;
    m_buffer.clear();
    m_state = State::WaitingForNonce;
    m_retry.start();
}

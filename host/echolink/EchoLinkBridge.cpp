#include "EchoLinkBridge.h"

#include "EchoLinkPacket.h"

#include <QRandomGenerator>
#include <QRegularExpression>

using namespace Qt::StringLiterals;

namespace {

// A client that sends this much without a line end is not logging in.
constexpr qsizetype kMaxCallsignLine = 64;
// Chat lines go out in pieces of at most this many characters: the client reads each relayed block into 16 KB.
constexpr qsizetype kMaxChatPiece = 400;

QByteArray randomNonce()
{
    QByteArray nonce(ProxyMessage::nonceSize, Qt::Uninitialized);
    for (char& c : nonce)
        c = char(QRandomGenerator::system()->bounded(256));
    return nonce;
}

// A long line in pieces, cut after a space where there is one.
QStringList pieces(QString line)
{
    QStringList out;
    while (line.size() > kMaxChatPiece) {
        qsizetype cut = line.lastIndexOf(u' ', kMaxChatPiece - 1);
        cut = cut > 0 ? cut + 1 : kMaxChatPiece;
        out += line.left(cut).trimmed();
        line = line.mid(cut);
    }
    out += line;
    return out;
}

} // namespace

EchoLinkBridge::EchoLinkBridge(QtelLink& qtel, StationLink& stations, Options options, QObject* parent)
    : QObject(parent)
    , m_qtel(qtel)
    , m_stations(stations)
    , m_options(std::move(options))
{
    if (!m_options.nonce)
        m_options.nonce = randomNonce;
    m_goneTimer.setSingleShot(true);
    m_goneTimer.setInterval(m_options.goneGraceMs);
    connect(&m_goneTimer, &QTimer::timeout, this,
        [this] { emit closing(u"Qtel has been gone for %1 s"_s.arg(m_options.goneGraceMs / 1000)); });
    connect(&m_qtel, &QtelLink::arrived, this, &EchoLinkBridge::onArrived);
    connect(&m_qtel, &QtelLink::received, this, &EchoLinkBridge::onReceived);
    connect(&m_qtel, &QtelLink::gone, this, &EchoLinkBridge::onGone);
    connect(&m_stations, &StationLink::udpReceived, this, &EchoLinkBridge::onUdp);
    connect(&m_stations, &StationLink::directoryStatus, this, [this](quint32 status) {
        m_directoryOpen = status == 0;
        sendToCurrent(ProxyMessage::encodeStatus(status));
    });
    connect(&m_stations, &StationLink::directoryReceived, this, [this](const QByteArray& bytes) {
        sendToCurrent(ProxyMessage::encodeBlocks(ProxyMessage::TcpData, 0, bytes));
    });
    connect(&m_stations, &StationLink::directoryClosed, this, [this] {
        m_directoryOpen = false;
        sendToCurrent(ProxyMessage{ProxyMessage::TcpClose, 0, {}}.encode());
    });
    m_status = status();
}

QStringList EchoLinkBridge::stations() const
{
    QStringList calls;
    for (const quint32 ip : m_order) {
        const Station& station = m_stationsByIp[ip];
        if (station.inQso())
            calls += QString::fromLatin1(station.callsign);
    }
    return calls;
}

QString EchoLinkBridge::status() const
{
    if (m_current < 0) {
        return m_everConnected
            ? u"Qtel has left the proxy"_s
            : u"waiting for Qtel to connect (in Qtel Settings..., Network tab, the EchoLink proxy)"_s;
    }
    const QStringList calls = stations();
    return calls.isEmpty() ? u"Qtel connected as %1, no station in QSO"_s.arg(m_callsign)
                           : u"Qtel connected as %1, in QSO with %2"_s.arg(m_callsign, calls.join(u", "_s));
}

void EchoLinkBridge::updateStatus()
{
    const QString now = status();
    if (now != m_status) {
        m_status = now;
        emit statusChanged(now);
    }
}

void EchoLinkBridge::onArrived(int client)
{
    Client& entry = m_clients[client];
    entry.nonce = m_options.nonce();
    m_qtel.send(client, entry.nonce);
}

void EchoLinkBridge::onReceived(int id, const QByteArray& bytes)
{
    const auto found = m_clients.find(id);
    if (found == m_clients.end())
        return;
    found->buffer += bytes;
    if (!found->authenticated && !authenticate(id, *found))
        return;
    if (id != m_current)
        return;
    Client& client = m_clients[id];
    // handle() may end this client (a replaced link); take the messages out first.
    QList<ProxyMessage> messages;
    bool tooLong = false;
    while (const std::optional<ProxyMessage> message = ProxyMessage::take(client.buffer, &tooLong))
        messages += *message;
    if (tooLong) {
        m_qtel.drop(id);
        return;
    }
    for (const ProxyMessage& message : messages)
        handle(message);
}

bool EchoLinkBridge::authenticate(int id, Client& client)
{
    const qsizetype end = client.buffer.indexOf('\n');
    if (end < 0) {
        if (client.buffer.size() > kMaxCallsignLine)
            m_qtel.drop(id);
        return false;
    }
    if (client.buffer.size() < end + 1 + ProxyMessage::digestSize)
        return false;
    const QByteArray callsign = client.buffer.left(end).trimmed().toUpper();
    const QByteArray digest = client.buffer.mid(end + 1, ProxyMessage::digestSize);
    client.buffer.remove(0, end + 1 + ProxyMessage::digestSize);
    const bool plausible = !callsign.isEmpty() && end <= kMaxCallsignLine
        && QRegularExpression(u"^[A-Z0-9/-]+$"_s).match(QString::fromLatin1(callsign)).hasMatch();
    if (digest != ProxyMessage::digest(m_options.password, client.nonce) || !plausible) {
        const quint8 code = plausible ? ProxyMessage::BadPassword : ProxyMessage::AccessDenied;
        m_qtel.send(id, ProxyMessage{ProxyMessage::System, 0, QByteArray(1, char(code))}.encode());
        m_qtel.drop(id);
        return false;
    }
    client.authenticated = true;
    // One client at a time: the newcomer is most likely the same Qtel, started again. (onGone() may move the
    // entries of m_clients, so client is not used after it.)
    const int earlier = m_current;
    if (earlier >= 0 && earlier != id) {
        onGone(earlier);
        m_qtel.drop(earlier);
    }
    m_current = id;
    m_callsign = QString::fromLatin1(callsign);
    m_everConnected = true;
    m_goneTimer.stop();
    m_stations.attach(callsign);
    updateStatus();
    return true;
}

void EchoLinkBridge::handle(const ProxyMessage& message)
{
    switch (message.type) {
    case ProxyMessage::TcpOpen:
        // Only ever the directory's port: this is no open relay.
        m_stations.openDirectory(message.ip);
        break;
    case ProxyMessage::TcpData:
        if (m_directoryOpen)
            m_stations.sendDirectory(message.data);
        break;
    case ProxyMessage::TcpClose:
        m_stations.closeDirectory();
        m_directoryOpen = false;
        sendToCurrent(ProxyMessage{ProxyMessage::TcpClose, 0, {}}.encode());
        break;
    case ProxyMessage::UdpData:
        if (message.ip != 0)
            m_stations.sendUdp(StationLink::Port::Audio, message.ip, message.data);
        break;
    case ProxyMessage::UdpControl:
        if (message.ip == 0)
            break;
        trackControl(message.ip, message.data, true);
        m_stations.sendUdp(StationLink::Port::Control, message.ip, message.data);
        break;
    default: break;
    }
}

void EchoLinkBridge::onUdp(StationLink::Port port, quint32 ip, const QByteArray& packet)
{
    if (m_current < 0 || packet.isEmpty())
        return;
    if (port == StationLink::Port::Control) {
        trackControl(ip, packet, false);
    } else if (echolinkpacket::kind(packet) == echolinkpacket::Kind::Chat) {
        const auto station = m_stationsByIp.constFind(ip);
        if (station != m_stationsByIp.cend() && station->inQso()) {
            QString line = m_options.codec.decode(echolinkpacket::text(packet));
            line.replace(u"\r\n"_s, u"\r"_s).replace(u'\n', u'\r');
            emit chatTextReceived(line);
        }
    }
    const auto type = port == StationLink::Port::Audio ? ProxyMessage::UdpData : ProxyMessage::UdpControl;
    sendToCurrent(ProxyMessage{type, ip, packet}.encode());
}

void EchoLinkBridge::trackControl(quint32 ip, const QByteArray& packet, bool fromClient)
{
    if (echolinkpacket::isBye(packet)) {
        if (m_stationsByIp.remove(ip))
            m_order.removeOne(ip);
    } else if (echolinkpacket::isSdes(packet)) {
        if (!m_stationsByIp.contains(ip))
            m_order += ip;
        Station& station = m_stationsByIp[ip];
        if (fromClient) {
            station.clientSaidHello = true;
        } else {
            station.stationSaidHello = true;
            const QByteArray call = echolinkpacket::sdesCallsign(packet);
            if (!call.isEmpty())
                station.callsign = call;
        }
    } else {
        return;
    }
    updateStatus();
}

void EchoLinkBridge::onGone(int client)
{
    m_clients.remove(client);
    if (client != m_current)
        return;
    m_current = -1;
    m_callsign.clear();
    if (std::exchange(m_directoryOpen, false))
        m_stations.closeDirectory();
    m_stations.detach();
    m_stationsByIp.clear();
    m_order.clear();
    m_goneTimer.start();
    updateStatus();
}

void EchoLinkBridge::sendToCurrent(const QByteArray& bytes)
{
    if (m_current >= 0)
        m_qtel.send(m_current, bytes);
}

std::optional<QString> EchoLinkBridge::sendChatText(const QString& text, QString* why)
{
    if (m_current < 0) {
        *why
            = u"Qtel is not connected to verbolt-echolink; turn its proxy on (Settings > Qtel Settings..., Network tab)"_s;
        return std::nullopt;
    }
    QList<quint32> partners;
    for (const quint32 ip : std::as_const(m_order)) {
        if (m_stationsByIp[ip].inQso())
            partners += ip;
    }
    if (partners.isEmpty()) {
        *why = u"no station is in QSO with Qtel"_s;
        return std::nullopt;
    }
    const onair::Fitted fitted = m_options.codec.fit(text);
    if (!fitted.ok()) {
        *why = fitted.refusal;
        return std::nullopt;
    }
    QStringList sent;
    const QStringList lines = QString(fitted.text).replace(u"\r\n"_s, u"\r"_s).replace(u'\n', u'\r').split(u'\r');
    for (const QString& line : lines) {
        for (const QString& piece : pieces(line)) {
            sent += piece;
            const QByteArray packet
                = echolinkpacket::chatPacket(m_callsign.toLatin1() + '>' + m_options.codec.encode(piece));
            for (const quint32 ip : std::as_const(partners)) {
                m_stations.sendUdp(StationLink::Port::Audio, ip, packet);
                // The copy shows in Qtel's chat pane as if the station had echoed it.
                sendToCurrent(ProxyMessage{ProxyMessage::UdpData, ip, packet}.encode());
            }
        }
    }
    return sent.join(u'\r');
}

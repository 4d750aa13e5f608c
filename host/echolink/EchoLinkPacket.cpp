#include "EchoLinkPacket.h"

#include <QList>
#include <QtEndian>

namespace echolinkpacket {

namespace {

constexpr quint8 rtcpSdes = 202;
constexpr quint8 rtcpBye = 203;
constexpr quint8 sdesEnd = 0;
constexpr quint8 sdesName = 2;

bool hasData(const QByteArray& packet)
{
    return packet.size() >= 6 && packet.mid(1, 5) == "NDATA";
}

// EchoLink marks RTCP with version 3 (and some clients 1), not the standard 2.
bool isRtcpPart(const uchar* p)
{
    const int version = (p[0] >> 6) & 3;
    return version == 3 || version == 1;
}

// Walks the RTCP parts of a compound packet; part(type, begin, end) returns false to stop.
template <typename Visit>
void walkRtcp(const QByteArray& packet, Visit part)
{
    const auto* p = reinterpret_cast<const uchar*>(packet.constData());
    const uchar* end = p + packet.size();
    // Lengths are compared with what is left, never added to a pointer past the packet's end.
    while (end - p >= 4 && isRtcpPart(p)) {
        const qsizetype length = (qsizetype(qFromBigEndian<quint16>(p + 2)) + 1) * 4;
        if (length > end - p)
            return;
        if (!part(p[1], p, p + length))
            return;
        p += length;
    }
}

bool hasPart(const QByteArray& packet, quint8 wanted)
{
    bool found = false;
    walkRtcp(packet, [&](quint8 type, const uchar*, const uchar*) {
        found = type == wanted;
        return !found;
    });
    return found;
}

} // namespace

Kind kind(const QByteArray& packet)
{
    if (!packet.isEmpty() && uchar(packet.at(0)) == 0xC0)
        return Kind::Voice;
    if (!hasData(packet) || !packet.contains('\0'))
        return Kind::Other;
    return packet.size() > 6 && packet.at(6) == '\r' ? Kind::Info : Kind::Chat;
}

QByteArray text(const QByteArray& packet)
{
    const qsizetype start = kind(packet) == Kind::Info ? 7 : 6;
    QByteArray body = packet.mid(start, packet.indexOf('\0', start) - start);
    while (body.endsWith('\r') || body.endsWith('\n'))
        body.chop(1);
    return body;
}

QByteArray chatPacket(const QByteArray& line)
{
    return "oNDATA" + line + "\r\n" + QByteArray(1, '\0');
}

bool isSdes(const QByteArray& packet)
{
    return hasPart(packet, rtcpSdes);
}

bool isBye(const QByteArray& packet)
{
    return hasPart(packet, rtcpBye);
}

QByteArray sdesCallsign(const QByteArray& packet)
{
    QByteArray name;
    walkRtcp(packet, [&](quint8 type, const uchar* begin, const uchar* end) {
        if (type != rtcpSdes)
            return true;
        if (end - begin < 8)
            return false;
        for (const uchar* item = begin + 8; end - item >= 2 && item[0] != sdesEnd; item += 2 + item[1]) {
            if (2 + item[1] > end - item)
                break;
            if (item[0] == sdesName) {
                name = QByteArray(reinterpret_cast<const char*>(item + 2), item[1]);
                break;
            }
        }
        return false;
    });
    return name.simplified().split(' ').value(0).toUpper();
}

} // namespace echolinkpacket

#pragma once

#include <QByteArray>
#include <QList>

#include <optional>

/// The EchoLink proxy protocol: one TCP link carries the client's directory connection and its UDP traffic with the
/// stations. Every message is a 9-byte header (type; IPv4 address of the far end, octets in network order; data
/// length, 32 bits little-endian) and the data.
struct ProxyMessage {
    enum Type : quint8 {
        TcpOpen = 1,
        TcpData = 2,
        TcpClose = 3,
        TcpStatus = 4,
        UdpData = 5,
        UdpControl = 6,
        System = 7,
    };
    /// What a SYSTEM message says before the proxy drops the link.
    enum SystemCode : quint8 { BadPassword = 1, AccessDenied = 2 };

    static constexpr int headerSize = 9;
    static constexpr int nonceSize = 8;
    static constexpr int digestSize = 16;
    /// Clients read the link into a 16 KB buffer and drop it on a larger block, so data goes in blocks of this size.
    static constexpr int maxBlockData = 8192;
    /// The largest block taken from a client; a UDP datagram fits with room to spare.
    static constexpr int maxReceivedData = 65536;
    static constexpr quint16 audioPort = 5198;
    static constexpr quint16 controlPort = 5199;
    static constexpr quint16 directoryPort = 5200;

    quint8 type = 0;
    /// The far end's IPv4 address in host order (0 for none).
    quint32 ip = 0;
    QByteArray data;

    /// The message as it goes on the link.
    QByteArray encode() const;

    /// data split into blocks of at most maxBlockData, each encoded with type and ip; one empty block for no data.
    static QByteArray encodeBlocks(Type type, quint32 ip, const QByteArray& data);
    /// TCP_STATUS: 0 for connected, else an errno.
    static QByteArray encodeStatus(quint32 status);

    /// Takes the first whole message off the front of buffer; nullopt while it is not all there. *tooLong is set when
    /// the header announces more than maxReceivedData.
    static std::optional<ProxyMessage> take(QByteArray& buffer, bool* tooLong);

    /// What the client sends after the nonce: MD5(upper-cased password, or PUBLIC when empty, then the nonce).
    static QByteArray digest(const QByteArray& password, const QByteArray& nonce);
};

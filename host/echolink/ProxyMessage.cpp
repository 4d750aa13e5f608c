#include "ProxyMessage.h"

#include <QCryptographicHash>
#include <QtEndian>

QByteArray ProxyMessage::encode() const
{
    QByteArray out(headerSize, Qt::Uninitialized);
    out[0] = char(type);
    qToBigEndian(ip, out.data() + 1);
    qToLittleEndian(quint32(data.size()), out.data() + 5);
    return out + data;
}

QByteArray ProxyMessage::encodeBlocks(Type type, quint32 ip, const QByteArray& data)
{
    if (data.isEmpty())
        return ProxyMessage{type, ip, {}}.encode();
    QByteArray out;
    for (qsizetype at = 0; at < data.size(); at += maxBlockData)
        out += ProxyMessage{type, ip, data.mid(at, maxBlockData)}.encode();
    return out;
}

QByteArray ProxyMessage::encodeStatus(quint32 status)
{
    QByteArray data(4, Qt::Uninitialized);
    qToLittleEndian(status, data.data());
    return ProxyMessage{TcpStatus, 0, data}.encode();
}

std::optional<ProxyMessage> ProxyMessage::take(QByteArray& buffer, bool* tooLong)
{
    *tooLong = false;
    if (buffer.size() < headerSize)
        return std::nullopt;
    const quint32 length = qFromLittleEndian<quint32>(buffer.constData() + 5);
    if (length > quint32(maxReceivedData)) {
        *tooLong = true;
        return std::nullopt;
    }
    if (buffer.size() < headerSize + qsizetype(length))
        return std::nullopt;
    ProxyMessage message;
    message.type = quint8(buffer.at(0));
    message.ip = qFromBigEndian<quint32>(buffer.constData() + 1);
    message.data = buffer.mid(headerSize, length);
    buffer.remove(0, headerSize + length);
    return message;
}

QByteArray ProxyMessage::digest(const QByteArray& password, const QByteArray& nonce)
{
    const QByteArray key = password.isEmpty() ? QByteArrayLiteral("PUBLIC") : password.toUpper();
    return QCryptographicHash::hash(key + nonce, QCryptographicHash::Md5);
}

#include "StandIns.h"

#include <QFile>
#include <QRegularExpression>

using namespace Qt::StringLiterals;

Js8StandIn::Js8StandIn()
{
    m_server.listen(QHostAddress::LocalHost, 0);
    QObject::connect(&m_server, &QTcpServer::newConnection, [this] {
        QTcpSocket* client = m_server.nextPendingConnection();
        m_clients.emplace_back(client);
        QObject::connect(client, &QTcpSocket::readyRead, [client] {
            if (client->readAll().contains("STATION.GET_CALLSIGN"))
                client->write("{\"params\":{},\"type\":\"STATION.CALLSIGN\",\"value\":\"EA4XYZ\"}\n");
        });
    });
}

QStringList Js8StandIn::arguments() const
{
    return {u"--api"_s, u"127.0.0.1:%1"_s.arg(m_server.serverPort())};
}

FldigiStandIn::FldigiStandIn()
{
    m_server.listen(QHostAddress::LocalHost, 0);
    QObject::connect(&m_server, &QTcpServer::newConnection, [this] {
        QTcpSocket* client = m_server.nextPendingConnection();
        m_clients.emplace_back(client);
        auto received = std::make_shared<QByteArray>();
        QObject::connect(client, &QTcpSocket::readyRead, [this, client, received] { answer(*client, *received); });
    });
}

QStringList FldigiStandIn::arguments() const
{
    return {u"--port"_s, QString::number(m_server.serverPort())};
}

void FldigiStandIn::answer(QTcpSocket& client, QByteArray& received)
{
    received += client.readAll();
    const qsizetype headerEnd = received.indexOf("\r\n\r\n");
    if (headerEnd < 0)
        return;
    static const QRegularExpression lengthHeader(
        u"Content-Length: *(\\d+)"_s, QRegularExpression::CaseInsensitiveOption);
    const qsizetype length = lengthHeader.match(QString::fromLatin1(received.left(headerEnd))).captured(1).toLongLong();
    if (received.size() < headerEnd + 4 + length)
        return;
    const QByteArray call = received.mid(headerEnd + 4, length);
    received.remove(0, headerEnd + 4 + length);

    static const QRegularExpression methodName(u"<methodName>([^<]*)</methodName>"_s);
    const QString method = methodName.match(QString::fromUtf8(call)).captured(1);
    QByteArray value = "<string></string>";
    if (method == u"fldigi.name"_s)
        value = "<string>fldigi</string>";
    else if (method == u"fldigi.version"_s)
        value = "<string>4.1.23</string>";
    else if (method == u"text.get_rx_length"_s)
        value = "<int>0</int>";
    else if (method == u"main.get_trx_state"_s)
        value = "<string>RX</string>";
    const QByteArray body = "<?xml version=\"1.0\"?><methodResponse><params><param><value>" + value
        + "</value></param></params>"
          "</methodResponse>";
    client.write("HTTP/1.1 200 OK\r\nContent-Type: text/xml\r\nContent-Length: " + QByteArray::number(body.size())
        + "\r\n\r\n" + body);
}

PurpleStandIn::PurpleStandIn()
    : m_bus(QDBusConnection::connectToBus(QDBusConnection::SessionBus, u"purple-stand-in"_s))
{
    m_bus.registerObject(u"/im/pidgin/purple/PurpleObject"_s, this, QDBusConnection::ExportAllSlots);
    m_bus.registerService(u"im.pidgin.purple.PurpleService"_s);
}

PurpleStandIn::~PurpleStandIn()
{
    m_bus.unregisterService(u"im.pidgin.purple.PurpleService"_s);
    m_bus.unregisterObject(u"/im/pidgin/purple/PurpleObject"_s);
    QDBusConnection::disconnectFromBus(u"purple-stand-in"_s);
}

EchoLinkStandIn::EchoLinkStandIn()
{
    QFile password(m_dir.filePath(u"password"_s));
    if (password.open(QIODevice::WriteOnly))
        password.write("Secret\n");
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    m_port = probe.serverPort();
}

QStringList EchoLinkStandIn::arguments() const
{
    return {u"--bind"_s, u"127.0.0.1"_s, u"--listen"_s, u"127.0.0.1:%1"_s.arg(m_port), u"--password-file"_s,
        m_dir.filePath(u"password"_s)};
}

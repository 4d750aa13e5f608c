#include "TcpJs8Client.h"

#include <QJsonDocument>

using namespace Qt::StringLiterals;

TcpJs8Client::TcpJs8Client(QObject* parent)
    : Js8Client(parent)
{
    connect(&m_socket, &QTcpSocket::readyRead, this, &TcpJs8Client::onReadyRead);
    connect(&m_socket, &QTcpSocket::disconnected, this, [this] { end(u"JS8Call closed its API connection"_s); });
    connect(&m_socket, &QTcpSocket::errorOccurred, this, [this](QAbstractSocket::SocketError) {
        if (m_socket.state() != QAbstractSocket::ConnectedState)
            end(u"JS8Call's API connection was lost: %1"_s.arg(m_socket.errorString()));
    });
}

bool TcpJs8Client::connectTo(const QString& host, quint16 port, int timeoutMs, QString* why)
{
    m_socket.connectToHost(host, port);
    if (m_socket.waitForConnected(timeoutMs))
        return true;
    *why = m_socket.errorString();
    m_socket.abort();
    return false;
}

void TcpJs8Client::requestCallsign()
{
    QString why;
    send(u"STATION.GET_CALLSIGN"_s, QString(), &why);
}

bool TcpJs8Client::sendMessage(const QString& text, QString* why)
{
    return send(u"TX.SEND_MESSAGE"_s, text, why);
}

bool TcpJs8Client::send(const QString& type, const QString& value, QString* why)
{
    if (m_ended || m_socket.state() != QAbstractSocket::ConnectedState) {
        *why = u"JS8Call's API is not connected"_s;
        return false;
    }
    const QJsonObject message{{u"type"_s, type}, {u"value"_s, value}, {u"params"_s, QJsonObject()}};
    const QByteArray line = QJsonDocument(message).toJson(QJsonDocument::Compact) + '\n';
    if (m_socket.write(line) != line.size()) {
        *why = u"could not write to JS8Call's API: %1"_s.arg(m_socket.errorString());
        return false;
    }
    return true;
}

void TcpJs8Client::onReadyRead()
{
    const QByteArray data = m_socket.readAll();
    qsizetype from = 0;
    while (from < data.size() && !m_ended) {
        const qsizetype end = data.indexOf('\n', from);
        const QByteArrayView part = QByteArrayView(data).sliced(from, (end < 0 ? data.size() : end) - from);
        from = end < 0 ? data.size() : end + 1;
        if (!m_skipping)
            m_line += part;
        if (m_line.size() > maxLineBytes) {
            m_line.clear();
            m_skipping = true;
        }
        if (end < 0)
            break;
        const QByteArray line = std::exchange(m_line, QByteArray());
        if (std::exchange(m_skipping, false))
            continue;
        const QJsonDocument document = QJsonDocument::fromJson(line);
        if (document.isObject())
            handle(document.object());
    }
}

void TcpJs8Client::handle(const QJsonObject& message)
{
    const QString type = message.value(u"type"_s).toString();
    const QString value = message.value(u"value"_s).toString();
    const QJsonObject params = message.value(u"params"_s).toObject();
    if (type == u"STATION.CALLSIGN"_s) {
        emit callsignReceived(value);
    } else if (type == u"RX.DIRECTED"_s) {
        emit directedReceived({params.value(u"FROM"_s).toString(), params.value(u"TO"_s).toString(),
            params.value(u"CMD"_s).toString(), params.value(u"TEXT"_s).toString(value)});
    } else if (type == u"CLOSE"_s) {
        end(u"JS8Call is quitting"_s);
    } else if (type == u"API.ERROR"_s) {
        end(u"JS8Call's API refused the connection: %1"_s.arg(value));
    }
}

void TcpJs8Client::end(const QString& why)
{
    if (std::exchange(m_ended, true))
        return;
    emit ended(why);
}

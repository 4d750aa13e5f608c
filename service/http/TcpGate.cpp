#include "http/TcpGate.h"

#include "http/HttpRequestParser.h"

namespace service {

TcpGate::TcpGate(const QHostAddress& address, quint16 port)
    : m_address(address)
    , m_port(port)
{ }

bool TcpGate::isOwnHost(const QByteArray& host) const
{
    QByteArray name = host;
    QByteArray port;
    if (name.startsWith('[')) {
        const qsizetype close = name.indexOf(']');
        if (close < 0)
            return false;
        port = name.mid(close + 1);
        name = name.mid(1, close - 1);
        if (!port.isEmpty() && !port.startsWith(':'))
            return false;
        port = port.mid(1);
    } else if (const qsizetype colon = name.lastIndexOf(':'); colon >= 0) {
        if (name.indexOf(':') != colon)
            return false; // an IPv6 address must be bracketed
        port = name.mid(colon + 1);
        name = name.left(colon);
    }
    if (!port.isEmpty()) {
        bool ok = false;
        if (port.toUInt(&ok) != m_port || !ok || port.startsWith('+'))
            return false;
    }
    if (name.compare("localhost", Qt::CaseInsensitive) == 0)
        return true;
    // An address, never another name: a name may have been made to point here (DNS rebinding).
    QHostAddress named;
    if (!named.setAddress(QString::fromLatin1(name)))
        return false;
    if (m_address == QHostAddress::AnyIPv4 || m_address == QHostAddress::AnyIPv6 || m_address == QHostAddress::Any)
        return true;
    return named.isEqual(m_address, QHostAddress::TolerantConversion);
}

QString TcpGate::refusal(const HttpRequestParser& request) const
{
    if (request.path().startsWith(kSettingsPrefix))
        return QStringLiteral("The service's settings are served only on its own socket, not over TCP");
    if (!request.header("origin").isEmpty())
        return QStringLiteral("Requests from web pages are refused (Origin)");
    const QByteArray site = request.header("sec-fetch-site");
    if (!site.isEmpty() && site != "none")
        return QStringLiteral("Requests from web pages are refused (Sec-Fetch-Site)");
    const QByteArray host = request.header("host").trimmed();
    if (!host.isEmpty() && !isOwnHost(host))
        return QStringLiteral("Host %1 is not this service's address").arg(QString::fromLatin1(host.left(100)));
    return {};
}

} // namespace service

#include "EchoLinkOptions.h"

#include "ProxyPassword.h"

#include <QCommandLineParser>
#include <QRegularExpression>

using namespace Qt::StringLiterals;

namespace {

// HOST:PORT (an IPv6 address in brackets); false when it is not that.
bool endpoint(const QString& text, QString* host, quint16* port)
{
    const QRegularExpressionMatch match = QRegularExpression(u"^\\[?([^\\]]+?)\\]?:(\\d{1,5})$"_s).match(text);
    const uint number = match.hasMatch() ? match.captured(2).toUInt() : 0;
    if (number == 0 || number > 65535)
        return false;
    *host = match.captured(1);
    *port = quint16(number);
    return true;
}

} // namespace

EchoLinkOptions::EchoLinkOptions()
    : m_listen(u"listen"_s, u"Where Qtel connects to the proxy (default 127.0.0.1:8100)."_s, u"ADDR:PORT"_s,
        u"127.0.0.1:8100"_s)
    , m_bind(u"bind"_s,
          u"Bind the EchoLink UDP ports 5198/5199 and the directory connection to this address (default: all)."_s,
          u"ADDR"_s)
    , m_passwordFile(u"password-file"_s,
          u"Read the proxy password from the first line of FILE (default $XDG_CONFIG_HOME/verbolt/"
          u"echolink-proxy.password, made on first start)."_s,
          u"FILE"_s)
    , m_encoding(u"chat-encoding"_s,
          u"Encoding of received chat that is not UTF-8, and of the chat sent (default windows-1252, which Qtel's "
          u"ISO8859-1 chat encoding shows alike but for the euro sign, dashes and curly quotes)."_s,
          u"NAME"_s, u"windows-1252"_s)
    , m_upstream(u"upstream"_s,
          u"Reach EchoLink through this EchoLink proxy (a public one, behind NAT) instead of binding the UDP ports."_s,
          u"HOST:PORT[,PASSWORD]"_s)
{ }

void EchoLinkOptions::addTo(QCommandLineParser& parser) const
{
    parser.addOptions({m_listen, m_bind, m_passwordFile, m_encoding, m_upstream});
}

bool EchoLinkOptions::read(const QCommandLineParser& parser, QString* why)
{
    listen = parser.value(m_listen);
    QString host;
    if (!endpoint(listen, &host, &listenPort) || (listenAddress = QHostAddress(host)).isNull()) {
        *why = u"--listen needs ADDR:PORT with an IP address, such as 127.0.0.1:8100"_s;
        return false;
    }
    bindAddress = QHostAddress(parser.isSet(m_bind) ? parser.value(m_bind) : u"0.0.0.0"_s);
    if (bindAddress.protocol() != QAbstractSocket::IPv4Protocol) {
        *why = u"--bind needs an IPv4 address of this machine, such as 192.168.1.20"_s;
        return false;
    }
    codec = ChatCodec(parser.value(m_encoding));
    if (!codec.isValid()) {
        *why = u"--chat-encoding: unknown encoding \"%1\" (try windows-1252, UTF-8, ISO-8859-2, windows-1251)"_s.arg(
            parser.value(m_encoding));
        return false;
    }
    passwordFile = parser.isSet(m_passwordFile) ? parser.value(m_passwordFile) : ProxyPassword::defaultFile();
    if (parser.isSet(m_upstream)) {
        const QString value = parser.value(m_upstream);
        upstreamPassword = value.section(u',', 1).toUtf8();
        if (!endpoint(value.section(u',', 0, 0), &upstreamHost, &upstreamPort)) {
            *why = u"--upstream needs HOST:PORT[,PASSWORD], such as proxy.example.org:8100,PUBLIC"_s;
            return false;
        }
    }
    return true;
}

#pragma once

#include <QHostAddress>
#include <QString>

class HttpRequestParser;

namespace service {

/// What a request over TCP must show to be served. Any program of any user can reach a TCP port, and so can a web
/// page the user has open (through DNS rebinding, or a no-cors fetch or an image it need not read back); only a
/// request that names this very address, or localhost, and that no browser page sent is served, and the
/// service's own settings are never served here (they are the user's, on the user's own socket).
class TcpGate
{
public:
    /// address and port: where the service listens.
    TcpGate(const QHostAddress& address, quint16 port);

    /// Why the request is refused (403); empty when it may be served. A Host header, when sent, must name the
    /// listening address or localhost, with the listening port if it gives one; an Origin header, or a
    /// Sec-Fetch-Site other than "none", marks a request a web page made.
    QString refusal(const HttpRequestParser& request) const;

    /// The prefix of the paths served only on the Unix socket.
    static constexpr const char* kSettingsPrefix = "/verbolt/";

private:
    bool isOwnHost(const QByteArray& host) const;

    QHostAddress m_address;
    quint16 m_port;
};

} // namespace service

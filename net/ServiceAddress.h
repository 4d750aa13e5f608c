#pragma once

#include <QString>

// As curl/curl.h declares it; the header stays free of libcurl for those who only parse a setting.
typedef void CURL;

namespace net {

/// The check, for one transfer through a service socket, that the peer is the user's own program: another user who
/// made the socket (in a runtime folder others can write to) would read every text and could answer in the service's
/// name. It must outlive the transfer.
struct PeerCheck {
    /// The socket libcurl made for the transfer, until it is checked; none when it reuses a connection, which was
    /// checked when it was made.
    int descriptor = -1;
    QString socketPath;
    /// Why the transfer was stopped before anything was sent; empty when it was not.
    QString refusal;
};

/// Where one of the program's own services listens: a Unix socket (by default the user's own, in the runtime
/// directory) or a TCP host with an optional port. Reached over HTTP, never through a proxy.
class ServiceAddress
{
public:
    /// The default: the socket defaultSocketPath().
    ServiceAddress();

    /// $XDG_RUNTIME_DIR/verbolt/service.sock; /run/user/UID/verbolt/service.sock where that variable is unset or
    /// not an absolute path.
    static QString defaultSocketPath();

    /// Reads a ServiceHost or StatsHost setting: an absolute path names a Unix socket, anything else is
    /// host[:port] (a name, an IPv4 address or a bracketed IPv6 one; port 80 when none is given). Empty or blank:
    /// the default. Something that can be neither gives an invalid address, with *why (when given) saying why.
    static ServiceAddress parse(const QString& setting, QString* why = nullptr);
    /// The Unix socket at path (which should be absolute).
    static ServiceAddress socket(const QString& path);
    /// TCP to hostAndPort as given ("name" or "name:port"); invalid when it is not that.
    static ServiceAddress tcp(const QString& hostAndPort);

    bool isValid() const { return m_valid; }
    bool isSocket() const { return !m_socketPath.isEmpty(); }
    /// The socket's path; empty for TCP.
    const QString& socketPath() const { return m_socketPath; }
    /// What the URLs name as their host: host[:port] as given, or "localhost" for a socket.
    QString authority() const;
    /// "http://" and the authority: the start of every URL to the service, before its path.
    QString baseUrl() const;
    /// As messages name it: the socket's path, or host[:port].
    QString toString() const;

    /// Aims a libcurl transfer at the address: through the socket when it is one (CURLOPT_UNIX_SOCKET_PATH), and
    /// in every case straight to it, whatever proxy the environment names. Through a socket, nothing is sent before
    /// check has found the peer to run as this user; otherwise the transfer ends (CURLE_ABORTED_BY_CALLBACK) with
    /// check->refusal saying why.
    void apply(CURL* curl, PeerCheck* check) const;

    /// Why the peer of the connected Unix socket descriptor is not to be sent anything: it runs as another user, or
    /// that cannot be told. Empty when it runs as this user.
    static QString peerProblem(int descriptor);

    bool operator==(const ServiceAddress& other) const = default;

private:
    QString m_socketPath;
    QString m_hostAndPort;
    bool m_valid = true;
};

} // namespace net

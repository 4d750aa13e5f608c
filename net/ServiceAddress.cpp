#include "ServiceAddress.h"

#include "XdgPaths.h"

#include <QDir>
#include <QFile>

#include <algorithm>
#include <utility>

#include <cerrno>
#include <cstring>
#include <curl/curl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace net {

namespace {

bool isHostChar(char16_t u)
{
    return (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9') || u == '.' || u == '-'
        || u == '_';
}

bool isIpv6Char(char16_t u)
{
    return (u >= 'a' && u <= 'f') || (u >= 'A' && u <= 'F') || (u >= '0' && u <= '9') || u == ':' || u == '.';
}

bool isPort(QStringView text)
{
    if (text.isEmpty() || text.size() > 5)
        return false;
    for (const QChar c : text) {
        if (!c.isDigit() || c.unicode() > '9')
            return false;
    }
    const int port = text.toInt();
    return port >= 1 && port <= 65535;
}

// A name or address with an optional port; nothing that would make a URL mean something else (user info, a path,
// a query).
bool isHostAndPort(const QString& text)
{
    QStringView host(text);
    QStringView port;
    if (host.startsWith(u'[')) {
        const qsizetype close = host.indexOf(u']');
        if (close < 2)
            return false;
        const QStringView inner = host.mid(1, close - 1);
        if (!std::all_of(inner.begin(), inner.end(), [](QChar c) { return isIpv6Char(c.unicode()); }))
            return false;
        const QStringView rest = host.mid(close + 1);
        if (rest.isEmpty())
            return true;
        return rest.startsWith(u':') && isPort(rest.mid(1));
    }
    if (const qsizetype colon = host.lastIndexOf(u':'); colon >= 0) {
        port = host.mid(colon + 1);
        host = host.left(colon);
        if (!isPort(port))
            return false;
    }
    return !host.isEmpty() && std::all_of(host.begin(), host.end(), [](QChar c) { return isHostChar(c.unicode()); });
}

// Called for every socket libcurl makes, before it connects.
int recordSocket(void* check, curl_socket_t descriptor, curlsocktype)
{
    static_cast<PeerCheck*>(check)->descriptor = descriptor;
    return CURL_SOCKOPT_OK;
}

// Called once connected, or on a connection reused, before the request is sent.
int checkPeer(void* data, char*, char*, int, int)
{
    auto* check = static_cast<PeerCheck*>(data);
    if (check->descriptor < 0)
        return CURL_PREREQFUNC_OK;
    check->refusal = ServiceAddress::peerProblem(std::exchange(check->descriptor, -1));
    return check->refusal.isEmpty() ? CURL_PREREQFUNC_OK : CURL_PREREQFUNC_ABORT;
}

} // namespace

ServiceAddress::ServiceAddress()
    : m_socketPath(defaultSocketPath())
{ }

QString ServiceAddress::defaultSocketPath()
{
    return XdgPaths::runtimeDir() + QStringLiteral("/verbolt/service.sock");
}

ServiceAddress ServiceAddress::parse(const QString& setting, QString* why)
{
    const QString text = setting.trimmed();
    if (text.isEmpty())
        return {};
    const auto invalidSocket = [why, &text](const QString& reason) {
        if (why)
            *why = reason;
        ServiceAddress address = socket(text);
        address.m_valid = false;
        return address;
    };
    if (text.startsWith(u'/')) {
        // sun_path holds the path and its terminating zero.
        if (QFile::encodeName(text).size() >= qsizetype(sizeof(sockaddr_un::sun_path)))
            return invalidSocket(QStringLiteral("the socket path %1 is longer than %2 bytes")
                                     .arg(text)
                                     .arg(sizeof(sockaddr_un::sun_path) - 1));
        return socket(text);
    }
    ServiceAddress address = tcp(text);
    if (!address.isValid() && why)
        *why = QStringLiteral("%1 is neither host[:port] nor the absolute path of a socket").arg(text);
    return address;
}

ServiceAddress ServiceAddress::socket(const QString& path)
{
    ServiceAddress address;
    address.m_socketPath = path;
    return address;
}

ServiceAddress ServiceAddress::tcp(const QString& hostAndPort)
{
    ServiceAddress address;
    address.m_socketPath.clear();
    address.m_hostAndPort = hostAndPort;
    address.m_valid = isHostAndPort(hostAndPort);
    return address;
}

QString ServiceAddress::authority() const
{
    return isSocket() ? QStringLiteral("localhost") : m_hostAndPort;
}

QString ServiceAddress::baseUrl() const
{
    return QStringLiteral("http://") + authority();
}

QString ServiceAddress::toString() const
{
    return isSocket() ? m_socketPath : m_hostAndPort;
}

void ServiceAddress::apply(CURL* curl, PeerCheck* check) const
{
    // The path is copied by libcurl.
    curl_easy_setopt(
        curl, CURLOPT_UNIX_SOCKET_PATH, isSocket() ? QFile::encodeName(m_socketPath).constData() : nullptr);
    // The service is on this machine (or where the user aimed it): a proxy would read every text, and could answer
    // in the service's name.
    curl_easy_setopt(curl, CURLOPT_PROXY, "");
    curl_easy_setopt(curl, CURLOPT_NOPROXY, "*");
    // The peer's credentials are what counts, not the socket file's owner or its folder's: they are the listener's,
    // taken when it began to listen, and cannot be swapped under a connection made.
    check->descriptor = -1;
    check->socketPath = m_socketPath;
    check->refusal.clear();
    const bool checked = isSocket();
    curl_easy_setopt(curl, CURLOPT_SOCKOPTFUNCTION, checked ? recordSocket : nullptr);
    curl_easy_setopt(curl, CURLOPT_SOCKOPTDATA, checked ? check : nullptr);
    curl_easy_setopt(curl, CURLOPT_PREREQFUNCTION, checked ? checkPeer : nullptr);
    curl_easy_setopt(curl, CURLOPT_PREREQDATA, checked ? check : nullptr);
}

QString ServiceAddress::peerProblem(int descriptor)
{
    ucred peer{};
    socklen_t size = sizeof peer;
    if (::getsockopt(descriptor, SOL_SOCKET, SO_PEERCRED, &peer, &size) != 0)
        return QStringLiteral("who answers there cannot be told (%1); nothing was sent")
            .arg(QString::fromLocal8Bit(std::strerror(errno)));
    if (peer.uid != ::geteuid())
        return QStringLiteral("another user (uid %1) answers there, not your own service; nothing was sent")
            .arg(peer.uid);
    return {};
}

} // namespace net

#include "http/ServiceServer.h"

#include "http/OwnSocket.h"
#include "http/ServiceConnection.h"

#include <QFile>
#include <QFileInfo>
#include <QTcpSocket>

#include <algorithm>

#include <cstdio>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace service {

ServiceServer::ServiceServer(Engine& engine, ServiceLimits limits, QObject* parent)
    : QObject(parent)
    , m_engine(engine)
    , m_limits(limits)
{
    // Few at a time (see acceptConnections), but a deep queue in the kernel: under a flood of connections a new
    // one must wait there rather than have its SYN dropped and be retried a second later.
    m_server.setMaxPendingConnections(16);
    m_server.setListenBacklogSize(1024);
    connect(&m_server, &QTcpServer::newConnection, this, &ServiceServer::acceptConnections);
}

namespace {

bool isStill(const QString& path, quint64 inode)
{
    struct stat info {
    };
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0 && S_ISSOCK(info.st_mode)
        && quint64(info.st_ino) == inode;
}

} // namespace

ServiceServer::~ServiceServer()
{
    m_server.close();
    // Not a socket a newer service has put there meanwhile.
    if (!m_madeSocket.isEmpty() && isStill(m_madeSocket, m_madeInode))
        ::unlink(QFile::encodeName(m_madeSocket).constData());
    // Let go last: the next service finds the path as this one left it.
    if (m_lock >= 0)
        ::close(m_lock);
}

bool ServiceServer::listen(const QHostAddress& address, quint16 port)
{
    m_error.clear();
    if (!m_server.listen(address, port))
        return false;
    m_gate.emplace(m_server.serverAddress(), m_server.serverPort());
    return true;
}

bool ServiceServer::listenOnUnixSocket(const QString& path)
{
    m_error.clear();
    const std::optional<OwnSocket::Listening> made = OwnSocket::listen(path, &m_error, &m_anotherServes);
    if (!made)
        return false;
    m_lock = made->lock;
    const int fd = made->socket;
    struct stat info {
    };
    if (::lstat(QFile::encodeName(path).constData(), &info) == 0)
        m_madeInode = quint64(info.st_ino);
    m_madeSocket = path;
    if (!listenOn(fd)) {
        ::close(fd);
        return false;
    }
    // Bound under a name of its own first, then moved into place.
    m_socketPath = path;
    // Watched through its folder: a socket unit started later binds the path anew, and this one is then unlinked.
    m_watcher = new QFileSystemWatcher({QFileInfo(path).absolutePath()}, this);
    connect(m_watcher, &QFileSystemWatcher::directoryChanged, this, [this] {
        if (m_watcher && !isStill(m_madeSocket, m_madeInode)) {
            m_watcher->deleteLater();
            m_watcher = nullptr;
            m_madeSocket.clear();
            emit socketLost();
        }
    });
    return true;
}

bool ServiceServer::lockSocket(int waitMs)
{
    m_error.clear();
    if (m_lock >= 0)
        return true;
    const std::optional<int> lock = OwnSocket::lock(m_socketPath, waitMs, &m_error, &m_anotherServes);
    if (!lock)
        return false;
    m_lock = *lock;
    return true;
}

bool ServiceServer::listenOn(qintptr socketDescriptor)
{
    m_error.clear();
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    if (::getsockname(int(socketDescriptor), reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        m_error = QStringLiteral("not a socket");
        return false;
    }
    if (!m_server.setSocketDescriptor(socketDescriptor))
        return false;
    if (address.ss_family == AF_UNIX) {
        m_socketPath = OwnSocket::boundPath(int(socketDescriptor));
        m_gate.reset();
    } else {
        m_gate.emplace(m_server.serverAddress(), m_server.serverPort());
    }
    return true;
}

QString ServiceServer::whereListening() const
{
    if (!m_gate)
        return m_socketPath.isEmpty() ? QStringLiteral("a Unix socket") : m_socketPath;
    const QHostAddress address = m_server.serverAddress();
    const QString host
        = address.protocol() == QAbstractSocket::IPv6Protocol ? u'[' + address.toString() + u']' : address.toString();
    return host + u':' + QString::number(m_server.serverPort());
}

void ServiceServer::log(const QString& line) const
{
    // One line per event, whatever a client put into its request.
    QString safe = line;
    for (QChar& c : safe) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            c = u'?';
    }
    if (m_log) {
        m_log(safe);
        return;
    }
    const QByteArray bytes = safe.toUtf8() + '\n';
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stderr);
    std::fflush(stderr);
}

void ServiceServer::acceptConnections()
{
    // Taken on the next turn of the event loop, at most a backlog's worth at a time: a flood of new connections
    // must not keep the loop from reading the requests of those just taken before they become the oldest.
    if (m_takeScheduled)
        return;
    m_takeScheduled = true;
    QMetaObject::invokeMethod(this, &ServiceServer::takeConnections, Qt::QueuedConnection);
}

void ServiceServer::takeConnections()
{
    m_takeScheduled = false;
    while (QTcpSocket* socket = m_server.nextPendingConnection()) {
        const bool full = qsizetype(m_open.size()) >= m_limits.maxConnections && !dropOldestWaiting();
        auto* connection = new ServiceConnection(socket, *this);
        const auto place = m_open.insert(m_open.end(), connection);
        connect(connection, &ServiceConnection::finished, this, [this, place] { m_open.erase(place); });
        if (full)
            connection->refuse(503, QStringLiteral("Too many connections; try again"));
    }
}

bool ServiceServer::dropOldestWaiting()
{
    const auto oldest
        = std::find_if(m_open.begin(), m_open.end(), [](const ServiceConnection* c) { return c->waitsOnClient(); });
    if (oldest == m_open.end())
        return false;
    (*oldest)->drop();
    // Said once in a while: a flood of held connections would otherwise flood the log.
    ++m_dropped;
    if (!m_sinceDropLog.isValid() || m_sinceDropLog.elapsed() >= 10000) {
        log(QStringLiteral("connection table full (%1): dropped %2 connection(s) waiting on their client")
                .arg(m_limits.maxConnections)
                .arg(m_dropped));
        m_dropped = 0;
        m_sinceDropLog.start();
    }
    return true;
}

} // namespace service

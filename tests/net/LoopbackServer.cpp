#include "LoopbackServer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <stdexcept>
#include <vector>

namespace {

int listenOnLoopback(quint16& port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&address), length) != 0 || ::listen(fd, 16) != 0
        || ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        throw std::runtime_error("cannot listen on 127.0.0.1");
    port = ntohs(address.sin_port);
    return fd;
}

// The socket file, and the credentials a peer sees, are those of the user listening.
class ActingAs
{
public:
    ActingAs(int uid, int gid)
        : m_acting(uid >= 0)
    {
        if (m_acting && (::setegid(gid_t(gid)) != 0 || ::seteuid(uid_t(uid)) != 0))
            throw std::runtime_error("cannot act as another user");
    }
    ~ActingAs()
    {
        if (m_acting && (::seteuid(m_uid) != 0 || ::setegid(m_gid) != 0))
            std::abort();
    }
    ActingAs(const ActingAs&) = delete;
    ActingAs& operator=(const ActingAs&) = delete;

private:
    bool m_acting;
    uid_t m_uid = ::geteuid();
    gid_t m_gid = ::getegid();
};

int listenOnUnixSocket(const QByteArray& path, int uid, int gid)
{
    const ActingAs as(uid, gid);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (fd < 0 || path.size() >= qsizetype(sizeof address.sun_path))
        throw std::runtime_error("cannot make a Unix socket");
    std::copy(path.begin(), path.end(), address.sun_path);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(fd, 16) != 0)
        throw std::runtime_error("cannot listen on " + path.toStdString());
    return fd;
}

qsizetype contentLength(const QByteArray& head)
{
    for (const QByteArray& line : head.split('\n')) {
        const qsizetype colon = line.indexOf(':');
        if (colon > 0 && line.left(colon).trimmed().toLower() == "content-length")
            return line.mid(colon + 1).trimmed().toLongLong();
    }
    return 0;
}

} // namespace

LoopbackServer::LoopbackServer(QByteArray reply, bool holdOpen)
    : m_reply(std::move(reply))
    , m_holdOpen(holdOpen)
{
    m_listener = listenOnLoopback(m_port);
    if (::pipe2(m_wake, O_CLOEXEC) != 0)
        throw std::runtime_error("cannot make a pipe");
    m_thread = std::thread([this] { serve(); });
}

LoopbackServer::LoopbackServer(QByteArray reply, const UnixSocket& socket)
    : m_reply(std::move(reply))
    , m_holdOpen(false)
{
    m_listener = listenOnUnixSocket(socket.path, socket.uid, socket.gid);
    if (::pipe2(m_wake, O_CLOEXEC) != 0)
        throw std::runtime_error("cannot make a pipe");
    m_thread = std::thread([this] { serve(); });
}

LoopbackServer::~LoopbackServer()
{
    const char stop = 's';
    [[maybe_unused]] const auto written = ::write(m_wake[1], &stop, 1);
    m_thread.join();
    ::close(m_listener);
    ::close(m_wake[0]);
    ::close(m_wake[1]);
}

QByteArray LoopbackServer::hostAndPort() const
{
    return "127.0.0.1:" + QByteArray::number(m_port);
}

QList<QByteArray> LoopbackServer::requests(qsizetype count, std::chrono::milliseconds deadline)
{
    std::unique_lock lock(m_mutex);
    m_changed.wait_for(lock, deadline, [&] { return m_requests.size() >= count; });
    return m_requests;
}

quint16 LoopbackServer::closedPort()
{
    quint16 port = 0;
    ::close(listenOnLoopback(port));
    return port;
}

// Waits for fd or the stop signal; false once stopped.
bool LoopbackServer::waitReadable(int fd)
{
    pollfd fds[2] = {{fd, POLLIN, 0}, {m_wake[0], POLLIN, 0}};
    while (::poll(fds, 2, -1) < 0) { }
    return !(fds[1].revents & POLLIN);
}

QByteArray LoopbackServer::readRequest(int connection)
{
    QByteArray request;
    qsizetype wanted = -1;
    char buffer[4096];
    while (wanted < 0 || request.size() < wanted) {
        if (!waitReadable(connection))
            break;
        const ssize_t n = ::recv(connection, buffer, sizeof buffer, 0);
        if (n <= 0)
            break;
        request.append(buffer, n);
        const qsizetype headEnd = request.indexOf("\r\n\r\n");
        if (wanted < 0 && headEnd >= 0)
            wanted = headEnd + 4 + contentLength(request.left(headEnd));
    }
    return request;
}

void LoopbackServer::serve()
{
    std::vector<int> held;
    while (waitReadable(m_listener)) {
        const int connection = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (connection < 0)
            continue;
        const QByteArray request = readRequest(connection);
        {
            const std::lock_guard lock(m_mutex);
            m_requests.append(request);
        }
        m_changed.notify_all();
        for (qsizetype sent = 0; sent < m_reply.size();) {
            const ssize_t n = ::send(connection, m_reply.constData() + sent, m_reply.size() - sent, MSG_NOSIGNAL);
            if (n <= 0)
                break;
            sent += n;
        }
        if (m_holdOpen) {
            held.push_back(connection);
        } else {
            ::shutdown(connection, SHUT_WR);
            ::close(connection);
        }
    }
    for (const int connection : held)
        ::close(connection);
}

QByteArray httpReply(const QByteArray& status, const QByteArray& body)
{
    return "HTTP/1.1 " + status + "\r\nContent-Length: " + QByteArray::number(body.size())
        + "\r\nConnection: close\r\n\r\n" + body;
}

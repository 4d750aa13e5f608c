#include "FakeFldigiServer.h"

#include <QRegularExpression>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>

FakeFldigiServer::FakeFldigiServer(Answer answer)
    : m_answer(std::move(answer))
{
    m_listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (m_listener < 0 || ::bind(m_listener, reinterpret_cast<sockaddr*>(&address), length) != 0
        || ::listen(m_listener, 16) != 0
        || ::getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &length) != 0
        || ::pipe2(m_wake, O_CLOEXEC) != 0)
        throw std::runtime_error("cannot listen on 127.0.0.1");
    m_port = ntohs(address.sin_port);
    m_thread = std::thread([this] { serve(); });
}

FakeFldigiServer::~FakeFldigiServer()
{
    const char stop = 's';
    [[maybe_unused]] const auto written = ::write(m_wake[1], &stop, 1);
    m_thread.join();
    ::close(m_listener);
    ::close(m_wake[0]);
    ::close(m_wake[1]);
}

QStringList FakeFldigiServer::calls() const
{
    const std::lock_guard lock(m_mutex);
    return m_calls;
}

QByteArray FakeFldigiServer::reply(const QByteArray& value)
{
    return "<?xml version=\"1.0\"?>\n<methodResponse><params><param><value>" + value
        + "</value></param></params></methodResponse>\n";
}

void FakeFldigiServer::serve()
{
    for (;;) {
        pollfd fds[2] = {{m_listener, POLLIN, 0}, {m_wake[0], POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0)
            continue;
        if (fds[1].revents & POLLIN)
            return;
        const int connection = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (connection < 0)
            continue;
        converse(connection);
        ::close(connection);
    }
}

// Answers the calls on one connection until the client closes it or the server stops.
void FakeFldigiServer::converse(int connection)
{
    static const QRegularExpression methodName(QStringLiteral("<methodName>([^<]*)</methodName>"));
    static const QRegularExpression param(QStringLiteral("<(?:i4|int|string|boolean)>([^<]*)</"));
    QByteArray buffer;
    for (;;) {
        const qsizetype headEnd = buffer.indexOf("\r\n\r\n");
        qsizetype wanted = -1;
        if (headEnd >= 0) {
            static const QRegularExpression lengthHeader(
                QStringLiteral("\r\ncontent-length:\\s*(\\d+)"), QRegularExpression::CaseInsensitiveOption);
            const QRegularExpressionMatch match = lengthHeader.match(QString::fromLatin1(buffer.left(headEnd)));
            wanted = headEnd + 4 + (match.hasMatch() ? match.captured(1).toLongLong() : 0);
        }
        if (wanted >= 0 && buffer.size() >= wanted) {
            const QString body = QString::fromUtf8(buffer.mid(headEnd + 4, wanted - headEnd - 4));
            buffer.remove(0, wanted);
            const QString method = methodName.match(body).captured(1);
            QStringList params;
            for (const QRegularExpressionMatch& match : param.globalMatch(body))
                params << match.captured(1);
            {
                const std::lock_guard lock(m_mutex);
                m_calls << method + u'(' + params.join(u',') + u')';
            }
            const QByteArray answer = m_answer(method, params);
            const QByteArray whole = "HTTP/1.1 200 OK\r\nContent-Type: text/xml\r\nContent-Length: "
                + QByteArray::number(answer.size()) + "\r\n\r\n" + answer;
            for (qsizetype sent = 0; sent < whole.size();) {
                const ssize_t n
                    = ::send(connection, whole.constData() + sent, size_t(whole.size() - sent), MSG_NOSIGNAL);
                if (n <= 0)
                    return;
                sent += n;
            }
            continue;
        }
        pollfd fds[2] = {{connection, POLLIN, 0}, {m_wake[0], POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0)
            continue;
        if (fds[1].revents & POLLIN)
            return;
        char chunk[4096];
        const ssize_t n = ::recv(connection, chunk, sizeof chunk, 0);
        if (n <= 0)
            return;
        buffer.append(chunk, n);
    }
}

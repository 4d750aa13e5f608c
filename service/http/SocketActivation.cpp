#include "http/SocketActivation.h"

#include <cstring>
#include <sys/socket.h>
#include <systemd/sd-daemon.h>

namespace service {

std::optional<qintptr> activatedSocket(QString* error)
{
    const auto refuse = [error](const QString& why) -> std::optional<qintptr> {
        if (error)
            *error = why;
        return std::nullopt;
    };
    if (error)
        error->clear();

    // Unsetting LISTEN_FDS keeps the engines' child processes from taking the socket for theirs.
    const int count = sd_listen_fds(1);
    if (count == 0)
        return std::nullopt;
    if (count < 0)
        return refuse(QStringLiteral("cannot take the sockets systemd handed over: %1")
                          .arg(QString::fromLocal8Bit(std::strerror(-count))));
    if (count > 1)
        return refuse(QStringLiteral("systemd handed over %1 sockets; one listening socket is served (one "
                                     "ListenStream= in the socket unit)")
                          .arg(count));

    const int fd = SD_LISTEN_FDS_START;
    const int isTcp = sd_is_socket_inet(fd, AF_UNSPEC, SOCK_STREAM, 1, 0);
    const int isUnix = isTcp > 0 ? 0 : sd_is_socket_unix(fd, SOCK_STREAM, 1, nullptr, 0);
    if (isTcp < 0 || isUnix < 0)
        return refuse(QStringLiteral("cannot examine the socket systemd handed over: %1")
                          .arg(QString::fromLocal8Bit(std::strerror(-(isTcp < 0 ? isTcp : isUnix)))));
    if (isTcp == 0 && isUnix == 0)
        return refuse(QStringLiteral("the socket systemd handed over is neither a listening Unix socket nor a TCP one "
                                     "(the socket unit wants ListenStream=%t/verbolt/service.sock, or ADDRESS:PORT)"));
    return fd;
}

} // namespace service

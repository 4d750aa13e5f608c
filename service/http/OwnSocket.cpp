#include "http/OwnSocket.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace service {

namespace {

QString lastError()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

bool toAddress(const QByteArray& path, sockaddr_un& address)
{
    address = {};
    address.sun_family = AF_UNIX;
    if (path.isEmpty() || path.size() >= qsizetype(sizeof address.sun_path))
        return false;
    std::memcpy(address.sun_path, path.constData(), size_t(path.size()));
    return true;
}

// Whether a service answers on the socket at path.
bool answers(const sockaddr_un& address)
{
    const int probe = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (probe < 0)
        return false;
    const bool connected = ::connect(probe, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    ::close(probe);
    return connected;
}

} // namespace

QString OwnSocket::folderProblem(const QString& folder, bool create)
{
    const QByteArray name = QFile::encodeName(folder);
    struct stat info {
    };
    if (::lstat(name.constData(), &info) != 0) {
        if (errno != ENOENT || !create)
            return QStringLiteral("cannot use the folder %1: %2").arg(folder, lastError());
        if (::mkdir(name.constData(), 0700) != 0 && errno != EEXIST)
            return QStringLiteral("cannot make the folder %1: %2").arg(folder, lastError());
        if (::lstat(name.constData(), &info) != 0)
            return QStringLiteral("cannot use the folder %1: %2").arg(folder, lastError());
    }
    if (!S_ISDIR(info.st_mode))
        return QStringLiteral("%1 is not a folder (a link to one is not taken)").arg(folder);
    if (info.st_uid != ::getuid())
        return QStringLiteral("the folder %1 belongs to another user (uid %2), who could read every text")
            .arg(folder)
            .arg(info.st_uid);
    if (info.st_mode & 077) {
        return QStringLiteral("the folder %1 is open to other users (mode %2); make it yours alone: chmod 700 %1")
            .arg(folder)
            .arg(info.st_mode & 07777, 4, 8, QLatin1Char('0'));
    }
    return {};
}

std::optional<int> OwnSocket::lock(const QString& socketPath, int waitMs, QString* error, bool* taken)
{
    const auto fail = [error](const QString& why) -> std::optional<int> {
        if (error)
            *error = why;
        return std::nullopt;
    };
    if (taken)
        *taken = false;
    const QString path = socketPath + QStringLiteral(".lock");
    const QByteArray name = QFile::encodeName(path);
    const int fd = ::open(name.constData(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);
    if (fd < 0)
        return fail(QStringLiteral("cannot make the lock %1: %2").arg(path, lastError()));
    struct stat info {
    };
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_uid != ::getuid()) {
        ::close(fd);
        return fail(QStringLiteral("%1 is not a lock file of this user's; it is left alone").arg(path));
    }
    const QDeadlineTimer deadline(waitMs);
    while (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int failure = errno;
        if (failure == EINTR)
            continue;
        if (failure != EWOULDBLOCK || deadline.hasExpired()) {
            const bool held = failure == EWOULDBLOCK;
            const QString why = QString::fromLocal8Bit(std::strerror(failure));
            char pid[32] = {};
            const ssize_t got = ::pread(fd, pid, sizeof pid - 1, 0);
            ::close(fd);
            if (!held)
                return fail(QStringLiteral("cannot take the lock %1: %2").arg(path, why));
            if (taken)
                *taken = true;
            QString holder = got > 0 ? QString::fromLatin1(pid).trimmed() : QString();
            bool number = false;
            holder.toUInt(&number);
            if (!number)
                holder.clear();
            return fail(
                QStringLiteral("another verbolt-service%1 already answers on %2 (it holds %3); this one ends")
                    .arg(holder.isEmpty() ? QString() : QStringLiteral(" (pid %1)").arg(holder), socketPath, path));
        }
        // Waited for only when started with a socket in hand: the one holding the lock is then about to end.
        ::usleep(20 * 1000);
    }
    // Which process holds it, for the message of one that finds it held.
    const QByteArray pid = QByteArray::number(::getpid()) + '\n';
    if (::ftruncate(fd, 0) != 0 || ::pwrite(fd, pid.constData(), size_t(pid.size()), 0) != pid.size()) {
        // Only the message of a later service lacks the number.
    }
    return fd;
}

std::optional<OwnSocket::Listening> OwnSocket::listen(const QString& path, QString* error, bool* taken)
{
    const auto fail = [error](const QString& why) -> std::optional<Listening> {
        if (error)
            *error = why;
        return std::nullopt;
    };
    if (taken)
        *taken = false;
    const QString folder = QFileInfo(path).absolutePath();
    if (const QString problem = folderProblem(folder, true); !problem.isEmpty())
        return fail(problem);
    // Two services started at once: the one that takes the lock looks at the path and replaces what is there;
    // the other ends.
    const std::optional<int> held = lock(path, 0, error, taken);
    if (!held)
        return std::nullopt;
    const auto failLocked = [&](const QString& why) {
        ::close(*held);
        return fail(why);
    };

    const QByteArray name = QFile::encodeName(path);
    sockaddr_un address{};
    if (!toAddress(name, address))
        return failLocked(QStringLiteral("the socket path %1 is too long").arg(path));
    struct stat info {
    };
    if (::lstat(name.constData(), &info) == 0) {
        if (!S_ISSOCK(info.st_mode))
            return failLocked(QStringLiteral("%1 exists and is not a socket; it is left alone").arg(path));
        if (answers(address)) {
            if (taken)
                *taken = true;
            return failLocked(QStringLiteral("another service already answers on %1; this one ends").arg(path));
        }
    }

    // Bound under a name of its own, then moved over whatever socket was left: the path never lacks a socket
    // that answers, and no one else can be in between in a folder only this user may enter.
    const QString temporary = path + QStringLiteral(".%1").arg(::getpid());
    const QByteArray temporaryName = QFile::encodeName(temporary);
    sockaddr_un bound{};
    if (!toAddress(temporaryName, bound))
        return failLocked(QStringLiteral("the socket path %1 is too long").arg(path));
    ::unlink(temporaryName.constData());
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0)
        return failLocked(QStringLiteral("cannot make a socket: %1").arg(lastError()));
    const auto closeAndFail = [&](const QString& why) {
        const int saved = errno;
        ::close(fd);
        ::unlink(temporaryName.constData());
        errno = saved;
        return failLocked(why);
    };
    const mode_t mask = ::umask(077);
    const bool isBound = ::bind(fd, reinterpret_cast<const sockaddr*>(&bound), sizeof bound) == 0;
    ::umask(mask);
    if (!isBound)
        return closeAndFail(QStringLiteral("cannot listen on %1: %2").arg(path, lastError()));
    if (::chmod(temporaryName.constData(), 0600) != 0 || ::listen(fd, 1024) != 0)
        return closeAndFail(QStringLiteral("cannot listen on %1: %2").arg(path, lastError()));
    if (::rename(temporaryName.constData(), name.constData()) != 0)
        return closeAndFail(QStringLiteral("cannot listen on %1: %2").arg(path, lastError()));
    return Listening{fd, *held};
}

QString OwnSocket::boundPath(int descriptor)
{
    sockaddr_un address{};
    socklen_t length = sizeof address;
    if (::getsockname(descriptor, reinterpret_cast<sockaddr*>(&address), &length) != 0 || address.sun_family != AF_UNIX
        || length <= socklen_t(offsetof(sockaddr_un, sun_path)) || address.sun_path[0] == '\0')
        return {};
    const size_t size = ::strnlen(address.sun_path, length - offsetof(sockaddr_un, sun_path));
    return QFile::decodeName(QByteArray(address.sun_path, qsizetype(size)));
}

} // namespace service

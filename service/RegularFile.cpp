#include "RegularFile.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace service {

namespace {

QString kindOf(mode_t mode)
{
    if (S_ISFIFO(mode))
        return QStringLiteral("a FIFO");
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return QStringLiteral("a device");
    if (S_ISDIR(mode))
        return QStringLiteral("a folder");
    if (S_ISSOCK(mode))
        return QStringLiteral("a socket");
    return QStringLiteral("something else");
}

QString sizeText(qint64 bytes)
{
    return bytes % (1024 * 1024) == 0 ? QStringLiteral("%1 MiB").arg(bytes / (1024 * 1024))
                                      : QStringLiteral("%1 KiB").arg(bytes / 1024);
}

} // namespace

RegularFile::~RegularFile()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

bool RegularFile::open(const QString& path, qint64 maxBytes, QString* error)
{
    const auto fail = [&](const QString& why) {
        if (error)
            *error = why;
        return false;
    };
    const auto failErrno = [&] {
        return fail(QStringLiteral("cannot read %1: %2").arg(path, QString::fromLocal8Bit(std::strerror(errno))));
    };
    const auto check = [&](const struct stat& info) {
        if (!S_ISREG(info.st_mode))
            return fail(QStringLiteral("%1 is not a regular file but %2").arg(path, kindOf(info.st_mode)));
        if (info.st_size > maxBytes)
            return fail(QStringLiteral("%1 is larger than %2").arg(path, sizeText(maxBytes)));
        return true;
    };
    m_path = path;
    m_maxBytes = maxBytes;
    const QByteArray name = QFile::encodeName(path);
    // Looked at before opening: opening some devices already does something.
    struct stat info {
    };
    if (::stat(name.constData(), &info) != 0)
        return failErrno();
    if (!check(info))
        return false;
    // Non-blocking: had a FIFO been put there since, opening it would wait for a writer.
    m_fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (m_fd < 0)
        return failErrno();
    if (::fstat(m_fd, &info) != 0)
        return failErrno();
    if (!check(info))
        return false;
    m_mode = info.st_mode & 07777;
    m_device = quint64(info.st_dev);
    m_inode = quint64(info.st_ino);
    return true;
}

bool RegularFile::readAll(QByteArray* bytes, QString* error) const
{
    if (m_fd < 0) {
        if (error)
            *error = QStringLiteral("cannot read %1: it is not open").arg(m_path);
        return false;
    }
    QByteArray read(m_maxBytes + 1, Qt::Uninitialized);
    qint64 total = 0;
    while (total < read.size()) {
        const ssize_t got = ::pread(m_fd, read.data() + total, size_t(read.size() - total), total);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            if (error)
                *error = QStringLiteral("cannot read %1: %2").arg(m_path, QString::fromLocal8Bit(std::strerror(errno)));
            return false;
        }
        if (got == 0)
            break;
        total += got;
    }
    if (total > m_maxBytes) {
        if (error)
            *error = QStringLiteral("%1 is larger than %2").arg(m_path, sizeText(m_maxBytes));
        return false;
    }
    read.truncate(total);
    *bytes = read;
    return true;
}

bool RegularFile::stillAt(const QString& path) const
{
    struct stat info {
    };
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 && quint64(info.st_dev) == m_device
        && quint64(info.st_ino) == m_inode;
}

} // namespace service

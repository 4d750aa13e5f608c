#include "FldigiSettingsFile.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using namespace Qt::StringLiterals;

QString lastError()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

} // namespace

std::optional<QByteArray> FldigiSettingsFile::read(const QString& path, QString* why)
{
    // Without O_NONBLOCK, opening a pipe would wait for a writer for good.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        *why = u"cannot open %1: %2"_s.arg(path, lastError());
        return std::nullopt;
    }
    QString problem;
    QByteArray bytes;
    struct stat info {
    };
    if (::fstat(fd, &info) != 0) {
        problem = u"cannot read %1: %2"_s.arg(path, lastError());
    } else if (!S_ISREG(info.st_mode)) {
        problem = u"%1 is not a regular file"_s.arg(path);
    } else if (info.st_size > maxBytes) {
        problem = u"%1 is larger than %2 bytes"_s.arg(path).arg(maxBytes);
    } else {
        // One byte more than allowed tells a file that grew since fstat.
        bytes.resize(maxBytes + 1);
        qsizetype size = 0;
        while (size < bytes.size()) {
            const ssize_t got = ::read(fd, bytes.data() + size, size_t(bytes.size() - size));
            if (got < 0 && errno == EINTR)
                continue;
            if (got < 0)
                problem = u"cannot read %1: %2"_s.arg(path, lastError());
            if (got <= 0)
                break;
            size += got;
        }
        if (problem.isEmpty() && size > maxBytes)
            problem = u"%1 is larger than %2 bytes"_s.arg(path).arg(maxBytes);
        bytes.truncate(size);
    }
    ::close(fd);
    if (!problem.isEmpty()) {
        *why = problem;
        return std::nullopt;
    }
    return bytes;
}

std::optional<QString> FldigiSettingsFile::callsign(const QString& folder, QString* why)
{
    const std::optional<QByteArray> bytes = read(QDir(folder).filePath(u"fldigi_def.xml"_s), why);
    if (!bytes)
        return std::nullopt;
    static const QRegularExpression myCall(u"<MYCALL>([^<]*)</MYCALL>"_s);
    return myCall.match(QString::fromUtf8(*bytes)).captured(1).trimmed();
}

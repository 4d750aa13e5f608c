#include "ProxyPassword.h"

#include "XdgPaths.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

// Qtel upper-cases the password before hashing it, so letters of one case and digits lose nothing; no 0/O or 1/I.
constexpr char kAlphabet[] = "ABCDEFGHJKLMNPQRSTUVWXYZ23456789";
constexpr int kMadeLength = 12;

QByteArray randomPassword()
{
    QByteArray password;
    for (int i = 0; i < kMadeLength; ++i)
        password += kAlphabet[QRandomGenerator::system()->bounded(int(sizeof kAlphabet) - 1)];
    return password;
}

} // namespace

QString ProxyPassword::defaultFile()
{
    return XdgPaths::configHome() + u"/verbolt/echolink-proxy.password"_s;
}

std::optional<QByteArray> ProxyPassword::load(const QString& file, bool* made, QString* why)
{
    *made = false;
    QFile in(file);
    if (!in.exists() && file == defaultFile()) {
        if (!QDir().mkpath(QFileInfo(file).absolutePath())) {
            *why = u"cannot make the folder of %1"_s.arg(file);
            return std::nullopt;
        }
        const QByteArray password = randomPassword();
        // Made with its final mode: the password is never readable by others, not even for a moment.
        const int fd = ::open(QFile::encodeName(file).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0) {
            *why = u"cannot make %1: %2"_s.arg(file, QString::fromLocal8Bit(std::strerror(errno)));
            return std::nullopt;
        }
        const QByteArray line = password + '\n';
        const bool written = ::write(fd, line.constData(), size_t(line.size())) == line.size();
        ::close(fd);
        if (!written) {
            *why = u"cannot write %1"_s.arg(file);
            return std::nullopt;
        }
        *made = true;
        return password;
    }
    if (!in.open(QIODevice::ReadOnly)) {
        *why = u"cannot read the password file %1: %2"_s.arg(file, in.errorString());
        return std::nullopt;
    }
    const QByteArray password = in.readLine(4096).trimmed();
    if (password.isEmpty()) {
        *why = u"the password file %1 is empty; write the proxy password on its first line"_s.arg(file);
        return std::nullopt;
    }
    return password;
}

#include "Transcript.h"

#include <QDir>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <utility>

namespace {

// The conversation is the owner's alone: the folder 0700, its files 0600.
constexpr mode_t kFolderMode = 0700;
constexpr mode_t kFileMode = 0600;

QString lastError()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

// Closes a descriptor however the function holding it returns.
class Descriptor
{
public:
    explicit Descriptor(int fd)
        : m_fd(fd)
    { }
    ~Descriptor()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return m_fd; }
    int release() { return std::exchange(m_fd, -1); }

private:
    int m_fd;
};

} // namespace

Transcript::Transcript(QString folder, std::function<QDate()> today)
    : m_folder(std::move(folder))
    , m_today(std::move(today))
{ }

QString Transcript::defaultFolder()
{
    QString state = qEnvironmentVariable("XDG_STATE_HOME");
    // XDG_STATE_HOME counts only as an absolute path; anything else is ignored.
    if (state.isEmpty() || QDir::isRelativePath(state))
        state = QDir::homePath() + QStringLiteral("/.local/state");
    return state + QStringLiteral("/verbolt");
}

bool Transcript::append(const QString& text)
{
    const QDate day = m_today();
    if (day != m_day) {
        m_file.close();
        m_day = day;
        m_path = m_folder + u'/' + day.toString(Qt::ISODate) + QStringLiteral(".txt");
        m_error.clear();
        if (!openPrivately())
            return false;
    }
    // Refused, or failed earlier today.
    if (!m_file.isOpen())
        return false;
    const QByteArray bytes = text.toUtf8();
    if (m_file.write(bytes) != bytes.size() || !m_file.flush()) {
        m_error = QStringLiteral("cannot write %1: %2").arg(m_path, m_file.errorString());
        m_file.close();
        return false;
    }
    return true;
}

bool Transcript::refuse(const QString& why)
{
    m_error = why;
    return false;
}

bool Transcript::openPrivately()
{
    const QString parent = QFileInfo(m_folder).absolutePath();
    const QByteArray folder = QFile::encodeName(m_folder);
    if (!QDir().mkpath(parent) || (::mkdir(folder.constData(), kFolderMode) != 0 && errno != EEXIST))
        return refuse(QStringLiteral("cannot create the folder %1: %2").arg(m_folder, lastError()));

    // Opened once and then used by descriptor: what is checked is what is written into, even if the path changes.
    const Descriptor dir(::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    struct stat info {
    };
    if (dir.get() < 0) {
        if (errno == ELOOP || errno == ENOTDIR)
            return refuse(QStringLiteral("%1 is not a folder (a link to one is not taken)").arg(m_folder));
        return refuse(QStringLiteral("cannot open the folder %1: %2").arg(m_folder, lastError()));
    }
    if (::fstat(dir.get(), &info) != 0)
        return refuse(QStringLiteral("cannot open the folder %1: %2").arg(m_folder, lastError()));
    // Someone else's folder is not made private for them: they could still read or swap what goes in.
    if (info.st_uid != ::geteuid())
        return refuse(QStringLiteral("the folder %1 belongs to another user (uid %2)").arg(m_folder).arg(info.st_uid));
    // Made private here even if an older run left it open to others.
    if (::fchmod(dir.get(), kFolderMode) != 0 || ::fstat(dir.get(), &info) != 0 || (info.st_mode & 077) != 0)
        return refuse(QStringLiteral("cannot make the folder %1 private").arg(m_folder));

    // Whoever could write into the folder before it was made private may have left a link, a pipe or a file of
    // theirs under today's name: a link is never followed, and opening never waits for a pipe's reader.
    const QByteArray name = QFile::encodeName(QFileInfo(m_path).fileName());
    Descriptor file(::openat(dir.get(), name.constData(),
        O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, kFileMode));
    if (file.get() < 0) {
        const int error = errno;
        if (::fstatat(dir.get(), name.constData(), &info, AT_SYMLINK_NOFOLLOW) == 0) {
            if (S_ISLNK(info.st_mode))
                return refuse(QStringLiteral("%1 is a link, which is not followed").arg(m_path));
            if (!S_ISREG(info.st_mode))
                return refuse(QStringLiteral("%1 is not a regular file").arg(m_path));
        }
        errno = error;
        return refuse(QStringLiteral("cannot open %1: %2").arg(m_path, lastError()));
    }
    if (::fstat(file.get(), &info) != 0)
        return refuse(QStringLiteral("cannot open %1: %2").arg(m_path, lastError()));
    if (!S_ISREG(info.st_mode))
        return refuse(QStringLiteral("%1 is not a regular file").arg(m_path));
    if (info.st_uid != ::geteuid())
        return refuse(QStringLiteral("%1 belongs to another user (uid %2)").arg(m_path).arg(info.st_uid));
    // Another name for the same file may be one the user reads or runs (a hard link to ~/.bashrc).
    if (info.st_nlink != 1)
        return refuse(QStringLiteral("%1 has other names (%2 links to it)").arg(m_path).arg(info.st_nlink));
    if (::fchmod(file.get(), kFileMode) != 0)
        return refuse(QStringLiteral("cannot make %1 private: %2").arg(m_path, lastError()));
    const int flags = ::fcntl(file.get(), F_GETFL);
    if (flags < 0 || ::fcntl(file.get(), F_SETFL, flags & ~O_NONBLOCK) != 0)
        return refuse(QStringLiteral("cannot open %1: %2").arg(m_path, lastError()));
    if (!m_file.open(file.get(), QIODevice::WriteOnly | QIODevice::Append, QFileDevice::AutoCloseHandle))
        return refuse(QStringLiteral("cannot open %1: %2").arg(m_path, m_file.errorString()));
    file.release();
    return true;
}

#include "ConsoleInput.h"

#include <QTimer>

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>
#include <utility>

ConsoleInput::ConsoleInput(int fd, QObject* parent)
    : QObject(parent)
    , m_fd(fd)
    , m_notifier(fd, QSocketNotifier::Read)
{
    connect(&m_notifier, &QSocketNotifier::activated, this, &ConsoleInput::readMore);
    if (::fcntl(fd, F_GETFD) == -1) {
        // Started with standard input closed: there is nothing to read, ever.
        m_notifier.setEnabled(false);
        QTimer::singleShot(0, this, &ConsoleInput::end);
    }
}

void ConsoleInput::readMore()
{
    // One read per wake-up: the notifier said data is there, so this does not block.
    char buffer[4096];
    const ssize_t count = ::read(m_fd, buffer, sizeof buffer);
    if (count < 0 && (errno == EINTR || errno == EAGAIN))
        return;
    if (count <= 0) {
        end();
        return;
    }
    m_pending.append(buffer, count);
    qsizetype newline;
    while ((newline = m_pending.indexOf('\n')) >= 0) {
        const QByteArray line = m_pending.left(newline);
        m_pending.remove(0, newline + 1);
        emit lineRead(QString::fromUtf8(line));
    }
}

void ConsoleInput::end()
{
    if (m_ended)
        return;
    m_ended = true;
    m_notifier.setEnabled(false);
    if (!m_pending.isEmpty())
        emit lineRead(QString::fromUtf8(std::exchange(m_pending, {})));
    emit ended();
}

#include "StopSignals.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {

volatile std::sig_atomic_t writeEnd = -1;

constexpr int stopSignals[] = {SIGINT, SIGTERM, SIGHUP};

} // namespace

StopSignals::StopSignals(QObject* parent)
    : QObject(parent)
{
    if (::pipe2(m_pipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    writeEnd = m_pipe[1];
    m_notifier = std::make_unique<QSocketNotifier>(m_pipe[0], QSocketNotifier::Read);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, &StopSignals::drain);

    struct sigaction action = {};
    action.sa_handler = &StopSignals::onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signal : stopSignals)
        ::sigaction(signal, &action, nullptr);
}

StopSignals::~StopSignals()
{
    for (const int signal : stopSignals)
        std::signal(signal, SIG_DFL);
    writeEnd = -1;
    m_notifier.reset();
    for (const int fd : m_pipe) {
        if (fd >= 0)
            ::close(fd);
    }
}

void StopSignals::onSignal(int)
{
    const int savedErrno = errno;
    const char byte = 1;
    if (writeEnd >= 0 && ::write(writeEnd, &byte, 1) < 0) {
        // The pipe is full: a stop is already waiting to be handled.
    }
    errno = savedErrno;
}

void StopSignals::drain()
{
    char buffer[64];
    while (::read(m_pipe[0], buffer, sizeof buffer) > 0) { }
    emit stopRequested();
}

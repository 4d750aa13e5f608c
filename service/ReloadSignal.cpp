#include "ReloadSignal.h"

#include <cerrno>
#include <csignal>
#include <cstdint>
#include <sys/eventfd.h>
#include <unistd.h>

namespace service {

namespace {

volatile std::sig_atomic_t writeEnd = -1;

} // namespace

ReloadSignal::ReloadSignal(QObject* parent)
    : QObject(parent)
{
    m_event = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (m_event < 0)
        return;
    writeEnd = m_event;
    m_notifier = std::make_unique<QSocketNotifier>(m_event, QSocketNotifier::Read);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, &ReloadSignal::drain);

    struct sigaction action = {};
    action.sa_handler = &ReloadSignal::onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGHUP, &action, nullptr);
}

ReloadSignal::~ReloadSignal()
{
    std::signal(SIGHUP, SIG_DFL);
    writeEnd = -1;
    m_notifier.reset();
    if (m_event >= 0)
        ::close(m_event);
}

void ReloadSignal::onSignal(int)
{
    const int savedErrno = errno;
    const std::uint64_t one = 1;
    if (writeEnd >= 0 && ::write(writeEnd, &one, sizeof one) < 0) {
        // The counter is at its top: a reload is already waiting.
    }
    errno = savedErrno;
}

void ReloadSignal::drain()
{
    // One read takes the whole count: any number of signals since make one reload.
    eventfd_t count = 0;
    ::eventfd_read(m_event, &count);
    emit reloadRequested();
}

} // namespace service

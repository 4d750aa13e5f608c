#include "FlowQueue.h"

#include <utility>

void FlowQueue::enqueue(Flow flow)
{
    if (m_stopped)
        return;
    m_waiting.push_back(std::move(flow));
    if (!m_running && !m_scheduled)
        startNext();
}

void FlowQueue::finish()
{
    Q_ASSERT_X(m_running || m_stopped, "FlowQueue::finish", "no flow is running");
    m_running = false;
    if (m_stopped)
        return;
    if (m_waiting.empty()) {
        setBusy(false);
        return;
    }
    if (!m_scheduled) {
        m_scheduled = true;
        QMetaObject::invokeMethod(this, &FlowQueue::startNext, Qt::QueuedConnection);
    }
}

void FlowQueue::stop()
{
    m_stopped = true;
    m_waiting.clear();
}

void FlowQueue::startNext()
{
    m_scheduled = false;
    if (m_stopped || m_running || m_waiting.empty())
        return;
    m_running = true;
    Flow flow = std::move(m_waiting.front());
    m_waiting.pop_front();
    setBusy(true);
    flow();
}

void FlowQueue::setBusy(bool busy)
{
    if (std::exchange(m_busy, busy) != busy)
        emit busyChanged(busy);
}

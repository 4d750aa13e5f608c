#include "FlowQueue.h"

#include <algorithm>
#include <utility>
#include <vector>

void FlowQueue::enqueue(Flow flow, Drop drop)
{
    push({std::move(flow), std::move(drop), false});
}

void FlowQueue::enqueueSheddable(Flow flow, Drop drop, qsizetype bound, const QString& why)
{
    if (m_stopped)
        return;
    ++m_sheddable;
    push({std::move(flow), std::move(drop), true});
    while (m_sheddable > bound) {
        // The oldest: typed lines between them are few, so this finds it near the front.
        const auto oldest
            = std::find_if(m_waiting.begin(), m_waiting.end(), [](const Entry& entry) { return entry.sheddable; });
        const Drop shed = std::move(oldest->drop);
        m_waiting.erase(oldest);
        --m_sheddable;
        if (shed)
            shed(why);
    }
}

void FlowQueue::push(Entry entry)
{
    if (m_stopped)
        return;
    m_waiting.push_back(std::move(entry));
    if (!m_running && !m_scheduled)
        startNext();
}

void FlowQueue::setRunningDrop(Drop drop)
{
    Q_ASSERT_X(m_running || m_stopped, "FlowQueue::setRunningDrop", "no flow is running");
    if (m_running)
        m_runningDrop = std::move(drop);
}

void FlowQueue::finish()
{
    Q_ASSERT_X(m_running || m_stopped, "FlowQueue::finish", "no flow is running");
    m_running = false;
    m_runningDrop = {};
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

void FlowQueue::stop(const QString& why)
{
    if (std::exchange(m_stopped, true))
        return;
    std::vector<Drop> drops;
    if (m_running)
        drops.push_back(std::exchange(m_runningDrop, {}));
    for (Entry& entry : m_waiting)
        drops.push_back(std::move(entry.drop));
    m_waiting.clear();
    m_sheddable = 0;
    for (const Drop& drop : drops) {
        if (drop)
            drop(why);
    }
}

void FlowQueue::startNext()
{
    m_scheduled = false;
    if (m_stopped || m_running || m_waiting.empty())
        return;
    m_running = true;
    Entry entry = std::move(m_waiting.front());
    m_waiting.pop_front();
    if (entry.sheddable)
        --m_sheddable;
    m_runningDrop = std::move(entry.drop);
    setBusy(true);
    entry.flow();
}

void FlowQueue::setBusy(bool busy)
{
    if (std::exchange(m_busy, busy) != busy)
        emit busyChanged(busy);
}

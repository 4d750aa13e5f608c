#include "apertium/PoolPolicy.h"

#include <algorithm>

namespace service {

qsizetype PoolPolicy::pickIdle(const QList<Slot>& pool)
{
    qsizetype idle = -1;
    for (qsizetype i = 0; i < pool.size(); ++i) {
        if (!pool[i].busy && (idle < 0 || (pool[i].running && !pool[idle].running)))
            idle = i;
    }
    return idle;
}

bool PoolPolicy::observe(qsizetype poolSize, bool textsWait, int busyEverywhere, qint64 now)
{
    const bool starved = textsWait && poolSize < m_options.limit && busyEverywhere < m_options.limit;
    if (!starved) {
        m_starvedSince = -1;
        return false;
    }
    if (m_starvedSince < 0)
        m_starvedSince = now;
    if (now - m_starvedSince < m_options.growAfterMs)
        return false;
    // The new pipeline takes a while to start; whether one more is needed shows after another wait.
    m_starvedSince = now;
    return true;
}

PoolPolicy::Retirement PoolPolicy::retire(const QList<Slot>& pool, qint64 now) const
{
    Retirement result;
    const auto dueAt = [&](qint64 due) {
        if (result.nextDue < 0 || due < result.nextDue)
            result.nextDue = due;
    };
    // Spares first, from the last: the pool keeps its first pipeline, warm or stopped.
    for (qsizetype i = pool.size() - 1; i >= 1; --i) {
        const Slot& slot = pool[i];
        const qint64 due = slot.lastUsed + m_options.spareIdleMs;
        if (slot.busy || due > now) {
            // A busy one is looked at again once it could have been idle long enough.
            dueAt(slot.busy ? now + m_options.spareIdleMs : due);
            continue;
        }
        result.spares.append(i);
    }
    // The pipelines left: all idle long enough, and the processes stop.
    qint64 last = 0;
    bool busy = false;
    bool running = false;
    for (qsizetype i = 0; i < pool.size(); ++i) {
        if (result.spares.contains(i))
            continue;
        last = std::max(last, pool[i].lastUsed);
        busy = busy || pool[i].busy;
        running = running || pool[i].running;
    }
    if (!running)
        return result;
    if (busy || last + m_options.modeIdleMs > now) {
        dueAt(busy ? now + m_options.modeIdleMs : last + m_options.modeIdleMs);
        return result;
    }
    result.stop = true;
    return result;
}

} // namespace service

#include "RateLimit.h"

#include <utility>

RateLimit::RateLimit(std::chrono::milliseconds interval, Clock clock)
    : m_interval(interval)
    , m_clock(std::move(clock))
{ }

bool RateLimit::take()
{
    const std::chrono::milliseconds now = m_clock();
    if (m_last && now - *m_last < m_interval)
        return false;
    m_last = now;
    return true;
}

#pragma once

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <functional>

/// Runs the event loop until done() holds or the limit passes; returns done()'s last answer. Between two looks at
/// done() the thread sleeps until an event comes, or for a short while at most.
inline bool waitUntil(const std::function<bool()>& done, std::chrono::milliseconds limit = std::chrono::seconds(10))
{
    using namespace std::chrono_literals;
    const QDeadlineTimer deadline(limit);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        // processEvents() with a time limit never waits for an event (it drops WaitForMoreEvents), so the loop would
        // spin and take a core from the programs a test waits on; a timer bounds the wait instead.
        QTimer wake;
        wake.setSingleShot(true);
        wake.start(std::clamp(std::chrono::milliseconds(deadline.remainingTime()), 1ms, 20ms));
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    }
    return true;
}

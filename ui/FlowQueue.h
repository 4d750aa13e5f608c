#pragma once

#include <QObject>

#include <deque>
#include <functional>

/// Runs the window's flows (a chat text arriving, a line typed) one at a time, in the order they were queued. A flow
/// that waits for the translation service or the chat host lets the event loop run, and whatever arrives meanwhile
/// queues behind it: no flow ever runs inside another, however many arrive at once.
class FlowQueue : public QObject
{
    Q_OBJECT
public:
    using Flow = std::function<void()>;

    using QObject::QObject;

    /// Starts flow at once when none is running, else after those queued before it. Every flow calls finish()
    /// exactly once, at its end, now or later.
    void enqueue(Flow flow);

    /// Ends the running flow; the next one starts from the event loop, on a fresh stack.
    void finish();

    /// Drops what waits; nothing starts any more (the program is ending).
    void stop();

    /// A flow is running, or the next one is about to start.
    bool isBusy() const { return m_busy; }
    bool isStopped() const { return m_stopped; }
    /// Flows waiting behind the running one.
    qsizetype waiting() const { return qsizetype(m_waiting.size()); }

signals:
    /// The first flow started after a rest, or the last one waiting ended.
    void busyChanged(bool busy);

private:
    void startNext();
    void setBusy(bool busy);

    std::deque<Flow> m_waiting;
    bool m_running = false;
    bool m_busy = false;
    bool m_scheduled = false;
    bool m_stopped = false;
};

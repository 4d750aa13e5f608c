#pragma once

#include <QObject>
#include <QString>

#include <deque>
#include <functional>

/// Runs the window's flows (a chat text arriving, a line typed) one at a time, in the order they were queued. A flow
/// that waits for the translation service or the chat host lets the event loop run, and whatever arrives meanwhile
/// queues behind it: no flow ever runs inside another, however many arrive at once. A flow that can no longer run to
/// its end (the program is ending, or too many wait) is dropped: its drop function says what became of it.
class FlowQueue : public QObject
{
    Q_OBJECT
public:
    using Flow = std::function<void()>;
    /// Leaves a dropped flow's trace; why says why it did not run to its end.
    using Drop = std::function<void(const QString& why)>;

    using QObject::QObject;

    /// Starts flow at once when none is running, else after those queued before it. Every flow calls finish()
    /// exactly once, at its end, now or later; drop runs instead of the rest of it when it is dropped.
    void enqueue(Flow flow, Drop drop = {});

    /// The same for a flow that may be shed: when more than bound of these wait, the oldest waiting one is dropped
    /// with why, so that what waits stays bounded however fast they come.
    void enqueueSheddable(Flow flow, Drop drop, qsizetype bound, const QString& why);

    /// Replaces the running flow's drop function, as the flow gets further.
    void setRunningDrop(Drop drop);

    /// Ends the running flow; the next one starts from the event loop, on a fresh stack.
    void finish();

    /// Drops the running flow and every waiting one, in their order, with why; nothing starts any more (the program
    /// is ending).
    void stop(const QString& why = {});

    /// A flow is running, or the next one is about to start.
    bool isBusy() const { return m_busy; }
    bool isStopped() const { return m_stopped; }
    /// Flows waiting behind the running one.
    qsizetype waiting() const { return qsizetype(m_waiting.size()); }

signals:
    /// The first flow started after a rest, or the last one waiting ended.
    void busyChanged(bool busy);

private:
    struct Entry {
        Flow flow;
        Drop drop;
        bool sheddable = false;
    };

    void push(Entry entry);
    void startNext();
    void setBusy(bool busy);

    std::deque<Entry> m_waiting;
    Drop m_runningDrop;
    qsizetype m_sheddable = 0;
    bool m_running = false;
    bool m_busy = false;
    bool m_scheduled = false;
    bool m_stopped = false;
};

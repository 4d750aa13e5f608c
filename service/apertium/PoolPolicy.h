#pragma once

#include <QList>
#include <QtGlobal>

namespace service {

/// When the pool of pipelines of one Apertium mode grows, which pipeline takes a text, and when pipelines retire.
///
/// A pipeline is some ten processes and tens of megabytes, and it runs one text at a time on one core. A second
/// one only pays when texts keep waiting for the mode while a core has nothing to do: a text that waits briefly
/// behind another costs less than starting a pipeline, and while every core is busy with pipelines anyway
/// (several modes at work) another one adds memory and no speed. So the pool grows by one when its texts have
/// waited without a break for growAfterMs while fewer than limit pipelines of all modes had a text.
///
/// Decisions only, over the state the engine hands in and the time it says it is, so that they can be checked
/// without processes or a clock.
class PoolPolicy
{
public:
    struct Options {
        /// Most pipelines in the pool, and the most pipelines of all modes with a text at once for it to grow.
        int limit = 2;
        /// How long texts must have waited for the pool, with a core free, before it grows.
        int growAfterMs = 100;
        /// A pipeline beyond the pool's first retires after this long without a text.
        int spareIdleMs = 20 * 1000;
        /// The pool's processes stop after this long without a text (started again on the next one).
        int modeIdleMs = 5 * 60 * 1000;
    };

    /// What the policy reads of one pipeline of the pool.
    struct Slot {
        /// Its processes run.
        bool running = false;
        /// It has a text.
        bool busy = false;
        /// When it last took or gave back a text.
        qint64 lastUsed = 0;
    };

    /// What retire() decides at one time.
    struct Retirement {
        /// Spares to remove, highest index first.
        QList<qsizetype> spares;
        /// Whether the processes of the pipelines left stop.
        bool stop = false;
        /// When to look again; -1 when nothing will be due without another text.
        qint64 nextDue = -1;
    };

    explicit PoolPolicy(Options options)
        : m_options(options)
    { }

    const Options& options() const { return m_options; }

    /// The pipeline that takes a text now: an idle one, a warm one before a stopped one, the first before later
    /// ones (so that spares fall idle and retire); -1 when every one has a text.
    static qsizetype pickIdle(const QList<Slot>& pool);

    /// Notes the pool's state at now: its size, whether texts wait for it, and how many pipelines of all modes
    /// have a text. Returns whether the pool grows by one now (the caller then starts a pipeline with the first
    /// waiting text); the next growth again needs a wait of growAfterMs.
    bool observe(qsizetype poolSize, bool textsWait, int busyEverywhere, qint64 now);
    /// When observe() would grow the pool if nothing changed; -1 when it would not.
    qint64 growthDue() const { return m_starvedSince < 0 ? -1 : m_starvedSince + m_options.growAfterMs; }

    /// What retires at now: the spares idle for spareIdleMs, then the processes of a pool idle for modeIdleMs.
    Retirement retire(const QList<Slot>& pool, qint64 now) const;

private:
    Options m_options;
    /// Since when texts have waited for the pool while a core was free, without a break; -1 when they do not.
    qint64 m_starvedSince = -1;
};

} // namespace service

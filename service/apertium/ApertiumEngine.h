#pragma once

#include "Engine.h"
#include "Interest.h"
#include "apertium/ApertiumPipeline.h"
#include "apertium/PoolPolicy.h"

#include <QElapsedTimer>
#include <QHash>
#include <QMap>
#include <QObject>
#include <QQueue>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <map>

namespace service {

/// Translates with the Apertium language pairs installed on this machine. The installed modes form a graph of
/// languages: a pair runs its own mode when there is one, else the shortest chain of modes (at most maxHops) whose
/// every hop exists in that direction, preferring chains through the pivots. Each mode runs as a warm null-flush
/// pipeline; its texts wait in the mode's queue for a pipeline that is free, and the mode starts more pipelines only
/// while texts keep waiting with a core free (see PoolPolicy). The pipelines beyond a mode's first are retired after
/// a short idle time, and a mode unused for some minutes is stopped (started again on its next text). A source of
/// "auto" picks the language whose analyser leaves the fewest unknown words. Unknown words pass unmarked.
class ApertiumEngine : public QObject, public Engine
{
    Q_OBJECT
public:
    struct Options {
        QString modesDirectory = QStringLiteral("/usr/share/apertium/modes");
        /// Languages a chain goes through by preference when several equally short ones exist (ISO 639-3), best
        /// first. Debian's Romance pairs are built around Spanish, the others around English.
        QStringList pivots = {QStringLiteral("spa"), QStringLiteral("eng")};
        /// Longest chain of modes for one translation.
        int maxHops = 3;
        /// Most pipelines one mode runs at once, and the most pipelines of all modes with a text at once for a pool
        /// to grow; 0 for the number of cores the process may use when it starts.
        int poolSize = 0;
        /// A mode starts one more pipeline once its texts have waited this long, without a break, with a core free.
        int growAfterMs = 100;
        int timeoutMs = 15000;
        /// A pipeline beyond a mode's first is retired after this long without a text.
        int spareIdleMs = 20 * 1000;
        /// A mode (and an analyser) without a text for this long is stopped.
        int modeIdleMs = 5 * 60 * 1000;
    };

    explicit ApertiumEngine(Options options, QObject* parent = nullptr);
    ~ApertiumEngine() override;

    void translate(const QString& text, const QString& source, const QString& target, Callback done) override;
    QStringList pairs() const override;
    /// Read from the routes themselves, without listing every pair.
    PairSupport supports(const QString& source, const QString& target) const override;
    /// Kept words pass through every mode as superblanks.
    KeepForm keepForm() const override { return KeepForm::PassThrough; }

    /// The ISO 639-3 code Apertium uses for a client code ("en" -> "eng", "no" -> "nob"); empty when unknown.
    static QString apertiumCode(const QString& clientCode);
    /// The code the client uses for an Apertium language ("nob" -> "no").
    static QString clientCode(const QString& apertiumCode);

    /// The modes a translation from source to target runs through (Apertium codes, "eng-spa"); empty when none.
    QStringList route(const QString& source, const QString& target) const;
    /// The mode file that serves a mode of route().
    QString modeFile(const QString& mode) const { return m_modeFiles.value(mode); }

    /// Starts the pipelines of a route now instead of on its first text.
    bool preload(const QString& source, const QString& target);

    /// Picks the source language for text among those that can reach target; empty when none can.
    void detectSource(const QString& text, const QString& target, std::function<void(const QString&)> done);

    /// Pipelines running or ready for a mode.
    qsizetype poolSize(const QString& mode) const;
    /// Pipelines of a mode whose processes run now.
    qsizetype runningPipelines(const QString& mode) const;
    /// Processes of every pipeline and analyser running now.
    qsizetype runningProcesses() const;

private:
    /// A text waiting for a pipeline of its mode.
    struct Waiting {
        QByteArray input;
        ApertiumPipeline::Callback done;
        Interest interest;
    };
    /// The pipelines of one mode and the texts that wait for them.
    struct Pool {
        QList<ApertiumPipeline*> pipelines;
        QQueue<Waiting> waiting;
        PoolPolicy policy;
    };

    /// The pool of a mode, made with one (stopped) pipeline on first use; nullptr when its mode file cannot be read.
    Pool* pool(const QString& mode);
    ApertiumPipeline* analyser(const QString& mode);
    /// Runs input through a pipeline of mode as soon as one is free.
    void submit(const QString& mode, const QByteArray& input, ApertiumPipeline::Callback done);
    /// Hands waiting texts to free pipelines, and grows the pools the policy says should grow.
    void dispatch();
    void hand(ApertiumPipeline* p, Waiting job);
    /// Pipelines of every mode, analysers included, that have a text.
    int busyPipelines() const;
    /// What the policy reads of a pool's pipelines.
    QList<PoolPolicy::Slot> stateOf(const Pool& pool) const;
    void runRoute(const QString& text, QStringList modes, Callback done);
    /// Names a route in the log the first time a text takes it.
    void logRoute(const QStringList& modes);
    QStringList findRoute(const QString& source, const QString& target) const;
    /// Notes that a pipeline has a text now (or just finished one), for its idle time.
    void used(const ApertiumPipeline* p);
    /// Retires spare pipelines and stops modes idle long enough; runs again when the next one is due.
    void sweep();

    Options m_options;
    int m_poolLimit;
    /// "eng-spa" -> mode file
    QMap<QString, QString> m_modeFiles;
    /// "eng" -> the languages it has a mode into
    QMap<QString, QStringList> m_targets;
    mutable QHash<QString, QStringList> m_routes;
    /// Pairs whose route has been named in the log.
    QSet<QString> m_logged;
    std::map<QString, Pool> m_pools;
    QMap<QString, ApertiumPipeline*> m_analysers;
    QHash<const ApertiumPipeline*, qint64> m_lastUsed;
    QElapsedTimer m_clock;
    QTimer m_sweep;
    /// Runs dispatch() when a waiting pool is due to grow.
    QTimer m_growth;
};

} // namespace service

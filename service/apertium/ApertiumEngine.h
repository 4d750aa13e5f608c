#pragma once

#include "Engine.h"

#include <QElapsedTimer>
#include <QHash>
#include <QMap>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QTimer>

class ApertiumPipeline;

namespace service {

/// Translates with the Apertium language pairs installed on this machine. The installed modes form a graph of
/// languages: a pair runs its own mode when there is one, else the shortest chain of modes (at most maxHops) whose
/// every hop exists in that direction, preferring chains through the pivots. Each mode runs as warm null-flush
/// pipelines, a small pool of them when several texts wait at once; the pipelines beyond a mode's first are retired
/// after a short idle time, and a mode unused for some minutes is stopped (started again on its next text). A source
/// of "auto" picks the language whose analyser leaves the fewest unknown words. Unknown words pass unmarked.
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
        /// Most pipelines one mode runs at once; 0 for the number of cores the process may use when it starts.
        int poolSize = 0;
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
    qsizetype poolSize(const QString& mode) const { return m_pools.value(mode).size(); }
    /// Pipelines of a mode whose processes run now.
    qsizetype runningPipelines(const QString& mode) const;
    /// Processes of every pipeline and analyser running now.
    qsizetype runningProcesses() const;

private:
    ApertiumPipeline* pipeline(const QString& mode);
    ApertiumPipeline* analyser(const QString& mode);
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
    QMap<QString, QList<ApertiumPipeline*>> m_pools;
    QMap<QString, ApertiumPipeline*> m_analysers;
    QHash<const ApertiumPipeline*, qint64> m_lastUsed;
    QElapsedTimer m_clock;
    QTimer m_sweep;
};

} // namespace service

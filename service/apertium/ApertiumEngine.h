#pragma once

#include "Engine.h"

#include <QHash>
#include <QMap>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>

class ApertiumPipeline;

namespace service {

/// Translates with the Apertium language pairs installed on this machine. The installed modes form a graph of
/// languages: a pair runs its own mode when there is one, else the shortest chain of modes (at most maxHops) whose
/// every hop exists in that direction, preferring chains through the pivots. Each mode runs as warm null-flush
/// pipelines, a small pool of them when several texts wait at once. A source of "auto" picks the language whose
/// analyser leaves the fewest unknown words. Unknown words pass unmarked.
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

private:
    ApertiumPipeline* pipeline(const QString& mode);
    ApertiumPipeline* analyser(const QString& mode);
    void runRoute(const QString& text, QStringList modes, Callback done);
    /// Names a route in the log the first time a text takes it.
    void logRoute(const QStringList& modes);
    QStringList findRoute(const QString& source, const QString& target) const;

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
};

} // namespace service

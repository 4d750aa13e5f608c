#pragma once

#include "Engine.h"
#include "TranslationCache.h"

#include <QElapsedTimer>
#include <QList>
#include <QObject>

#include <functional>
#include <memory>

namespace service {

/// Puts several engines behind one: for each text, the first engine in order that serves the pair is asked, and
/// when it fails (no answer in its time limit, bad key, quota, breakdown) the next one. A refusal names every
/// engine tried and why. Recent translations are answered from a cache. An engine that refused for quota is
/// rested for the time it asked, and named with that reason meanwhile.
class EngineRouter : public QObject, public Engine
{
    Q_OBJECT
public:
    struct Route {
        QString id; ///< "apertium", "deepl", ...: the cache key and log name
        QString name; ///< in messages: "Apertium", "DeepL"
        Engine* engine = nullptr;
        int timeoutMs = 10000;
    };
    using LogSink = std::function<void(const QString& line)>;
    using Clock = std::function<qint64()>;

    /// configHint: the configuration file named when no engine serves a pair.
    EngineRouter(QList<Route> routes, qsizetype cacheBytes, QString configHint, QObject* parent = nullptr);
    ~EngineRouter() override;

    void translate(const QString& text, const QString& source, const QString& target, Callback done) override;
    /// Every pair some engine serves.
    QStringList pairs() const override;
    PairSupport supports(const QString& source, const QString& target) const override;
    /// Asks every engine for its languages; done once all have answered or failed.
    void queryLanguages(std::function<void()> done) override;

    const QList<Route>& routes() const { return m_routes; }
    const TranslationCache& cache() const { return m_cache; }
    void setLogSink(LogSink sink) { m_log = std::move(sink); }
    /// Milliseconds on a monotonic clock; for resting engines.
    void setClock(Clock clock) { m_clock = std::move(clock); }
    /// Longest time one text may spend going from engine to engine; each engine's own limit is cut to what is left.
    void setBudget(int ms) { m_budgetMs = ms; }
    /// Most texts in translation at once; one more is refused at once.
    void setMaxInFlight(qsizetype count) { m_maxInFlight = count; }
    qsizetype inFlight() const { return m_inFlight; }

private:
    struct Attempt;
    struct Rest {
        qint64 until = 0;
        QString reason;
    };
    void next(const std::shared_ptr<Attempt>& attempt);
    void finish(const std::shared_ptr<Attempt>& attempt, const TranslationResult& result);
    void abandon(const std::shared_ptr<Attempt>& attempt);
    void failed(const std::shared_ptr<Attempt>& attempt, qsizetype index, const TranslationResult& result);
    TranslationResult refusal(const Attempt& attempt) const;
    void log(const QString& line) const;

    QList<Route> m_routes;
    // The window gives up on a service silent for 20 s; a refusal must reach it before that.
    int m_budgetMs = 15000;
    QList<Rest> m_rests;
    TranslationCache m_cache;
    QString m_configHint;
    LogSink m_log;
    Clock m_clock;
    // More than the connections the HTTP layer keeps open: reached only by callers of their own.
    qsizetype m_maxInFlight = 1024;
    qsizetype m_inFlight = 0;
    qint64 m_abandoned = 0;
    QElapsedTimer m_sinceAbandonLog;
};

} // namespace service

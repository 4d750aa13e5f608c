#include "EngineRouter.h"

#include "Interest.h"
#include "LanguageNames.h"

#include <QDeadlineTimer>
#include <QPointer>
#include <QSet>
#include <QTimer>

#include <chrono>

namespace service {

namespace {

QString seconds(qint64 ms)
{
    return QString::number(ms / 1000.0, 'g', 3) + QStringLiteral(" s");
}

QString wholeSeconds(qint64 ms)
{
    return QStringLiteral("%1 s").arg((ms + 999) / 1000);
}

} // namespace

struct EngineRouter::Attempt {
    Interest client;
    QString text;
    QString source;
    QString target;
    Callback done;
    QDeadlineTimer budget;
    qsizetype index = 0;
    QStringList reasons;
    QList<TranslationResult::Status> statuses;
    bool finished = false;
    bool insideTranslate = false;
    bool counted = false;
};

EngineRouter::EngineRouter(QList<Route> routes, qsizetype cacheBytes, QString configHint, QObject* parent)
    : QObject(parent)
    , m_routes(std::move(routes))
    , m_rests(m_routes.size())
    , m_cache(cacheBytes)
    , m_configHint(std::move(configHint))
    , m_clock([] {
        return std::chrono::duration_cast<std::chrono::milliseconds>(
            std::chrono::steady_clock::now().time_since_epoch())
            .count();
    })
{ }

EngineRouter::~EngineRouter() = default;

void EngineRouter::log(const QString& line) const
{
    if (m_log)
        m_log(line);
}

void EngineRouter::translate(const QString& text, const QString& source, const QString& target, Callback done)
{
    auto attempt = std::make_shared<Attempt>();
    attempt->client = Interest::current();
    attempt->text = text;
    attempt->source = source;
    attempt->target = target;
    attempt->done = std::move(done);
    attempt->budget = QDeadlineTimer(m_budgetMs);
    attempt->insideTranslate = true;
    if (m_inFlight >= m_maxInFlight) {
        finish(attempt,
            TranslationResult::refused(TranslationResult::Status::Failed,
                QStringLiteral("too many texts in translation at once (%1); try again").arg(m_maxInFlight)));
    } else {
        ++m_inFlight;
        attempt->counted = true;
        next(attempt);
    }
    attempt->insideTranslate = false;
}

void EngineRouter::next(const std::shared_ptr<Attempt>& attempt)
{
    while (attempt->index < m_routes.size()) {
        const qsizetype i = attempt->index++;
        const Route& route = m_routes[i];
        if (route.engine->supports(attempt->source, attempt->target) == PairSupport::No)
            continue;
        const qint64 now = m_clock();
        if (m_rests[i].until > now) {
            attempt->reasons.append(QStringLiteral("%1; resting, asked again in %2")
                                        .arg(m_rests[i].reason, wholeSeconds(m_rests[i].until - now)));
            attempt->statuses.append(TranslationResult::Status::Failed);
            continue;
        }
        if (auto cached = m_cache.find(route.id, attempt->source, attempt->target, attempt->text)) {
            cached->engine = route.id;
            return finish(attempt, *cached);
        }
        const int left = int(attempt->budget.remainingTime());
        if (left <= 0) {
            attempt->reasons.append(
                QStringLiteral("%1: not asked, no time left within %2").arg(route.name, seconds(m_budgetMs)));
            attempt->statuses.append(TranslationResult::Status::Failed);
            continue;
        }
        const int limit = std::min(route.timeoutMs, left);
        if (!attempt->client.wanted())
            return abandon(attempt);

        // The engine's answer and the time limit race; whichever comes first counts.
        auto settled = std::make_shared<bool>(false);
        auto* timer = new QTimer(this);
        timer->setSingleShot(true);
        // Never early: an engine whose limit is what is left of the budget must leave nothing for the next one.
        timer->setTimerType(Qt::PreciseTimer);
        connect(timer, &QTimer::timeout, this, [this, attempt, i, settled, timer, limit] {
            if (*settled)
                return;
            *settled = true;
            timer->deleteLater();
            failed(attempt, i,
                TranslationResult::refused(TranslationResult::Status::Failed,
                    QStringLiteral("%1: no answer within %2").arg(m_routes[i].name, seconds(limit))));
        });
        timer->start(limit);
        QPointer<EngineRouter> self(this);
        // The engine drops the text from its queue, or stops reading its answer, once this gives up on it.
        const Interest::Scope scope{
            Interest([client = attempt->client, settled] { return !*settled && client.wanted(); })};
        route.engine->translate(attempt->text, attempt->source, attempt->target,
            [self, attempt, i, settled, timer](const TranslationResult& result) {
                if (!self || *settled)
                    return;
                *settled = true;
                timer->stop();
                timer->deleteLater();
                if (result.status != TranslationResult::Status::Ok)
                    return self->failed(attempt, i, result);
                const Route& route = self->m_routes[i];
                self->m_cache.insert(route.id, attempt->source, attempt->target, attempt->text, result);
                if (!attempt->reasons.isEmpty())
                    self->log(QStringLiteral("%1|%2 answered by %3").arg(attempt->source, attempt->target, route.id));
                TranslationResult answered = result;
                answered.engine = route.id;
                self->finish(attempt, answered);
            });
        return;
    }
    finish(attempt, refusal(*attempt));
}

void EngineRouter::failed(const std::shared_ptr<Attempt>& attempt, qsizetype index, const TranslationResult& result)
{
    const Route& route = m_routes[index];
    QString reason = result.error.isEmpty() ? QStringLiteral("failed") : result.error;
    if (!reason.startsWith(route.name))
        reason = route.name + QStringLiteral(": ") + reason;
    if (result.restMs > 0)
        m_rests[index] = {m_clock() + result.restMs, reason};
    attempt->reasons.append(reason);
    attempt->statuses.append(result.status);
    log(QStringLiteral("%1|%2 not translated by %3: %4").arg(attempt->source, attempt->target, route.id, reason));
    next(attempt);
}

void EngineRouter::abandon(const std::shared_ptr<Attempt>& attempt)
{
    // Said once in a while: a flood of abandoned requests would otherwise flood the log.
    ++m_abandoned;
    if (!m_sinceAbandonLog.isValid() || m_sinceAbandonLog.elapsed() >= 10000) {
        log(QStringLiteral("dropped %1 text(s) whose client had gone, before an engine was asked").arg(m_abandoned));
        m_abandoned = 0;
        m_sinceAbandonLog.start();
    }
    finish(
        attempt, TranslationResult::refused(TranslationResult::Status::Failed, QStringLiteral("the client has gone")));
}

void EngineRouter::finish(const std::shared_ptr<Attempt>& attempt, const TranslationResult& result)
{
    if (attempt->finished)
        return;
    attempt->finished = true;
    if (attempt->counted)
        --m_inFlight;
    // A cache hit or a refusal found inside translate() is answered from the event loop, as engines answer.
    if (!attempt->insideTranslate)
        return attempt->done(result);
    QMetaObject::invokeMethod(
        this, [attempt, result] { attempt->done(result); }, Qt::QueuedConnection);
}

TranslationResult EngineRouter::refusal(const Attempt& attempt) const
{
    using Status = TranslationResult::Status;
    if (attempt.reasons.isEmpty()) {
        const QString to = LanguageNames::englishName(attempt.target);
        const QString pair = LanguageNames::isAuto(attempt.source)
            ? QStringLiteral("into %1").arg(to)
            : QStringLiteral("%1 to %2").arg(LanguageNames::englishName(attempt.source), to);
        return TranslationResult::refused(Status::UnknownPair,
            QStringLiteral("no engine here translates %1: install an Apertium pair or configure an engine in %2")
                .arg(pair, m_configHint));
    }
    // Unknown pair only when every engine said so; too long when the rest said that.
    Status status = Status::UnknownPair;
    for (const Status s : attempt.statuses) {
        if (s == Status::Failed || s == Status::Ok)
            status = Status::Failed;
        else if (s == Status::TooLong && status == Status::UnknownPair)
            status = Status::TooLong;
    }
    return TranslationResult::refused(status, attempt.reasons.join(QStringLiteral("; ")));
}

QStringList EngineRouter::pairs() const
{
    QSet<QString> all;
    for (const Route& route : m_routes) {
        const QStringList list = route.engine->pairs();
        all.unite(QSet<QString>(list.begin(), list.end()));
    }
    QStringList result(all.begin(), all.end());
    result.sort();
    return result;
}

PairSupport EngineRouter::supports(const QString& source, const QString& target) const
{
    PairSupport best = PairSupport::No;
    for (const Route& route : m_routes) {
        const PairSupport support = route.engine->supports(source, target);
        if (support == PairSupport::Yes)
            return support;
        if (support == PairSupport::Unknown)
            best = support;
    }
    return best;
}

void EngineRouter::queryLanguages(std::function<void()> done)
{
    auto waiting = std::make_shared<qsizetype>(m_routes.size() + 1);
    auto one = [waiting, done = std::move(done)] {
        if (--*waiting == 0 && done)
            done();
    };
    for (const Route& route : m_routes)
        route.engine->queryLanguages(one);
    one();
}

} // namespace service

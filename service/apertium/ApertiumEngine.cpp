#include "apertium/ApertiumEngine.h"

#include "Interest.h"
#include "apertium/ApertiumFormat.h"
#include "apertium/ApertiumPipeline.h"

#include <QDir>
#include <QRegularExpression>
#include <QThread>

#include <algorithm>
#include <memory>
#include <optional>

namespace service {

namespace {

struct CodePair {
    const char* client;
    const char* apertium;
    /// One of the languages of the client's own table.
    bool listed = false;
};

// Client (ISO 639-1) codes and Apertium's ISO 639-3 codes. The first row for a 639-3 code is the one the client
// gets back: Norwegian is "no" in the client's table and Bokmål in Apertium.
constexpr CodePair kCodes[] = {
    {"en", "eng", true},
    {"es", "spa", true},
    {"pt", "por", true},
    {"fr", "fra", true},
    {"ro", "ron", true},
    {"it", "ita", true},
    {"da", "dan", true},
    {"no", "nob", true},
    {"nb", "nob"},
    {"nn", "nno"},
    {"sv", "swe", true},
    {"ca", "cat"},
    {"gl", "glg"},
    {"oc", "oci"},
    {"eu", "eus"},
    {"de", "deu", true},
    {"nl", "nld", true},
    {"af", "afr"},
    {"is", "isl"},
    {"fo", "fao"},
    {"ar", "ara", true},
    {"bg", "bul", true},
    {"cs", "ces", true},
    {"fi", "fin", true},
    {"el", "ell", true},
    {"hi", "hin", true},
    {"ga", "gle", true},
    {"ja", "jpn", true},
    {"zh-CN", "zho", true},
    {"zh", "zho"},
    {"ko", "kor", true},
    {"mt", "mlt", true},
    {"pl", "pol", true},
    {"ru", "rus", true},
    {"cy", "cym", true},
    {"br", "bre"},
    {"eo", "epo"},
    {"sl", "slv"},
    {"mk", "mkd"},
    {"uk", "ukr"},
    {"be", "bel"},
    {"kk", "kaz"},
    {"tt", "tat"},
    {"sq", "sqi"},
    {"sk", "slk"},
    {"hr", "hbs"},
    {"sr", "hbs"},
    {"bs", "hbs"},
    {"an", "arg"},
    {"sc", "srd"},
    {"ur", "urd"},
    {"id", "ind"},
    {"ms", "msa"},
    {"se", "sme"},
    {"lt", "lit"},
    {"lv", "lav"},
    // Other names pairs use for the same languages.
    {"nor", "nob"},
    {"hrv", "hbs"},
    {"srp", "hbs"},
    {"bos", "hbs"},
    {"zlm", "msa"},
};

// The language of a code in the table above, variants dropped ("pt_BR" -> "por"); empty when not in it.
QString tableCode(const QString& code)
{
    const QString bare = code.section(u'_', 0, 0).toLower();
    for (const CodePair& pair : kCodes) {
        if (bare.compare(QLatin1String(pair.client), Qt::CaseInsensitive) == 0 || bare == QLatin1String(pair.apertium))
            return QLatin1String(pair.apertium);
    }
    return {};
}

bool isListed(const QString& apertiumCode)
{
    for (const CodePair& pair : kCodes) {
        if (pair.listed && apertiumCode == QLatin1String(pair.apertium))
            return true;
    }
    return false;
}

struct ModeName {
    QString from;
    QString to;
    /// 0 for a plain pair ("es-pt"), 1 for a variant ("es-pt_BR", "nno_e-nno"), 2 for a name with more parts
    /// ("eco-es-fr"); the lowest rank serves the pair.
    int rank = 0;
};

// What a .mode file's name says it translates. Modes that stop part-way (the ones pairs install for debugging)
// translate nothing.
std::optional<ModeName> parseModeName(const QString& baseName)
{
    static const QRegularExpression part(QStringLiteral("^[a-z]{2,3}(_[A-Za-z0-9_]+)?$"));
    static const QRegularExpression partial(QStringLiteral(
        "^(morph|tagger|disam|biltrans|pretransfer|lextor|lexsel|chunker|interchunk|postchunk|transfer|dgen|pgen|"
        "gener|anmor|postgen|separable|anaphora|tokeni[sz]e|segment)"));
    const QStringList parts = baseName.split(u'-');
    if (parts.size() == 2) {
        if (!part.match(parts[0]).hasMatch() || !part.match(parts[1]).hasMatch())
            return std::nullopt;
        const QString from = ApertiumEngine::apertiumCode(parts[0].section(u'_', 0, 0));
        const QString to = ApertiumEngine::apertiumCode(parts[1].section(u'_', 0, 0));
        if (from.isEmpty() || to.isEmpty() || from == to)
            return std::nullopt;
        return ModeName{from, to, baseName.contains(u'_') ? 1 : 0};
    }
    // Longer names: the first two neighbouring parts that are known languages, nothing partial after them.
    for (qsizetype i = 0; i + 1 < parts.size(); ++i) {
        const QString from = tableCode(parts[i]);
        const QString to = tableCode(parts[i + 1]);
        if (from.isEmpty() || to.isEmpty() || !part.match(parts[i]).hasMatch() || !part.match(parts[i + 1]).hasMatch())
            continue;
        for (qsizetype k = i + 2; k < parts.size(); ++k) {
            if (partial.match(parts[k]).hasMatch())
                return std::nullopt;
        }
        if (from == to)
            return std::nullopt;
        return ModeName{from, to, 2};
    }
    return std::nullopt;
}

template <typename T>
void later(QObject* context, std::function<void(const T&)> done, T value)
{
    QMetaObject::invokeMethod(
        context, [done = std::move(done), value = std::move(value)] { done(value); }, Qt::QueuedConnection);
}

bool isBlankText(const QString& text)
{
    return text.trimmed().isEmpty();
}

} // namespace

QString ApertiumEngine::apertiumCode(const QString& clientCode)
{
    const QString code = clientCode.trimmed().toLower();
    const QString known = tableCode(code);
    if (!known.isEmpty() && !code.contains(u'_'))
        return known;
    static const QRegularExpression threeLetters(QStringLiteral("^[a-z]{3}$"));
    return threeLetters.match(code).hasMatch() ? code : QString();
}

QString ApertiumEngine::clientCode(const QString& apertiumCode)
{
    for (const CodePair& pair : kCodes) {
        if (apertiumCode == QLatin1String(pair.apertium))
            return QLatin1String(pair.client);
    }
    return apertiumCode;
}

ApertiumEngine::ApertiumEngine(Options options, QObject* parent)
    : QObject(parent)
    , m_options(std::move(options))
    , m_poolLimit(m_options.poolSize > 0 ? m_options.poolSize : std::max(1, QThread::idealThreadCount()))
{
    QMap<QString, int> ranks;
    const QDir dir(m_options.modesDirectory);
    for (const QFileInfo& file : dir.entryInfoList({QStringLiteral("*.mode")}, QDir::Files, QDir::Name)) {
        const auto name = parseModeName(file.completeBaseName());
        if (!name)
            continue;
        const QString key = name->from + u'-' + name->to;
        if (ranks.contains(key) && ranks.value(key) <= name->rank)
            continue;
        ranks.insert(key, name->rank);
        m_modeFiles.insert(key, file.absoluteFilePath());
    }
    for (const QString& key : m_modeFiles.keys())
        m_targets[key.section(u'-', 0, 0)].append(key.section(u'-', 1, 1));
    m_clock.start();
    m_sweep.setSingleShot(true);
    connect(&m_sweep, &QTimer::timeout, this, &ApertiumEngine::sweep);
    m_growth.setSingleShot(true);
    connect(&m_growth, &QTimer::timeout, this, &ApertiumEngine::dispatch);
}

qsizetype ApertiumEngine::poolSize(const QString& mode) const
{
    const auto pool = m_pools.find(mode);
    return pool == m_pools.end() ? 0 : pool->second.pipelines.size();
}

qsizetype ApertiumEngine::runningPipelines(const QString& mode) const
{
    const auto pool = m_pools.find(mode);
    if (pool == m_pools.end())
        return 0;
    const QList<ApertiumPipeline*>& pipelines = pool->second.pipelines;
    return std::count_if(pipelines.begin(), pipelines.end(), [](const ApertiumPipeline* p) { return p->isRunning(); });
}

qsizetype ApertiumEngine::runningProcesses() const
{
    qsizetype count = 0;
    for (const auto& [mode, pool] : m_pools) {
        for (const ApertiumPipeline* p : pool.pipelines)
            count += p->isRunning() ? p->stages().size() : 0;
    }
    for (const ApertiumPipeline* p : m_analysers)
        count += p->isRunning() ? p->stages().size() : 0;
    return count;
}

void ApertiumEngine::used(const ApertiumPipeline* p)
{
    m_lastUsed.insert(p, m_clock.elapsed());
    const int soonest = std::min(m_options.spareIdleMs, m_options.modeIdleMs);
    if (!m_sweep.isActive() || m_sweep.remainingTime() > soonest)
        m_sweep.start(soonest);
}

QList<PoolPolicy::Slot> ApertiumEngine::stateOf(const Pool& pool) const
{
    QList<PoolPolicy::Slot> state;
    state.reserve(pool.pipelines.size());
    for (const ApertiumPipeline* p : pool.pipelines)
        state.append({p->isRunning(), p->pending() > 0, m_lastUsed.value(p, 0)});
    return state;
}

int ApertiumEngine::busyPipelines() const
{
    int busy = 0;
    for (const auto& [mode, pool] : m_pools) {
        for (const ApertiumPipeline* p : pool.pipelines)
            busy += p->pending() > 0 ? 1 : 0;
    }
    for (const ApertiumPipeline* p : m_analysers)
        busy += p->pending() > 0 ? 1 : 0;
    return busy;
}

void ApertiumEngine::sweep()
{
    const qint64 now = m_clock.elapsed();
    qint64 next = -1;
    const auto dueAt = [&](qint64 due) {
        if (due >= 0 && (next < 0 || due < next))
            next = due;
    };
    const auto idleSince = [&](const ApertiumPipeline* p) { return m_lastUsed.value(p, 0); };
    for (auto& [mode, pool] : m_pools) {
        const PoolPolicy::Retirement retirement = pool.policy.retire(stateOf(pool), now);
        for (const qsizetype i : retirement.spares) {
            ApertiumPipeline* p = pool.pipelines.takeAt(i);
            m_lastUsed.remove(p);
            delete p;
        }
        if (retirement.stop) {
            for (ApertiumPipeline* p : std::as_const(pool.pipelines))
                p->stopIdle();
        }
        dueAt(retirement.nextDue);
    }
    for (ApertiumPipeline* p : std::as_const(m_analysers)) {
        if (!p->isRunning())
            continue;
        const qint64 due = idleSince(p) + m_options.modeIdleMs;
        if (p->pending() > 0 || due > now)
            dueAt(p->pending() > 0 ? now + m_options.modeIdleMs : due);
        else
            p->stopIdle();
    }
    if (next >= 0)
        m_sweep.start(int(std::max<qint64>(1, next - now)));
}

ApertiumEngine::~ApertiumEngine() = default;

QStringList ApertiumEngine::pairs() const
{
    QSet<QString> languages;
    for (const QString& key : m_modeFiles.keys()) {
        languages.insert(key.section(u'-', 0, 0));
        languages.insert(key.section(u'-', 1, 1));
    }
    QStringList result;
    for (const QString& from : languages) {
        for (const QString& to : languages) {
            if (!route(from, to).isEmpty())
                result.append(clientCode(from) + u'|' + clientCode(to));
        }
    }
    result.removeDuplicates();
    result.sort();
    return result;
}

PairSupport ApertiumEngine::supports(const QString& source, const QString& target) const
{
    const QString to = apertiumCode(target);
    if (source.compare(QLatin1String("auto"), Qt::CaseInsensitive) != 0)
        return route(apertiumCode(source), to).isEmpty() ? PairSupport::No : PairSupport::Yes;
    for (const QString& key : m_modeFiles.keys()) {
        if (!route(key.section(u'-', 0, 0), to).isEmpty())
            return PairSupport::Yes;
    }
    return PairSupport::No;
}

QStringList ApertiumEngine::route(const QString& source, const QString& target) const
{
    if (source.isEmpty() || target.isEmpty() || source == target)
        return {};
    const QString key = source + u'>' + target;
    const auto known = m_routes.constFind(key);
    if (known != m_routes.constEnd())
        return *known;
    const QStringList modes = findRoute(source, target);
    m_routes.insert(key, modes);
    return modes;
}

QStringList ApertiumEngine::findRoute(const QString& source, const QString& target) const
{
    // Among the chains of one length: hop by hop the better pivot, any other language last, then the order of the
    // codes, so that a route never depends on the order the modes were found in.
    struct Key {
        QList<qsizetype> pivotRanks;
        QStringList languages;
        bool operator<(const Key& o) const
        {
            return pivotRanks != o.pivotRanks ? pivotRanks < o.pivotRanks : languages < o.languages;
        }
    };
    const auto keyOf = [this](const QStringList& path) {
        Key key;
        for (qsizetype i = 1; i + 1 < path.size(); ++i) {
            const qsizetype rank = m_options.pivots.indexOf(path[i]);
            key.pivotRanks.append(rank < 0 ? m_options.pivots.size() : rank);
            key.languages.append(path[i]);
        }
        return key;
    };

    for (int hops = 1; hops <= m_options.maxHops; ++hops) {
        std::optional<QStringList> best;
        Key bestKey;
        // Depth-first over the simple paths of exactly this many hops.
        QStringList path{source};
        std::function<void()> extend = [&] {
            const QString& at = path.last();
            if (path.size() == hops + 1) {
                if (at == target) {
                    const Key key = keyOf(path);
                    if (!best || key < bestKey) {
                        best = path;
                        bestKey = key;
                    }
                }
                return;
            }
            for (const QString& next : m_targets.value(at)) {
                if (path.contains(next) || (next == target) != (path.size() == hops))
                    continue;
                path.append(next);
                extend();
                path.removeLast();
            }
        };
        extend();
        if (best) {
            QStringList modes;
            for (qsizetype i = 0; i + 1 < best->size(); ++i)
                modes.append(best->at(i) + u'-' + best->at(i + 1));
            return modes;
        }
    }
    return {};
}

bool ApertiumEngine::preload(const QString& source, const QString& target)
{
    const QStringList modes = route(apertiumCode(source), apertiumCode(target));
    for (const QString& mode : modes) {
        Pool* pool = this->pool(mode);
        if (!pool)
            return false;
        ApertiumPipeline* p = pool->pipelines.first();
        used(p);
        p->start();
        if (!p->isRunning())
            return false;
    }
    return !modes.isEmpty();
}

ApertiumEngine::Pool* ApertiumEngine::pool(const QString& mode)
{
    auto pool = m_pools.find(mode);
    if (pool == m_pools.end()) {
        const auto stages = ApertiumPipeline::parseModeFile(m_modeFiles.value(mode), QStringLiteral("-n"));
        if (!stages || stages->isEmpty())
            return nullptr;
        const PoolPolicy::Options policy{
            m_poolLimit, m_options.growAfterMs, m_options.spareIdleMs, m_options.modeIdleMs};
        pool = m_pools
                   .emplace(mode,
                       Pool{{new ApertiumPipeline(mode, *stages, m_options.timeoutMs, this)}, {}, PoolPolicy(policy)})
                   .first;
    }
    return &pool->second;
}

void ApertiumEngine::submit(const QString& mode, const QByteArray& input, ApertiumPipeline::Callback done)
{
    Pool& pool = m_pools.at(mode);
    const auto failLater = [this](ApertiumPipeline::Callback failed, const QString& why) {
        QMetaObject::invokeMethod(
            this, [failed = std::move(failed), why] { failed(false, {}, why); }, Qt::QueuedConnection);
    };
    if (pool.waiting.size() >= ApertiumPipeline::kMaxWaiting) {
        QQueue<Waiting> kept;
        for (Waiting& job : pool.waiting) {
            if (job.interest.wanted())
                kept.enqueue(std::move(job));
            else
                failLater(std::move(job.done), QStringLiteral("%1: nobody waits for the text any more").arg(mode));
        }
        pool.waiting = std::move(kept);
        if (pool.waiting.size() >= ApertiumPipeline::kMaxWaiting)
            return failLater(
                std::move(done), QStringLiteral("%1: %2 texts wait already").arg(mode).arg(pool.waiting.size()));
    }
    pool.waiting.enqueue({input, std::move(done), Interest::current()});
    dispatch();
}

void ApertiumEngine::dispatch()
{
    const qint64 now = m_clock.elapsed();
    for (auto& [mode, pool] : m_pools) {
        while (!pool.waiting.isEmpty()) {
            // Texts whose client has gone, or that the router has given up on, never go in.
            if (!pool.waiting.head().interest.wanted()) {
                const ApertiumPipeline::Callback gone = pool.waiting.dequeue().done;
                QMetaObject::invokeMethod(
                    this,
                    [gone, why = mode + QStringLiteral(": nobody waits for the text any more")] {
                        gone(false, {}, why);
                    },
                    Qt::QueuedConnection);
                continue;
            }
            const qsizetype idle = PoolPolicy::pickIdle(stateOf(pool));
            if (idle < 0)
                break;
            hand(pool.pipelines[idle], pool.waiting.dequeue());
        }
    }
    // Then growth, now that every free pipeline has its text and counts as busy.
    qint64 due = -1;
    for (auto& [mode, pool] : m_pools) {
        if (pool.policy.observe(pool.pipelines.size(), !pool.waiting.isEmpty(), busyPipelines(), now)) {
            auto* p = new ApertiumPipeline(mode + u'#' + QString::number(pool.pipelines.size() + 1),
                pool.pipelines.first()->stages(), m_options.timeoutMs, this);
            pool.pipelines.append(p);
            hand(p, pool.waiting.dequeue());
        }
        if (const qint64 at = pool.policy.growthDue(); at >= 0 && (due < 0 || at < due))
            due = at;
    }
    if (due >= 0)
        m_growth.start(int(std::max<qint64>(1, due - now)));
    else
        m_growth.stop();
}

void ApertiumEngine::hand(ApertiumPipeline* p, Waiting job)
{
    used(p);
    const Interest::Scope scope{job.interest};
    p->submit(
        job.input, [this, p, done = std::move(job.done)](bool ok, const QByteArray& output, const QString& error) {
            // Idle from now on: this runs from the pipeline itself, which is never retired while it has a text.
            used(p);
            // The next waiting text goes in before this one's next step asks for anything.
            dispatch();
            done(ok, output, error);
        });
}

ApertiumPipeline* ApertiumEngine::analyser(const QString& mode)
{
    if (ApertiumPipeline* p = m_analysers.value(mode)) {
        used(p);
        return p;
    }
    const auto stages = ApertiumPipeline::parseModeFile(m_modeFiles.value(mode), QStringLiteral("-n"));
    if (!stages || stages->isEmpty())
        return nullptr;
    // The mode's first stage is its morphological analyser.
    auto* p = new ApertiumPipeline(mode + QStringLiteral(" analyser"), {stages->first()}, m_options.timeoutMs, this);
    m_analysers.insert(mode, p);
    used(p);
    return p;
}

void ApertiumEngine::translate(const QString& text, const QString& source, const QString& target, Callback done)
{
    const QString to = apertiumCode(target);
    const auto refuse = [&](const QString& why) {
        later<TranslationResult>(this, done, TranslationResult::refused(TranslationResult::Status::UnknownPair, why));
    };
    if (to.isEmpty())
        return refuse(QStringLiteral("Unsupported target language: %1").arg(target));

    if (source.compare(QLatin1String("auto"), Qt::CaseInsensitive) == 0) {
        if (isBlankText(text))
            return later<TranslationResult>(this, done, TranslationResult::ok(text));
        detectSource(text, to, [this, text, to, target, done, interest = Interest::current()](const QString& from) {
            const Interest::Scope scope{interest};
            if (from.isEmpty()) {
                done(TranslationResult::refused(TranslationResult::Status::UnknownPair,
                    QStringLiteral("No installed language translates into %1").arg(target)));
                return;
            }
            const QStringList modes = route(from, to);
            logRoute(modes);
            runRoute(text, modes, [done, from](const TranslationResult& result) {
                TranslationResult detected = result;
                detected.detectedSource = clientCode(from);
                done(detected);
            });
        });
        return;
    }

    const QStringList modes = route(apertiumCode(source), to);
    if (modes.isEmpty())
        return refuse(QStringLiteral("Unsupported language pair: %1|%2").arg(source, target));
    if (isBlankText(text))
        return later<TranslationResult>(this, done, TranslationResult::ok(text));
    logRoute(modes);
    runRoute(text, modes, std::move(done));
}

void ApertiumEngine::logRoute(const QStringList& modes)
{
    const QString first = modes.first().section(u'-', 0, 0);
    const QString last = modes.last().section(u'-', 1, 1);
    const QString pair = clientCode(first) + u'|' + clientCode(last);
    if (m_logged.contains(pair))
        return;
    m_logged.insert(pair);
    qInfo("apertium route %s: %s", qPrintable(pair), qPrintable(modes.join(QStringLiteral(" > "))));
}

void ApertiumEngine::runRoute(const QString& text, QStringList modes, Callback done)
{
    const QString mode = modes.takeFirst();
    if (!pool(mode)) {
        return later<TranslationResult>(this, done,
            TranslationResult::refused(
                TranslationResult::Status::Failed, QStringLiteral("The Apertium mode %1 cannot be read").arg(mode)));
    }
    submit(mode, ApertiumFormat::deformat(text),
        [this, mode, modes, done, interest = Interest::current()](
            bool ok, const QByteArray& output, const QString& error) {
            if (!ok) {
                done(TranslationResult::refused(
                    TranslationResult::Status::Failed, QStringLiteral("Translation engine failed (%1)").arg(error)));
                return;
            }
            const QString translated = ApertiumFormat::reformat(output);
            if (isBlankText(translated)) {
                // Some pairs lose a whole text on input they cannot handle; better said than sent on empty.
                done(TranslationResult::refused(
                    TranslationResult::Status::Failed, QStringLiteral("The Apertium mode %1 gave no text").arg(mode)));
                return;
            }
            if (modes.isEmpty()) {
                done(TranslationResult::ok(translated));
            } else {
                // The next hop belongs to the same client.
                const Interest::Scope scope{interest};
                runRoute(translated, modes, done);
            }
        });
}

void ApertiumEngine::detectSource(const QString& text, const QString& target, std::function<void(const QString&)> done)
{
    struct Candidate {
        QString language;
        bool listed = false;
        int hops = 0;
        int unknown = -1; // -1: no answer
    };
    struct Vote {
        QList<Candidate> candidates;
        int waiting = 0;
        std::function<void(const QString&)> done;
    };
    auto vote = std::make_shared<Vote>();
    vote->done = std::move(done);
    for (const QString& language : m_targets.keys()) {
        const QStringList modes = route(language, target);
        if (!modes.isEmpty())
            vote->candidates.append({language, isListed(language), int(modes.size()), -1});
    }
    if (vote->candidates.isEmpty())
        return later<QString>(this, vote->done, QString());

    const QByteArray stream = ApertiumFormat::deformat(text);
    vote->waiting = int(vote->candidates.size());
    for (qsizetype i = 0; i < vote->candidates.size(); ++i) {
        const auto finish = [vote, i](bool ok, const QByteArray& analysis) {
            if (ok)
                vote->candidates[i].unknown = ApertiumFormat::countUnknownWords(analysis);
            if (--vote->waiting > 0)
                return;
            // Fewest unknown words; on a tie a language of the client's table before others (a text a closely
            // related language reads as well is most likely in the one the user can pick), then the shorter
            // route, then the order of the codes.
            const auto better = [](const Candidate& a, const Candidate& b) {
                if (a.unknown != b.unknown)
                    return a.unknown < b.unknown;
                if (a.listed != b.listed)
                    return a.listed;
                return a.hops < b.hops;
            };
            const Candidate* best = nullptr;
            for (const Candidate& c : std::as_const(vote->candidates)) {
                if (c.unknown >= 0 && (!best || better(c, *best)))
                    best = &c;
            }
            vote->done(best ? best->language : QString());
        };
        ApertiumPipeline* p = analyser(route(vote->candidates[i].language, target).first());
        if (!p) {
            QMetaObject::invokeMethod(
                this, [finish] { finish(false, {}); }, Qt::QueuedConnection);
            continue;
        }
        p->submit(stream, [finish](bool ok, const QByteArray& output, const QString&) { finish(ok, output); });
    }
}

} // namespace service

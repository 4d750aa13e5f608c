// What routing and the cache cost and save, per text: an engine alone against the same engine behind the router,
// and a cache hit against a miss. The engines are an in-process fake and LibreTranslate against a loopback fake.
#include "apertium/ApertiumEngine.h"
#include "EngineRouter.h"
#include "FakeProviders.h"
#include "engines/LibreTranslateEngine.h"

#include <QCoreApplication>

#include <benchmark/benchmark.h>

#include <memory>

namespace {

/// Answers from the event loop at once, and names as many pairs as the Apertium packages of a desktop do.
class InstantEngine : public service::Engine
{
public:
    InstantEngine()
    {
        const QStringList codes{u"en"_qs, u"es"_qs, u"fr"_qs, u"pt"_qs, u"it"_qs, u"ca"_qs, u"ro"_qs};
        for (const QString& from : codes) {
            for (const QString& to : codes) {
                if (from != to)
                    m_pairs.append(from + u'|' + to);
            }
        }
        m_pairs.append(u"en|de"_qs);
    }
    void translate(const QString& text, const QString&, const QString& target, Callback done) override
    {
        QMetaObject::invokeMethod(
            qApp, [text, target, done] { done(service::TranslationResult::ok(target + u':' + text)); },
            Qt::QueuedConnection);
    }
    QStringList pairs() const override { return m_pairs; }

private:
    QStringList m_pairs;
};

void translateOnce(service::Engine& engine, const QString& text)
{
    bool done = false;
    engine.translate(text, u"en"_qs, u"de"_qs, [&](const service::TranslationResult& result) {
        benchmark::DoNotOptimize(result.text.size());
        done = true;
    });
    while (!done)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

std::unique_ptr<service::EngineRouter> routerFor(service::Engine& engine, qsizetype cacheBytes)
{
    return std::make_unique<service::EngineRouter>(
        QList<service::EngineRouter::Route>{{u"e"_qs, u"E"_qs, &engine, 10000}}, cacheBytes,
        u"~/.config/verbolt-service.conf"_qs);
}

const QString kSentence = u"The antenna is up again and the signal is fine, thank you for the report."_qs;

void fakeAlone(benchmark::State& state)
{
    InstantEngine engine;
    for (auto _ : state)
        translateOnce(engine, kSentence);
}

void fakeBehindRouter(benchmark::State& state)
{
    InstantEngine engine;
    auto router = routerFor(engine, 0);
    for (auto _ : state)
        translateOnce(*router, kSentence);
}

struct LoopbackLibre {
    LoopbackLibre()
        : engine(fake.url(), {})
    {
        fake.handler = servicetest::libreTranslate({}, {u"en"_qs, u"de"_qs});
    }
    servicetest::FakeHttpServer fake;
    service::LibreTranslateEngine engine;
};

void libreAlone(benchmark::State& state)
{
    LoopbackLibre libre;
    for (auto _ : state)
        translateOnce(libre.engine, kSentence);
}

void libreBehindRouter(benchmark::State& state)
{
    LoopbackLibre libre;
    auto router = routerFor(libre.engine, 0);
    for (auto _ : state)
        translateOnce(*router, kSentence);
}

// Every text new: each one goes to LibreTranslate and is then kept.
void cacheMiss(benchmark::State& state)
{
    LoopbackLibre libre;
    auto router = routerFor(libre.engine, 64 << 20);
    qint64 n = 0;
    for (auto _ : state)
        translateOnce(*router, kSentence + QString::number(n++));
}

// The same chat line again: answered from the cache.
void cacheHit(benchmark::State& state)
{
    LoopbackLibre libre;
    auto router = routerFor(libre.engine, 64 << 20);
    translateOnce(*router, kSentence);
    for (auto _ : state)
        translateOnce(*router, kSentence);
}

// The router asks every engine whether it serves the pair; Apertium answers from its installed modes.
void apertiumPairCheck(benchmark::State& state)
{
    service::ApertiumEngine apertium({});
    if (apertium.pairs().isEmpty())
        return state.SkipWithError("no Apertium pairs installed");
    for (auto _ : state)
        benchmark::DoNotOptimize(apertium.supports(u"en"_qs, u"de"_qs));
    state.counters["pairs"] = double(apertium.pairs().size());
}

} // namespace

BENCHMARK(apertiumPairCheck)->Unit(benchmark::kMicrosecond);
BENCHMARK(fakeAlone)->Unit(benchmark::kMicrosecond);
BENCHMARK(fakeBehindRouter)->Unit(benchmark::kMicrosecond);
BENCHMARK(libreAlone)->Unit(benchmark::kMicrosecond);
BENCHMARK(libreBehindRouter)->Unit(benchmark::kMicrosecond);
BENCHMARK(cacheMiss)->Unit(benchmark::kMicrosecond);
BENCHMARK(cacheHit)->Unit(benchmark::kMicrosecond);

// What the word guard costs: finding the protected words, writing them in an engine's keep form and restoring them,
// per QSO line rich in protected words, against the same line through the real Apertium engine; and the long lines
// that once made the finder or the restore quadratic.
#include "apertium/ApertiumEngine.h"
#include "text/GuardedEngine.h"
#include "text/ProtectedWords.h"
#include "text/TextGuard.h"

#include <QCoreApplication>

#include <benchmark/benchmark.h>

namespace {

using namespace Qt::StringLiterals;

/// Answers with the text it was given, from the event loop at once, in Apertium's keep form.
class EchoEngine : public service::Engine
{
public:
    void translate(const QString& text, const QString&, const QString&, Callback done) override
    {
        QMetaObject::invokeMethod(
            qApp, [text, done] { done(service::TranslationResult::ok(text)); }, Qt::QueuedConnection);
    }
    QStringList pairs() const override { return {u"en|es"_s}; }
    service::KeepForm keepForm() const override { return service::KeepForm::PassThrough; }
};

const QString kRichLine = u"EA4ABC de DL1XYZ: UR 599 in Madrid, QTH IN80do, my rig is an IC-7300 with 100 W into a "
                          "dipole on 20 m, 14.074 MHz FT8 at 1830Z. TNX for the QSO, 73 :-)"_s;

void translateOnce(service::Engine& engine, const QString& text)
{
    bool done = false;
    engine.translate(text, u"en"_s, u"es"_s, [&](const service::TranslationResult& result) {
        benchmark::DoNotOptimize(result.text.size());
        done = true;
    });
    while (!done)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

void echoAlone(benchmark::State& state)
{
    EchoEngine engine;
    for (auto _ : state)
        translateOnce(engine, kRichLine);
}

void echoGuarded(benchmark::State& state)
{
    EchoEngine engine;
    service::GuardedEngine guarded(engine);
    for (auto _ : state)
        translateOnce(guarded, kRichLine);
}

// The guard's own work on the line, without the event loop: find, mask, restore of the unchanged answer.
void guardWork(benchmark::State& state)
{
    for (auto _ : state) {
        const service::TextGuard guard(
            kRichLine, service::ProtectedWords::find(kRichLine), service::KeepForm::PassThrough);
        benchmark::DoNotOptimize(guard.restore(guard.engineText(), u"es"_s).text.size());
    }
}

void apertiumGuarded(benchmark::State& state)
{
    service::ApertiumEngine apertium({});
    if (!apertium.preload(u"en"_s, u"es"_s))
        return state.SkipWithError("apertium-eng-spa is not installed");
    service::GuardedEngine guarded(apertium);
    translateOnce(guarded, kRichLine);
    for (auto _ : state)
        translateOnce(guarded, kRichLine);
}

void findDashedCapitals(benchmark::State& state)
{
    const QString text = u"A-"_s.repeated(20000);
    for (auto _ : state)
        benchmark::DoNotOptimize(service::ProtectedWords::find(text).size());
}

void findSignedNumbers(benchmark::State& state)
{
    const QString text = u"-1"_s.repeated(10000);
    for (auto _ : state)
        benchmark::DoNotOptimize(service::ProtectedWords::find(text).size());
}

// 1,250 reports: mask and restore of the unchanged answer in Apertium's form.
void maskRestoreReports(benchmark::State& state)
{
    const QString text = u"5/9 "_s.repeated(1250);
    const QList<service::ProtectedSpan> spans = service::ProtectedWords::find(text);
    for (auto _ : state) {
        const service::TextGuard guard(text, spans, service::KeepForm::PassThrough);
        benchmark::DoNotOptimize(guard.restore(guard.engineText(), u"es"_s).text.size());
    }
}

} // namespace

BENCHMARK(echoAlone)->Unit(benchmark::kMicrosecond);
BENCHMARK(echoGuarded)->Unit(benchmark::kMicrosecond);
BENCHMARK(guardWork)->Unit(benchmark::kMicrosecond);
BENCHMARK(apertiumGuarded)->Unit(benchmark::kMicrosecond);
BENCHMARK(findDashedCapitals)->Unit(benchmark::kMillisecond);
BENCHMARK(findSignedNumbers)->Unit(benchmark::kMillisecond);
BENCHMARK(maskRestoreReports)->Unit(benchmark::kMillisecond);

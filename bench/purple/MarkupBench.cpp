// Making a partner's message plain costs time in proportion to its length, whatever it holds: runs of bare '&'
// or lone '<' (which once meant a search to the end of the message for each) included. The fitted complexity
// google-benchmark prints should be O(N) for every shape.
#include "PurpleMarkup.h"

#include <benchmark/benchmark.h>

namespace {

void plainOf(benchmark::State& state, QChar repeated)
{
    const QString markup(qsizetype(state.range(0)), repeated);
    for (auto _ : state)
        benchmark::DoNotOptimize(markupToPlain(markup));
    state.SetComplexityN(state.range(0));
}

void tagsAndEntities(benchmark::State& state)
{
    QString markup;
    while (markup.size() < state.range(0))
        markup += QStringLiteral("<b>hola</b> &amp; &#233; <br>");
    for (auto _ : state)
        benchmark::DoNotOptimize(markupToPlain(markup));
    state.SetComplexityN(markup.size());
}

} // namespace

BENCHMARK_CAPTURE(plainOf, ampersands, QChar(u'&'))->RangeMultiplier(4)->Range(1 << 12, 1 << 20)->Complexity();
BENCHMARK_CAPTURE(plainOf, lessThans, QChar(u'<'))->RangeMultiplier(4)->Range(1 << 12, 1 << 20)->Complexity();
BENCHMARK(tagsAndEntities)->RangeMultiplier(4)->Range(1 << 12, 1 << 20)->Complexity();

BENCHMARK_MAIN();

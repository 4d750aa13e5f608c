#!/usr/bin/env bash
# Benchmark: what the engine router and the translation cache cost and save per text (Google Benchmark,
# bench/engines/EngineBench.cpp), all in one process on loopback. Builds a Release tree in build/bench, runs the
# measurements and puts their table into its own section of docs/benchmark.md (or the file given as $1),
# leaving the file's other sections as they are.
# Needs: scripts/setup.sh --bench.
set -euo pipefail
cd "$(dirname "$0")/.."

out=${1:-docs/benchmark.md}
build=${VERBOLT_BENCH_BUILD:-build/bench}
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DVERBOLT_BENCH=ON -DVERBOLT_TESTS=OFF >/dev/null
cmake --build "$build" --target verbolt-engine-bench -j"$(nproc)" >/dev/null

results=$(mktemp)
trap 'rm -f "$results"' EXIT
timeout 900 "$build/bench/engines/verbolt-engine-bench" --benchmark_min_time=2 --benchmark_repetitions=5 \
    --benchmark_report_aggregates_only=true --benchmark_out="$results" --benchmark_out_format=json >/dev/null

/usr/bin/python3 - "$results" "$out" <<'PY'
import json, sys

results, out = sys.argv[1], sys.argv[2]
data = json.load(open(results))
median = {b['run_name']: b for b in data['benchmarks'] if b.get('aggregate_name') == 'median'}
stddev = {b['run_name']: b for b in data['benchmarks'] if b.get('aggregate_name') == 'stddev'}

def us(name, kind):
    return median[name][kind]  # microseconds: the benchmarks report in that unit

rows = [
    ('In-process fake engine, alone', 'fakeAlone'),
    ('In-process fake engine, behind the router', 'fakeBehindRouter'),
    ('LibreTranslate on a loopback fake, alone', 'libreAlone'),
    ('LibreTranslate on a loopback fake, behind the router', 'libreBehindRouter'),
    ('Router + LibreTranslate, cache miss (every text new)', 'cacheMiss'),
    ('Router + LibreTranslate, cache hit (the same chat line)', 'cacheHit'),
]
context = data['context']
lines = [
    '## Engine routing and the translation cache',
    '',
    f"Measured by `bench/engines.sh` on {context['date'][:10]}, {context['num_cpus']} cores (load average "
    f"{context['load_avg'][0]:.1f} at the start: wall times suffer from other work more than CPU times), Release build, "
    'one process on loopback: Google Benchmark, median of 5 repetitions of at least 2 s each. One text per '
    'iteration, English -> German, translated and its answer awaited through the Qt event loop. '
    '"Fake engine" answers from the event loop at once and names 43 pairs; '
    '"LibreTranslate" is the real engine class posting JSON to a loopback fake of the LibreTranslate API.',
    '',
    '| What | Wall time per text (µs) | CPU time per text (µs) |',
    '|---|---:|---:|',
]
for label, name in rows:
    lines.append(f"| {label} | {us(name, 'real_time'):.1f} | {us(name, 'cpu_time'):.1f} |")
lines += [
    '',
    f"- Routing overhead: {us('fakeBehindRouter', 'cpu_time') - us('fakeAlone', 'cpu_time'):.1f} µs CPU per text "
    f"with the in-process engine; with LibreTranslate {us('libreBehindRouter', 'cpu_time') - us('libreAlone', 'cpu_time'):+.1f} µs CPU "
    f"(the LibreTranslate round trip alone varies by {stddev['libreAlone']['cpu_time']:.1f} µs CPU between repetitions).",
    f"- Cache: a hit answers in {us('cacheHit', 'real_time'):.1f} µs against {us('cacheMiss', 'real_time'):.1f} µs for a miss "
    f"({us('cacheMiss', 'real_time') / us('cacheHit', 'real_time'):.0f} times faster) on loopback, before any network or "
    'provider time; a paid engine is not called at all.',
]
if 'apertiumPairCheck' in median:
    lines.insert(-1,
        f"- The router asks each engine whether it serves the pair; Apertium answers that from its "
        f"{int(median['apertiumPairCheck']['pairs'])} installed pairs in "
        f"{us('apertiumPairCheck', 'cpu_time'):.1f} µs CPU per text.")
section = '\n'.join(lines) + '\n'
sys.path.insert(0, 'bench')
import section as sections
sections.replace(out, 'engines.sh', section)
print(section, end='')
PY

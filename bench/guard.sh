#!/usr/bin/env bash
# Benchmark: what the word guard costs per QSO line rich in protected words, against the same line through the real
# Apertium engine, and the long lines that must stay linear (Google Benchmark, bench/engines/GuardBench.cpp). Builds a
# Release tree in build/bench (or runs the program given as VERBOLT_GUARD_BENCH) and puts its table into its own
# section of docs/benchmark.md (or the file given as $1).
# Needs: scripts/setup.sh --bench, apertium-eng-spa.
set -euo pipefail
cd "$(dirname "$0")/.."

out=${1:-docs/benchmark.md}
program=${VERBOLT_GUARD_BENCH:-}
if [[ -z $program ]]; then
    build=${VERBOLT_BENCH_BUILD:-build/bench}
    cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DVERBOLT_BENCH=ON -DVERBOLT_TESTS=OFF >/dev/null
    cmake --build "$build" --target verbolt-guard-bench -j"$(nproc)" >/dev/null
    program=$build/bench/engines/verbolt-guard-bench
fi

results=$(mktemp)
trap 'rm -f "$results"' EXIT
timeout 900 "$program" --benchmark_min_time=1 --benchmark_repetitions=3 --benchmark_report_aggregates_only=true \
    --benchmark_out="$results" --benchmark_out_format=json >/dev/null 2>&1

/usr/bin/python3 - "$results" "$out" <<'PY'
import json, sys

results, out = sys.argv[1], sys.argv[2]
data = json.load(open(results))
median = {b['run_name']: b for b in data['benchmarks'] if b.get('aggregate_name') == 'median'}

def ms(name, kind):
    b = median[name]
    return b[kind] / {'us': 1000, 'ms': 1, 'ns': 1e6}[b['time_unit']]

context = data['context']
guard = ms('echoGuarded', 'cpu_time') - ms('echoAlone', 'cpu_time')
lines = [
    '## The word guard',
    '',
    f"Measured by `bench/guard.sh` on {context['date'][:10]}, {context['num_cpus']} cores (load average "
    f"{context['load_avg'][0]:.1f} at the start), Release build, in one process: Google Benchmark, median of 3 "
    'repetitions. The line: "EA4ABC de DL1XYZ: UR 599 in Madrid, QTH IN80do, my rig is an IC-7300 with 100 W into a '
    'dipole on 20 m, 14.074 MHz FT8 at 1830Z. TNX for the QSO, 73 :-)", English -> Spanish.',
    '',
    '| What | Wall time (ms) | CPU time (ms) |',
    '|---|---:|---:|',
]
rows = [
    ('Engine that echoes at once (Apertium\'s keep form), alone', 'echoAlone'),
    ('The same engine behind the word guard', 'echoGuarded'),
    ('The guard\'s own work: find, mask, restore (no event loop)', 'guardWork'),
    ('The real Apertium engine behind the guard (eng-spa, warm)', 'apertiumGuarded'),
    ('Find in "A-" × 20,000 (40,000 characters)', 'findDashedCapitals'),
    ('Find in "-1" × 10,000', 'findSignedNumbers'),
    ('Mask and restore "5/9 " × 1,250 in Apertium\'s form', 'maskRestoreReports'),
]
for label, name in rows:
    if name in median:
        lines.append(f"| {label} | {ms(name, 'real_time'):.3f} | {ms(name, 'cpu_time'):.3f} |")
lines.append('')
lines.append(f"- The guard costs {guard * 1000:.0f} µs CPU per line over the echoing engine.")
if 'apertiumGuarded' in median:
    lines.append(f"- That is {100 * guard / ms('apertiumGuarded', 'real_time'):.1f} % of the line's time through "
                 'Apertium (its wall time: the pipeline\'s processes work outside this one).')
section = '\n'.join(lines) + '\n'
sys.path.insert(0, 'bench')
import section as sections
sections.replace(out, 'guard.sh', section)
print(section, end='')
PY

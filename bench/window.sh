#!/usr/bin/env bash
# Benchmarks of the window: how quickly it repaints and takes keys while the service is slow, and a burst of chat
# texts through the real programs. Builds a Release tree with the benchmark programs, provides a virtual display
# and a private session bus, and writes its section of docs/benchmark.md (or of the file given as $1).
set -euo pipefail
cd "$(dirname "$0")/.."

out=${1:-docs/benchmark.md}
build=${VERBOLT_BENCH_BUILD:-build/bench}
if [[ -z "${VERBOLT_BENCH_READY:-}" ]]; then
    cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DVERBOLT_BENCH=ON -DVERBOLT_TESTS=OFF >/dev/null
    cmake --build "$build" -j"$(nproc)" >/dev/null
    export VERBOLT_BENCH_READY=1
    exec xvfb-run -a -s "-screen 0 1024x768x24" dbus-run-session -- "$0" "$@"
fi

section=$(mktemp)
trap 'rm -f "$section"' EXIT
{
    echo "## The window under load"
    echo
    echo "Measured by \`bench/window.sh\` on $(date -u +%Y-%m-%d), $(nproc) cores ($(uname -m)), Release build."
    echo
    echo "### Responsiveness while the translation service takes 5 s"
    echo
    echo "The real window and page fetcher (offscreen) against a service on loopback that answers after 5 s: the"
    echo "time from asking for a repaint of the pane to its paint event, and from posting a key press to the typing"
    echo "box showing it, taken 20 times during the wait. For comparison, the same while a blocking fetch holds the"
    echo "window's thread, as the window did before its waits moved to the event loop."
    echo
    QT_QPA_PLATFORM=offscreen "$build/bench/window/verbolt-responsiveness-bench" 2>/dev/null
    echo
    echo "### A burst of chat texts"
    echo
    timeout 3700 python3 bench/burst.py --build "$build" --lines "${VERBOLT_BURST_LINES:-10000}"
} >"$section"
bench/section.py "$out" window.sh <"$section"
cat "$section"

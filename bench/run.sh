#!/usr/bin/env bash
# Benchmark: the same English sentences English -> Spanish through verbolt-service and through Apertium APy,
# side by side, on loopback only; then the memory both hold after a conversation (bench/memory.py). Writes their
# sections of docs/benchmark.md (or of the file given as $1).
# Needs: scripts/setup.sh --bench (apertium-apy), and a built verbolt-service (VERBOLT_SERVICE or the default
# build folder). Stops by itself: both servers are ended on exit and the whole run is capped in time.
set -euo pipefail
cd "$(dirname "$0")/.."

out=${1:-docs/benchmark.md}
service=${VERBOLT_SERVICE:-build/service/service/verbolt-service}
[[ -x $service ]] || { echo "no verbolt-service at $service (set VERBOLT_SERVICE)" >&2; exit 1; }
# APy comes from Debian, so it is Debian's Python that has it (not a python3 earlier in PATH).
py=/usr/bin/python3
"$py" -c 'import apertium_apy' 2>/dev/null || { echo "apertium-apy missing: run scripts/setup.sh --bench" >&2; exit 1; }

free_port() {
    "$py" -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}
verbolt_port=$(free_port)
apy_port=$(free_port)
logs=$(mktemp -d)
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
    rm -rf "$logs"
}
trap cleanup EXIT

"$service" --listen "127.0.0.1:$verbolt_port" --preload 'en|es' 2>"$logs/verbolt.log" &
pids+=($!)
# APy as a fair opponent: one pipeline per pair like ours, no restarts during the run.
"$py" bench/apy_loopback.py "$apy_port" /usr/share/apertium --restart-pipe-after 1000000 >"$logs/apy.log" 2>&1 &
pids+=($!)

{
    echo "## verbolt-service and Apertium APy"
    echo
    echo "Measured by \`bench/run.sh\` on $(date -u +%Y-%m-%d), $(nproc) cores ($(uname -m)), Apertium $(dpkg-query -W -f='${Version}' apertium 2>/dev/null), apertium-eng-spa $(dpkg-query -W -f='${Version}' apertium-eng-spa 2>/dev/null), apertium-apy $(dpkg-query -W -f='${Version}' apertium-apy 2>/dev/null)."
    echo "Both servers run the same eng-spa mode with warm null-flush pipelines, unknown words unmarked (APy: \`markUnknown=no&format=txt\`)."
    echo "Every sentence is sent once to each server before measuring. verbolt-service binary: \`$service\`" \
        "($(grep -m1 '^CMAKE_BUILD_TYPE' "$(dirname "$service")/../CMakeCache.txt" 2>/dev/null | cut -d= -f2 || echo unknown) build)."
    echo
    timeout 900 "$py" bench/client.py --verbolt-port "$verbolt_port" --apy-port "$apy_port" \
        --sentences bench/sentences-en.txt --concurrency 1,4
} >"$logs/section.md"
bench/section.py "$out" run.sh <"$logs/section.md"
cat "$logs/section.md"
# Then memory: both process trees after a conversation, and once verbolt-service's idle pipelines have retired.
cleanup
pids=()
timeout 900 "$py" bench/memory.py "$service" --out "$out"

#!/usr/bin/env bash
# Sets up, builds and starts Verbolt on its built-in defaults: the local translation service, a reference
# chat host in this terminal as your partner, and the Verbolt window translating English <-> Español.
#
# Type a line in the window and press Enter: its Spanish translation appears here, as the partner sees it.
# Type a line here (in Spanish) and press Enter: it arrives in the window with its English translation.
# End the partner's chat with Ctrl-D; the window closes with it.
#
# On a virtual X server (xvfb-run), where nobody can see the window, or with --play, it plays a short
# conversation instead and saves a screenshot of the window after every line.
#
#   scripts/demo.sh [--play [DIR]]     DIR: where the screenshots go (default build/release/screenshots)
#
# VERBOLT_DEMO_BIN=DIR uses the programs of an existing build tree instead of building; VERBOLT_DEMO_PORT sets
# the service's port (default 2738); VERBOLT_DEMO_SHOTS=DIR is where the screenshots go unless --play names it.
set -euo pipefail
start_dir=$PWD
cd "$(dirname "$0")/.."
root=$PWD

play=""
shots=${VERBOLT_DEMO_SHOTS:-$root/build/release/screenshots}
if [[ "${1:-}" == "--play" ]]; then
    play=1
    [[ -n "${2:-}" ]] && shots=$2
elif [[ -n "${1:-}" ]]; then
    echo "usage: scripts/demo.sh [--play [DIR]]" >&2
    exit 2
fi
[[ "$shots" == /* ]] || shots=$start_dir/$shots

if [[ -z "${DISPLAY:-}" && -z "${WAYLAND_DISPLAY:-}" ]]; then
    cat >&2 <<'MSG'
verbolt demo: there is no display to show the window on (neither DISPLAY nor WAYLAND_DISPLAY is set).
Run it in a desktop session. On a machine without a screen, run it on a virtual X server:

    xvfb-run -a -s "-screen 0 1024x768x24" scripts/demo.sh

There it plays a short English <-> Español conversation by itself and saves a screenshot of the window
after every line in build/release/screenshots/.
MSG
    exit 2
fi

# An X server that is Xvfb shows nothing to anyone.
is_virtual_display() {
    local number=${DISPLAY#*:}
    number=${number%%.*}
    [[ "$DISPLAY" == :* && "$number" =~ ^[0-9]+$ && -r "/tmp/.X$number-lock" ]] || return 1
    local pid
    pid=$(tr -d ' \n' <"/tmp/.X$number-lock")
    [[ "$(cat "/proc/$pid/comm" 2>/dev/null)" == Xvfb ]]
}
if [[ -z "$play" && -n "${DISPLAY:-}" ]] && is_virtual_display; then
    play=1
fi

if [[ -n "${VERBOLT_DEMO_BIN:-}" ]]; then
    bin=$VERBOLT_DEMO_BIN
else
    bin=$root/build/release
    if [[ -z "${VERBOLT_DEMO_BUILT:-}" ]]; then
        echo "verbolt demo: setting up and building (build/release)..." >&2
        scripts/setup.sh
        cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release -DVERBOLT_TESTS=OFF >/dev/null
        cmake --build build/release -j"$(nproc)" >/dev/null
    fi
fi

# A private session bus when the desktop has none.
if [[ -z "${DBUS_SESSION_BUS_ADDRESS:-}" ]]; then
    export VERBOLT_DEMO_BUILT=1
    args=()
    [[ -n "$play" ]] && args=(--play "$shots")
    exec dbus-run-session -- "$root/scripts/demo.sh" "${args[@]}"
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/verbolt-demo.XXXXXX")
service_pid=""
window_pid=""
host_pid=""
cleanup() {
    [[ -n "$host_pid" ]] && kill "$host_pid" 2>/dev/null || true
    [[ -n "$window_pid" ]] && kill "$window_pid" 2>/dev/null || true
    [[ -n "$service_pid" ]] && kill "$service_pid" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

port=${VERBOLT_DEMO_PORT:-2738}
"$bin/service/verbolt-service" --listen "127.0.0.1:$port" 2>"$work/service.log" &
service_pid=$!

mkdir -p "$work/config"
printf '[SETTINGS]\nTextFrom=English\nTextTo=Espa\xc3\xb1ol\nUseTr=1\nTimeStamp=0\nServiceHost=127.0.0.1:%s\nStatsHost=127.0.0.1:%s\n' \
    "$port" "$port" >"$work/config/Verbolt.ini"

# The window attaches to the partner's chat host once its name is on the bus.
(
    gdbus wait --session --timeout 30 org.verbolt.ChatHost &&
        XDG_CONFIG_HOME="$work/config" exec "$bin/verbolt"
) &
window_pid=$!

if [[ -z "$play" ]]; then
    echo "Verbolt demo: type Spanish lines here as the partner; type English in the window. Ctrl-D ends." >&2
    "$bin/host/refhost/verbolt-host" --callsign EA4DMO
    exit 0
fi

# The played conversation: the partner's lines go in through a pipe, what Verbolt sends them comes out in a file.
fail() {
    echo "verbolt demo: $1" >&2
    echo "--- service log:" >&2
    cat "$work/service.log" >&2
    exit 1
}
# Waits up to 60 s for a file to hold at least N lines matching a pattern.
wait_lines() {
    local file=$1 pattern=$2 count=$3
    for ((i = 0; i < 600; i++)); do
        (($(grep -c -- "$pattern" "$file" 2>/dev/null || true) >= count)) && return 0
        sleep 0.1
    done
    return 1
}
mkfifo "$work/partner"
"$bin/host/refhost/verbolt-host" --callsign EA4DMO <"$work/partner" >"$work/sent" 2>"$work/host.log" &
host_pid=$!
exec 3>"$work/partner"

window=$(timeout 60 xdotool search --sync --onlyvisible --name Dolmex | head -n1) || true
[[ -n "$window" ]] || fail "the window did not appear"
xdotool windowfocus --sync "$window" 2>/dev/null || true
mkdir -p "$shots"
rm -f "$shots"/*.png

step=0
shot() {
    # The pane is filled just after the text goes out; give it a moment to be drawn.
    sleep 0.5
    step=$((step + 1))
    import -window "$window" "$shots/$(printf '%02d' "$step")-$1.png"
}
partner() {
    local translated=$(($(grep -c ' es|en 200 ' "$work/service.log" || true) + 1))
    echo "EA4DMO>$1" >&3
    wait_lines "$work/service.log" ' es|en 200 ' "$translated" || fail "the partner's line was not translated"
    echo "partner:  $1" >&2
    shot partner
}
you() {
    local sent=$(($(wc -l <"$work/sent") + 1))
    xdotool type --window "$window" --delay 20 "$1"
    xdotool key --window "$window" Return
    wait_lines "$work/sent" . "$sent" || fail "your line did not reach the partner"
    echo "you:      $1" >&2
    echo "  sent:   $(tail -n1 "$work/sent")" >&2
    shot you
}

shot start
partner "Buenos días, amigo."
you "Good morning! My name is John."
partner "¿De dónde eres?"
you "I live in London."

exec 3>&-
wait "$host_pid" || true
host_pid=""
echo "verbolt demo: screenshots in $shots" >&2

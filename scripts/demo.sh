#!/usr/bin/env bash
# Sets up, builds and starts Verbolt on its built-in defaults: the local translation service, a reference
# chat host in this terminal as your partner, and the Verbolt window translating English <-> Español.
#
# Type a line in the window and press Enter: its Spanish translation appears here, as the partner sees it.
# Type a line here (in Spanish) and press Enter: it arrives in the window with its English translation.
# End the partner's chat with Ctrl-D; the window closes with it.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

if [[ -z "${VERBOLT_DEMO_BUILT:-}" ]]; then
    scripts/setup.sh
    cmake -S . -B build/demo -DCMAKE_BUILD_TYPE=Release -DVERBOLT_TESTS=OFF >/dev/null
    cmake --build build/demo -j"$(nproc)" >/dev/null
fi
bin=$root/build/demo

if [[ -z "${DISPLAY:-}" && -z "${WAYLAND_DISPLAY:-}" ]]; then
    cat >&2 <<'MSG'
verbolt: there is no display to show the window on (neither DISPLAY nor WAYLAND_DISPLAY is set).
Run it on a desktop session, or on a virtual X server:

    xvfb-run -a -s "-screen 0 1024x768x24" scripts/demo.sh

(under Xvfb the window is invisible; x11vnc or `import -window root shot.png` shows it).
MSG
    exit 2
fi

# A private session bus when the desktop has none.
if [[ -z "${DBUS_SESSION_BUS_ADDRESS:-}" ]]; then
    export VERBOLT_DEMO_BUILT=1
    exec dbus-run-session -- "$0" "$@"
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/verbolt-demo.XXXXXX")
service_pid=""
window_pid=""
cleanup() {
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

echo "Verbolt demo: type Spanish lines here as the partner; type English in the window. Ctrl-D ends." >&2
"$bin/host/refhost/verbolt-host" --callsign EA4DMO

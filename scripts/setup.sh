#!/usr/bin/env bash
# Installs every Debian package that building, running and testing Verbolt needs. Safe to run again:
# when everything is there it only checks and returns.
set -euo pipefail

packages=(
    # build
    g++ cmake make pkg-config
    qt6-base-dev qt6-base-dev-tools libcurl4-openssl-dev libsystemd-dev
    # manual pages and the Debian package
    help2man dpkg-dev file
    # tests and benchmarks
    googletest libgtest-dev libgmock-dev libbenchmark-dev
    dbus dbus-bin dbus-daemon libglib2.0-bin
    xvfb xauth xdotool x11-utils imagemagick fonts-dejavu-core
    # a real chat program for verbolt-purple: Finch in tmux, on a local IRC server
    finch tmux ngircd
    # JS8Call for verbolt-js8call; its test runs it with no radio and no sound card
    js8call
    # Qtel (EchoLink) and libecholib for verbolt-echolink; xclip reads Qtel's chat pane
    qtel libecholib-dev libasynccpp-dev xclip
    # the headers libecholib's own need, for the tests' small EchoLink station
    libasynccore-dev libasyncaudio-dev libgsm1-dev libsigc++-2.0-dev
    # a real fldigi for verbolt-fldigi: two of them on a PulseAudio null sink as the air
    fldigi pulseaudio pulseaudio-utils
    # the systemd units and the Debian package's checks
    systemd lintian appstream desktop-file-utils man-db
    # the local translation service's engine
    apertium
    # the other engines go over HTTPS, checked against the system's CAs; the tests make a throwaway CA
    ca-certificates openssl
)
# and its language pairs
mapfile -t pairs < <(grep -v '^#' "$(dirname "$0")/apertium-pairs.txt" | grep .)
packages+=("${pairs[@]}")
if [[ "${1:-}" == "--bench" ]]; then
    packages+=(apertium-apy curl python3)
fi

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if ((${#missing[@]})); then
    sudo=""
    [[ $(id -u) -eq 0 ]] || sudo="sudo"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}"
fi

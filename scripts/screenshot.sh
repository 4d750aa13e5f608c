#!/usr/bin/env bash
# Retakes docs/screenshot.png: plays the demo's conversation on a virtual X server with the real service, chat
# host and window, and keeps the window as it stands after the last line.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh
shots=build/release/screenshots
xvfb-run -a -s "-screen 0 1024x768x24" scripts/demo.sh --play "$shots"
last=$(ls "$shots"/*.png | tail -n1)
cp "$last" docs/screenshot.png
echo "docs/screenshot.png: $last"

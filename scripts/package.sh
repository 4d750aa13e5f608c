#!/usr/bin/env bash
# Sets up, builds Verbolt for release and makes its Debian package: build/release/verbolt_<version>_amd64.deb.
# Install it with: sudo apt install ./build/release/verbolt_<version>_amd64.deb
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh
cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release -DVERBOLT_TESTS=OFF >/dev/null
cmake --build build/release -j"$(nproc)"
(cd build/release && cpack -G DEB)

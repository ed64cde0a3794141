#!/usr/bin/env bash
# Builds everything and runs every test. Installs what is missing first (Debian 12, as root).
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup-deps.sh --tests

build=${QUILMARK_BUILD_DIR:-build}
live=OFF
if [ -x /usr/lib/libreoffice/sdk/bin/cppumaker ]; then live=ON; fi
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUILMARK_BUILD_LIVE="$live" >/dev/null
cmake --build "$build" -j"$(nproc)"
cd "$build"
ctest --output-on-failure -j"$(nproc)" --timeout 600

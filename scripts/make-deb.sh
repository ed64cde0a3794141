#!/usr/bin/env bash
# Builds the Debian package of Quilmark into build-deb/ (Debian 12, as root): installs what is
# missing first, then configures a release build without tests and lets CPack make the .deb.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup-deps.sh --package

build=${QUILMARK_BUILD_DIR:-build-deb}
live=OFF  # the live office host, where the office SDK is installed
if [ -x /usr/lib/libreoffice/sdk/bin/cppumaker ]; then live=ON; fi
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF -DQUILMARK_BUILD_BENCH=OFF \
  -DQUILMARK_BUILD_LIVE="$live" >/dev/null
cmake --build "$build" -j"$(nproc)" --target package
ls "$build"/quilmark_*.deb
# The window has its own package, which depends on the command line's.
ls "$build"/quilmark-gui_*.deb 2>/dev/null || true
# The live plugin has its own package, made where the office SDK is installed.
ls "$build"/quilmark-live_*.deb 2>/dev/null || true

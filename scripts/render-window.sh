#!/usr/bin/env bash
# Draws the window as it first appears into docs/window.png, without a display (Qt's offscreen
# platform), with the example workbook chosen. Builds what it needs first.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup-deps.sh --tests

build=${QUILMARK_BUILD_DIR:-build}
cmake -S . -B "$build" -DBUILD_TESTING=ON -DQUILMARK_BUILD_GUI=ON >/dev/null
cmake --build "$build" -j"$(nproc)" --target quilmark_render_window

args=(docs/window.png)
if [ -f examples/图斑示例.xlsx ]; then args+=(examples/图斑示例.xlsx); fi
mkdir -p docs
QT_QPA_PLATFORM=offscreen "$build/tests/quilmark_render_window" "${args[@]}"
echo "docs/window.png"

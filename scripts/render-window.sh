#!/usr/bin/env bash
# Draws the window as it first appears into docs/window.png, without a display (Qt's offscreen
# platform), with the example workbook chosen; and as the program shows it on a 1366x768 screen at
# 100%, 125% and 150% display scale into docs/window-1366x768-100.png, -125.png and -150.png.
# Builds what it needs first.
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
screen="offscreen:configfile=$PWD/tests/data/gui/screen-1366x768.json"
for scale in 100 125 150; do
  out=docs/window-1366x768-$scale.png
  QT_QPA_PLATFORM="$screen" QT_SCALE_FACTOR=$(awk "BEGIN { print $scale / 100 }") \
    "$build/tests/quilmark_render_window" --screen "$out" "${args[@]:1}"
  echo "$out"
done

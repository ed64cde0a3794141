#!/usr/bin/env bash
# Builds everything and runs every test. Installs what is missing first (Debian 12, as root).
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup-deps.sh --tests

build=${QUILMARK_BUILD_DIR:-build}
live=OFF
if [ -x /usr/lib/libreoffice/sdk/bin/cppumaker ]; then live=ON; fi
# The fuzz targets build with clang and libFuzzer (installed above); without them they are left out.
fuzz=OFF
if command -v clang++ >/dev/null &&
  compgen -G "/usr/lib/llvm-*/lib/clang/*/lib/linux/libclang_rt.fuzzer-$(uname -m).a" >/dev/null; then
  fuzz=ON
fi
# Every option the tests need is set here, whatever an earlier configure of the same build folder
# left in its cache (run-example.sh configures it without tests).
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=ON \
  -DQUILMARK_BUILD_GUI=ON -DQUILMARK_BUILD_BENCH=ON -DQUILMARK_BUILD_LIVE="$live" \
  -DQUILMARK_BUILD_FUZZ="$fuzz" >/dev/null
cmake --build "$build" -j"$(nproc)"
cd "$build"
# A build folder without tests is a failure, never a pass.
ctest --output-on-failure --no-tests=error -j"$(nproc)" --timeout 600

#!/usr/bin/env bash
# Measures Larkspan's start-up through its installed launcher against a bare Qt Widgets window
# built and started the same way: the median time to the window being shown and their ratio,
# and Larkspan's resident memory once idle, over 10 rounds on a private Xvfb (argument:
# [rounds]). Builds what an installation needs and the baseline into $BUILD_DIR (default
# ./build) first.
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${BUILD_DIR:-$top/build}

if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S "$top" -B "$build" -G Ninja
fi
cmake --build "$build" --target larkspan textract.bin pdfi.bin larkspan_icons \
  larkspan_packaging_files startup-baseline
exec bash "$top/bench/startup.sh" "$build" "$build/bench/startup-baseline" "${1:-10}"

#!/usr/bin/env bash
# Measures Larkspan's start-up: the median time from starting the program to its main window
# being shown, and its resident memory once idle, over 10 starts on a private Xvfb (argument:
# [runs]). Builds the program into $BUILD_DIR (default ./build) first when needed.
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${BUILD_DIR:-$top/build}

if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S "$top" -B "$build" -G Ninja
fi
cmake --build "$build" --target larkspan
exec bash "$top/bench/startup.sh" "$build/bin" "${1:-10}"

#!/usr/bin/env bash
# Measures the installer download through the program's download window against curl on the
# same loopback server: 256 MiB with Content-Length, chunked and read until close, and 16 MiB,
# with the program's peak memory (arguments: [rounds] [rounds of 16 MiB], default 5 and 9).
# Builds the program, the vendor stand-in and the watcher into $BUILD_DIR (default ./build)
# first, and installs curl when it is missing.
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${BUILD_DIR:-$top/build}

"$top/scripts/install-deps.sh" "$top/scripts/bench-packages.txt"

if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S "$top" -B "$build" -G Ninja
fi
cmake --build "$build" --target larkspan vendor-standin download-watch
exec bash "$top/bench/download.sh" "$build/bin" "$build/bench/download-watch" "$@"

#!/usr/bin/env bash
# Measures the HTTP client's download throughput against curl on the same loopback server, and
# its peak memory, for Content-Length, chunked and until-close bodies of 256 MiB (arguments:
# [megabytes] [rounds]). Builds the benchmark into $BUILD_DIR (default ./build) and installs curl
# first when it is missing.
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${BUILD_DIR:-$top/build}

"$top/scripts/install-deps.sh" "$top/scripts/bench-packages.txt"

if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S "$top" -B "$build" -G Ninja
fi
cmake --build "$build" --target http-bench
exec "$build/bin/http-bench" "$@"

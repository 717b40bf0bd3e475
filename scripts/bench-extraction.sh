#!/usr/bin/env bash
# Measures the extraction path on a generated 500-page PDF: the program's way of running the
# extractor and the probe against the poppler tools run directly, the main thread's longest
# stall while a job runs, and the resident memory around jobs (argument: [runs], default 10).
# Builds the benchmark into $BUILD_DIR (default ./build) first.
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${BUILD_DIR:-$top/build}

if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S "$top" -B "$build" -G Ninja
fi
cmake --build "$build" --target extraction-bench
export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}
exec "$build/bin/extraction-bench" "$@"

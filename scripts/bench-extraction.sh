#!/usr/bin/env bash
# Measures the extraction path on generated PDFs: the program's way of running the extractor and
# the probe against the poppler tools run directly (500 pages), the main thread's longest stall
# while a job runs, the resident memory around jobs, 2,000- and 20,000-page documents through the
# program against pdftotext alone, and the byte identity of the text with pdftotext's own over
# the table of options (arguments: [runs] [long runs], default 10 and 3). Installs what it needs
# and builds the benchmark into $BUILD_DIR (default ./build) first.
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${BUILD_DIR:-$top/build}
"$top/scripts/install-deps.sh" "$top/scripts/debian-packages.txt" "$top/scripts/bench-packages.txt"

if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S "$top" -B "$build" -G Ninja
fi
cmake --build "$build" --target extraction-bench
export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}
exec "$build/bin/extraction-bench" "$@"

#!/usr/bin/env bash
# Builds Larkspan and runs every test (unit, widgets, end-to-end).
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
"$top/scripts/build.sh"
ctest --test-dir "$top/build" --output-on-failure --parallel "$(nproc)"

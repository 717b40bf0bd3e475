#!/usr/bin/env bash
# Cross-builds Larkspan for 64-bit Windows into build-win/ and runs its tests under wine:
#   scripts/windows/test.sh [--checks] [extra configure arguments...]
# Steps, each timed: setup.sh (Debian packages, Qt and poppler for Windows), the wine prefix and
# one persistent wineserver, configure, build, ctest. --checks then also runs check-qt.sh,
# check-poppler.sh and check-installer.sh. The wineserver is stopped at the end.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
checks=0
if [ "${1:-}" = --checks ]; then
  checks=1
  shift
fi
build=$larkspan_top/build-win
jobs=${LARKSPAN_JOBS:-$(nproc)}
total=$EPOCHREALTIME

step "setup" "$larkspan_top/scripts/windows/setup.sh" "$build"
source "$larkspan_top/scripts/windows/wine-env.sh" "$build"
trap larkspan_wine_stop EXIT
step "wine prefix and server" larkspan_wine_start

launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
step "configure" cmake -S "$larkspan_top" -B "$build" -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE="$larkspan_top/cmake/toolchains/mingw-w64-x86_64.cmake" \
  "${launcher[@]}" "$@"
step "build" cmake --build "$build" --parallel "$jobs"
step "tests" ctest --test-dir "$build" --output-on-failure --parallel "$jobs"
if [ "$checks" -eq 1 ]; then
  step "check Qt" "$larkspan_top/scripts/windows/check-qt.sh" "$build"
  step "check poppler" "$larkspan_top/scripts/windows/check-poppler.sh" "$build"
  step "check installer" "$larkspan_top/scripts/windows/check-installer.sh" "$build"
fi
awk -v a="$total" -v b="$EPOCHREALTIME" 'BEGIN { printf "== total: %.1f s\n", b - a }'

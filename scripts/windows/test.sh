#!/usr/bin/env bash
# Every Windows step of Larkspan, each timed: cross-builds the program for 64-bit Windows into
# build-win/ and tests it under wine.
#   scripts/windows/test.sh [--checks] [extra configure arguments...]
#
#  1. setup.sh: Debian packages, and the dependencies for Windows in build-win/deps (Qt, poppler,
#     pdftoppm, tesseract, libqpdf), unpacked from the prebuilt archives in ../shared/windows
#     ($LARKSPAN_WIN_PREBUILT) or from the cache of earlier rebuilds, or rebuilt from Debian's
#     sources: a few minutes each, Qt about an hour on two cores.
#  2. the build's wine prefix (about 25 s the first time) and one persistent wineserver;
#  3. configure and build build-win/ (program, adapters, tests; the picture renderer is built
#     for this machine);
#  4. the Linux build's e2e-make-pdf, ocr-pages and adapters in build/, which the end-to-end
#     tests use;
#  5. the unit and widget tests under wine (Qt's offscreen platform), in parallel, each once;
#  6. the installer (build-win/Larkspan-<version>-Setup.exe);
#  7. the end-to-end tests: the installer, the installed program and the uninstaller under wine
#     on a private X server, one at a time.
# --checks then also runs check-qt.sh, check-poppler.sh and check-installer.sh. The wineserver is
# stopped at the end.
#
# Without the prebuilt Qt, step 1 rebuilds it (about an hour) and says so first. Where that hour
# cannot be spent, LARKSPAN_WIN_SKIP_QT_REBUILD=1 skips the whole Windows part instead, with a
# message, and only then.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
checks=0
if [ "${1:-}" = --checks ]; then
  checks=1
  shift
fi
build=$larkspan_top/build-win
linux=$larkspan_top/build
jobs=${LARKSPAN_JOBS:-$(nproc)}
total=$EPOCHREALTIME

# Qt for Windows is ready when it was prepared before or its archive is at hand, prebuilt or
# kept in the cache by an earlier rebuild.
qt_archive=$(larkspan_prebuilt_dir)/qt-6.4.2-mingw-w64-x86_64.tar.xz
qt_cached=$(larkspan_cache_dir)/qt-6.4.2-mingw-w64-x86_64.tar.xz
if [ "${LARKSPAN_WIN_REBUILD:-0}" = 1 ] ||
  { [ ! -f "$build/deps/qt/.origin" ] && [ ! -f "$qt_archive" ] && [ ! -f "$qt_cached" ]; }; then
  cat <<EOF
=====================================================================================
== Qt 6.4.2 for Windows is not prebuilt here ($qt_archive is missing):
== it is now REBUILT FROM DEBIAN'S SOURCES, which takes ABOUT AN HOUR on two cores
== (and some 5 GB of disk while it builds).
=====================================================================================
EOF
  if [ "${LARKSPAN_WIN_SKIP_QT_REBUILD:-0}" = 1 ]; then
    echo "== SKIPPED: the Windows build and its tests (LARKSPAN_WIN_SKIP_QT_REBUILD=1)."
    exit 0
  fi
fi

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

linux_helpers() {
  if [ ! -f "$linux/build.ninja" ]; then
    "$larkspan_top/scripts/install-deps.sh"
    cmake -S "$larkspan_top" -B "$linux" -G Ninja "${launcher[@]}"
  fi
  cmake --build "$linux" --parallel "$jobs" --target e2e-make-pdf ocr-pages textract.bin pdfi.bin
}
step "Linux helpers of the end-to-end tests" linux_helpers

# Every test runs once: a test that fails once is a failure.
step "unit and widget tests" ctest --test-dir "$build" --label-exclude e2e --output-on-failure \
  --parallel "$jobs"
step "installer" cmake --build "$build" --target larkspan_setup
cat "$build/installer-sizes.txt"
step "end-to-end tests" ctest --test-dir "$build" --label-regex e2e --output-on-failure
if [ "$checks" -eq 1 ]; then
  step "check Qt" "$larkspan_top/scripts/windows/check-qt.sh" "$build"
  step "check poppler" "$larkspan_top/scripts/windows/check-poppler.sh" "$build"
  step "check installer" "$larkspan_top/scripts/windows/check-installer.sh" "$build"
fi
awk -v a="$total" -v b="$EPOCHREALTIME" 'BEGIN { printf "== total: %.1f s\n", b - a }'

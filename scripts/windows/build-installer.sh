#!/usr/bin/env bash
# Makes the Windows installer that ships, each step timed:
#   scripts/windows/build-installer.sh [extra configure arguments...]
# gives build-win-setup/Larkspan-<version>-Setup.exe (64-bit; silent with /S) and prints its size
# and the size of the program it installs, which build-win-setup/installer-sizes.txt keeps.
# Its build is one of its own, built as the Debian package is: without the tests, and with the
# vendor host built in alone (LARKSPAN_WEBSITE_HOST_OVERRIDE off). Qt and poppler for Windows
# come from build-win/deps, which setup.sh prepares first (from ../shared/windows, else rebuilt
# from Debian's sources: about an hour for Qt).
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
build=$larkspan_top/build-win-setup
jobs=${LARKSPAN_JOBS:-$(nproc)}
total=$EPOCHREALTIME

step "setup" "$larkspan_top/scripts/windows/setup.sh" "$larkspan_top/build-win"
export LARKSPAN_WIN_DEPS=$larkspan_top/build-win/deps
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
step "configure" cmake -S "$larkspan_top" -B "$build" -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE="$larkspan_top/cmake/toolchains/mingw-w64-x86_64.cmake" \
  -DLARKSPAN_BUILD_TESTS=OFF -DLARKSPAN_WEBSITE_HOST_OVERRIDE=OFF "${launcher[@]}" "$@"
step "build and pack" cmake --build "$build" --parallel "$jobs" --target larkspan_setup

echo "installer: $(find "$build" -maxdepth 1 -name 'Larkspan-*-Setup.exe')"
cat "$build/installer-sizes.txt"
awk -v a="$total" -v b="$EPOCHREALTIME" 'BEGIN { printf "== total: %.1f s\n", b - a }'

#!/usr/bin/env bash
# Shows that the Qt build for Windows in <build>/deps/qt works under wine:
#   scripts/windows/check-qt.sh [build folder, default build-win]
# Cross-builds checks/qt-widgets, then runs it (1) on the offscreen platform, which must find
# fonts and draw the window, and (2) on the windows platform under a private Xvfb, where
# xdotool finds its window by title and types into it. Needs scripts/windows/setup.sh first.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
build=$(realpath -m "${1:-$larkspan_top/build-win}")
source "$larkspan_top/scripts/windows/wine-env.sh" "$build"
check=$build/checks/qt-widgets
failures=0
fail() {
  echo "FAILED: $*"
  failures=$((failures + 1))
}

build_check() {
  cmake -S "$larkspan_top/scripts/windows/checks/qt-widgets" -B "$check" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$larkspan_top/cmake/toolchains/mingw-w64-x86_64.cmake" \
    -DLARKSPAN_WIN_DEPS="$build/deps" -DCMAKE_BUILD_TYPE=Release >/dev/null
  cmake --build "$check"
}
step "build the check program" build_check
step "wine prefix and server" larkspan_wine_start

# Wine drops host variables whose names begin with QT_ and turns WINEQT_ into QT_. The offscreen
# platform draws with the fonts of <qt>/lib/fonts, empty in this build: give it a real folder.
offscreen() {
  WINEQT_QPA_FONTDIR='Z:\usr\share\fonts\truetype\dejavu' \
    "$WINE" "$check/qt-check.exe" -platform offscreen 'Z:\'"${build//\//\\}"'\checks\offscreen.png' \
    | tr -d '\r' | tee "$build/checks/offscreen.txt"
}
step "offscreen platform" offscreen
grep -q '^platform: offscreen$' "$build/checks/offscreen.txt" || fail "not on the offscreen platform"
grep -Eq '^font families: [1-9]' "$build/checks/offscreen.txt" || fail "no fonts found offscreen"
grep -Eq '^dark pixels: [1-9]' "$build/checks/offscreen.txt" || fail "nothing drawn offscreen"

# The windows platform on a private X server.
windows_platform() {
  local xvfb_pid program_pid window start display_file=$build/checks/display
  : >"$display_file"
  Xvfb -displayfd 5 -screen 0 1024x768x24 -nolisten tcp 5>"$display_file" 2>/dev/null &
  xvfb_pid=$!
  timeout 10 bash -c "until [ -s '$display_file' ]; do sleep 0.1; done"
  DISPLAY=:$(cat "$display_file")
  export DISPLAY
  larkspan_wine_desktop_gone
  start=$EPOCHREALTIME
  "$WINE" "$check/qt-check.exe" | tr -d '\r' >"$build/checks/windows.txt" &
  program_pid=$!
  if window=$(timeout 30 xdotool search --sync --name '^Larkspan Qt check$' | head -n 1); then
    awk -v a="$start" -v b="$EPOCHREALTIME" 'BEGIN { printf "window found by xdotool: %.1f s\n", b - a }'
    xdotool windowactivate --sync "$window" 2>/dev/null || xdotool windowfocus --sync "$window"
    xdotool type --delay 20 'typed under wine'
    xdotool key Return
  fi
  timeout 30 tail --pid="$program_pid" -f /dev/null || true
  kill "$xvfb_pid" 2>/dev/null || true
  cat "$build/checks/windows.txt"
}
step "windows platform under Xvfb" windows_platform
grep -q '^platform: windows$' "$build/checks/windows.txt" || fail "not on the windows platform"
grep -q '^typed: typed under wine$' "$build/checks/windows.txt" || fail "typing into the window"

[ "$failures" -eq 0 ] && echo "Qt under wine: all checks passed"
exit "$failures"

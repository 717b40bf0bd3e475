# shellcheck shell=bash
# The wine environment of a Windows build folder (sourced, not run):
#   source scripts/windows/wine-env.sh <build folder>
# Sets the variables wine and the tests need and defines larkspan_wine_start and
# larkspan_wine_stop. Programs are started with $WINE (wine64 itself: /usr/bin/wine warns on
# every run that the 32-bit half is missing).

larkspan_wine_build=$(realpath -m "$1")
export WINE=/usr/lib/wine/wine64
export WINESERVER=/usr/lib/wine/wineserver64
# A prefix of the build's own, so that nothing is written to the user's ~/.wine.
export WINEPREFIX=$larkspan_wine_build/wine
# Wine turns Windows file names into Unix ones through the locale's character set: under the C
# locale (a fresh root, CI, env -i) a name outside ASCII cannot be created. UTF-8 whatever the
# caller has; C.UTF-8 needs no locale package.
export LC_ALL=C.UTF-8
unset LANGUAGE
# No prompts to install Mono or Gecko, which nothing here needs.
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEDEBUG=-all
# Where the programs find the Qt and mingw runtime DLLs (Qt in the dependency folder that the
# toolchain file also reads). Its ";" separators are why this lives in the environment and not
# in a CTest property, which ";" would split.
larkspan_wine_qt=$(realpath -m "${LARKSPAN_WIN_DEPS:-$larkspan_wine_build/deps}/qt/bin")
export WINEPATH="Z:${larkspan_wine_qt//\//\\};Z:\\usr\\lib\\gcc\\x86_64-w64-mingw32\\12-posix;Z:\\usr\\x86_64-w64-mingw32\\lib"

# Creates the prefix once (about 15-30 s, some 700 MB), then keeps one wineserver running, so
# that each program start costs about 0.5 s instead of 3.5 s. The server and wine's services
# (started here by wineboot, else by the first program) outlive the caller: they must hold none
# of its descriptors, or a pipe that the caller's output goes into would never end.
larkspan_wine_start() {
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    mkdir -p "$WINEPREFIX"
    "$WINE" wineboot -i </dev/null >/dev/null 2>&1
    "$WINESERVER" -w
  fi
  # Exit status 2: a server for this prefix is running already.
  "$WINESERVER" -p </dev/null >/dev/null 2>&1 || [ $? -eq 2 ]
  "$WINE" wineboot </dev/null >/dev/null 2>&1
}

# Wine's desktop process (explorer.exe /desktop) keeps the display of the first window program
# that started it and lingers about a second after the last one has ended; a program started
# meanwhile for another display (or none) lands on the old one and is never seen. Waits, up to
# 10 s, until this prefix's desktop has gone.
larkspan_wine_desktop_gone() {
  local pid end=$((SECONDS + 10)) found
  while [ "$SECONDS" -lt "$end" ]; do
    found=0
    for pid in $(pgrep -f 'explorer.exe /desktop'); do
      tr '\0' '\n' <"/proc/$pid/environ" 2>/dev/null | grep -qxF "WINEPREFIX=$WINEPREFIX" && found=1
    done
    [ "$found" -eq 0 ] && return 0
    sleep 0.1
  done
  return 1
}

# Ends the wineserver of this prefix (and with it any program still running in the prefix).
larkspan_wine_stop() {
  "$WINESERVER" -k 2>/dev/null || true
}

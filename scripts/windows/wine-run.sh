#!/usr/bin/env bash
# The build's emulator: runs a Windows program under wine64 and passes on its output and exit
# status. The output goes through files, not straight into the caller's pipes: a wine process
# that the program happens to start (the desktop process, when it creates its first window)
# inherits the program's descriptors and lingers after it, and a pipe into CTest would then stay
# open, so that a test that has ended is waited for until its time runs out.
out=$(mktemp) && err=$(mktemp) || exit 125
trap 'rm -f "$out" "$err"' EXIT
/usr/lib/wine/wine64 "$@" >"$out" 2>"$err"
status=$?
cat "$out"
cat "$err" >&2
exit "$status"

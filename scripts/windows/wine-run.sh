#!/usr/bin/env bash
# The build's emulator: runs a Windows program under wine64 and passes on its output and exit
# status. The program writes into files, which are streamed out as they grow, and not straight
# into the caller's pipes: a wine process that the program happens to start (the desktop
# process, when it creates its first window) inherits the program's descriptors and lingers
# after it, and a pipe into CTest would then stay open, so that a test that has ended would be
# waited for until its time runs out.
# File names outside ASCII need a UTF-8 locale under wine (see wine-env.sh), also when CTest is
# started from a shell that set up the rest of the environment but not this.
export LC_ALL=C.UTF-8
out=$(mktemp) && err=$(mktemp) || exit 125
trap 'rm -f "$out" "$err"' EXIT
/usr/lib/wine/wine64 "$@" <&0 >"$out" 2>"$err" &
program=$!
tail -q -n +1 -s 0.05 -F --pid="$program" "$out" 2>/dev/null &
tail -q -n +1 -s 0.05 -F --pid="$program" "$err" 2>/dev/null >&2 &
wait "$program"
status=$?
# The two tails print what is left and end.
wait
# A program that dies under wine before it prints anything leaves CTest nothing else to show.
[ "$status" -eq 0 ] || echo "wine-run.sh: $1 ended with status $status" >&2
exit "$status"

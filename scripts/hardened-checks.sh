#!/usr/bin/env bash
# The hardened checks in one command: the unit and widget tests under AddressSanitizer,
# LeakSanitizer and UBSan, the threaded tests under ThreadSanitizer, and a short run of every
# fuzz target. Installs what it needs first (apt, like scripts/install-deps.sh), runs every
# part even when one fails, prints the time of each and fails when any part failed.
#
#   scripts/hardened-checks.sh [fuzz-seconds-per-target]     (default 7)
set -uo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
fuzz_seconds=${1:-7}

"$top/scripts/install-deps.sh" "$top/scripts/debian-packages.txt" \
  "$top/scripts/hardened-packages.txt" || exit 1

results=()
failed=0
part() { # <name> <command...>
  local name=$1 start status
  shift
  echo "==== $name"
  start=$(date +%s)
  "$@"
  status=$?
  results+=("$(printf '%-32s %6d s  %s' "$name" $(($(date +%s) - start)) \
    "$([ $status -eq 0 ] && echo ok || echo FAILED)")")
  [ $status -eq 0 ] || failed=1
}

part "asan+lsan+ubsan tests" "$top/scripts/sanitize.sh" asan
part "tsan tests" "$top/scripts/sanitize.sh" tsan
part "fuzz (${fuzz_seconds} s per target)" "$top/scripts/fuzz.sh" "$fuzz_seconds"

echo
echo "==== hardened checks (each part includes its configure and build)"
printf '%s\n' "${results[@]}"
exit $failed

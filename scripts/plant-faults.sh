#!/usr/bin/env bash
# Measures how many realistic faults the fast tests catch. Plants each one-line fault of a list,
# one at a time: rebuilds build/, runs the unit and widget tests (or the tests a fault names),
# notes "caught" (some test failed), "missed" (all passed) or "no build", and restores the file
# with git, also when the script is interrupted. A developer tool, not part of CI.
#
#   scripts/plant-faults.sh [list] [seconds-per-run]
#
# The list (default scripts/faults.txt) holds one fault a line, fields separated by tabs:
#   file <TAB> the line's text <TAB> the replacement [<TAB> ctest -R regex]
# The line's text is compared without its leading and trailing blanks and must occur exactly once
# in the file; the replacement keeps the line's indentation. Lines starting with # are comments.
# Each file must have no uncommitted change, since it is restored from git. The build must exist
# (scripts/build.sh). Results go to build/plant-faults.log as well.
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
list=${1:-$top/scripts/faults.txt}
limit=${2:-600}
build=$top/build
log=$build/plant-faults.log
cd "$top"
[ -d "$build" ] || { echo "no build folder: run scripts/build.sh first" >&2; exit 2; }

planted=""
restore() {
  if [ -n "$planted" ]; then
    git checkout -q -- "$planted"
    planted=""
  fi
}
trap restore EXIT
trap 'restore; exit 130' INT TERM HUP

caught=0 missed=0 unbuilt=0 number=0
: >"$log"
while IFS=$'\t' read -r -u 3 file text replacement tests || [ -n "$file" ]; do
  case "$file" in '' | '#'*) continue ;; esac
  number=$((number + 1))
  if ! git diff --quiet HEAD -- "$file"; then
    echo "$number $file: has uncommitted changes, skipped" | tee -a "$log"
    continue
  fi
  planted=$file
  if ! FAULT_TEXT=$text FAULT_NEW=$replacement python3 - "$file" <<'EOF'; then
import os, sys
path, text, new = sys.argv[1], os.environ["FAULT_TEXT"].strip(), os.environ["FAULT_NEW"].strip()
lines = open(path, encoding="utf-8").read().split("\n")
hits = [i for i, line in enumerate(lines) if line.strip() == text]
if len(hits) != 1:
    sys.exit(f"{path}: the line occurs {len(hits)} times: {text}")
line = lines[hits[0]]
lines[hits[0]] = line[: len(line) - len(line.lstrip())] + new
open(path, "w", encoding="utf-8").write("\n".join(lines))
EOF
    restore
    echo "$number $file: line not found once, skipped" | tee -a "$log"
    continue
  fi
  result=missed
  failed=""
  if ! timeout "$limit" cmake --build "$build" </dev/null >"$build/plant-faults.build" 2>&1; then
    result="no build"
  else
    select=(-L 'unit|widgets')
    [ -n "${tests:-}" ] && select=(-R "$tests")
    if ! timeout "$limit" ctest --test-dir "$build" "${select[@]}" --parallel "$(nproc)" \
      </dev/null >"$build/plant-faults.tests" 2>&1; then
      result=caught
      failed=$(grep -E '^\s+[0-9]+ - ' "$build/plant-faults.tests" | sed -E 's/^\s+[0-9]+ - //' |
        head -3 | paste -sd ';' -)
      [ -n "$failed" ] || failed="(time limit)"
    fi
  fi
  restore
  case "$result" in
    caught) caught=$((caught + 1)) ;;
    missed) missed=$((missed + 1)) ;;
    *) unbuilt=$((unbuilt + 1)) ;;
  esac
  printf '%s %s: %s -> %s: %s %s\n' "$number" "$file" "$text" "$replacement" "$result" "$failed" |
    tee -a "$log"
done 3<"$list"
# Leave the build as the sources are.
cmake --build "$build" >/dev/null
echo "caught $caught, missed $missed, not built $unbuilt" | tee -a "$log"

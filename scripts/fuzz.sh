#!/usr/bin/env bash
# Builds the parsers' libFuzzer targets (clang, ASan and UBSan) into ./build-fuzz and runs each
# for a fixed time, one after the other, printing the executions of each.
#
#   scripts/fuzz.sh [seconds-per-target] [target...]
#
# Default: 7 seconds each (about a minute for all), for CI; give minutes by hand, e.g. 300.
# Targets are the names in tests/fuzz/CMakeLists.txt (http_response, cookies, ...); default all.
# Inputs the fuzzer finds are kept in build-fuzz/fuzz-corpus/<target> (the seeds stay in
# tests/fuzz/corpus). The first crash or broken invariant stops the run; the input is saved
# under build-fuzz/fuzz-artifacts/<target>/ and the script says where. Replay it with
#   build-fuzz/bin/fuzz/fuzz_<target> <file>
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
seconds=${1:-7}
shift || true
build="$top/build-fuzz"
fuzz_dir="$top/tests/fuzz"

if ! [[ "$seconds" =~ ^[0-9]+$ ]] || [ "$seconds" -lt 1 ]; then
  echo "usage: $0 [seconds-per-target] [target...]" >&2
  exit 2
fi
if ! command -v clang++ >/dev/null; then
  echo "clang++ is missing: apt-get install clang libclang-rt-14-dev" >&2
  exit 2
fi

launcher=()
if command -v ccache >/dev/null; then
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
started=$(date +%s)
cmake -S "$top" -B "$build" -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=Debug \
  -DLARKSPAN_FUZZ=ON -DLARKSPAN_BUILD_TESTS=OFF "${launcher[@]}" >/dev/null

all=$(sed -n '/^set(LARKSPAN_FUZZ_TARGETS/,/)/p' "$fuzz_dir/CMakeLists.txt" |
  tr -d '()' | tr ' ' '\n' | sed '/^$/d;/set/d;/LARKSPAN_FUZZ_TARGETS/d')
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  mapfile -t targets <<<"$all"
fi
for t in "${targets[@]}"; do
  if ! grep -qx "$t" <<<"$all"; then
    echo "unknown fuzz target '$t'; known: $(echo $all)" >&2
    exit 2
  fi
done
cmake --build "$build" --target "${targets[@]/#/fuzz_}"
echo "build: $(($(date +%s) - started)) s"

# The dictionary of each target, and any option of its own.
dict_of() {
  case "$1" in
    shell_quoting) echo "$fuzz_dir/dict/text_rules.dict" ;;
    *) echo "$fuzz_dir/dict/$1.dict" ;;
  esac
}
options_of() {
  case "$1" in
    # Long enough for a header line beyond the 16384-byte line limit.
    http_response) echo "-max_len=20000" ;;
    *) echo "-max_len=4096" ;;
  esac
}

# A UBSan report names the whole call chain, not only the line in a library header.
export UBSAN_OPTIONS="print_stacktrace=1${UBSAN_OPTIONS:+:$UBSAN_OPTIONS}"
printf '%-20s %12s %10s %8s\n' target executions exec/s corpus >"$build/fuzz-summary.txt"
for t in "${targets[@]}"; do
  corpus="$build/fuzz-corpus/$t"
  artifacts="$build/fuzz-artifacts/$t"
  log="$build/fuzz-logs/$t.log"
  mkdir -p "$corpus" "$artifacts" "$(dirname "$log")"
  echo "== fuzz_$t for ${seconds} s"
  # shellcheck disable=SC2046
  if ! "$build/bin/fuzz/fuzz_$t" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
      -use_value_profile=1 -print_final_stats=1 -dict="$(dict_of "$t")" $(options_of "$t") \
      -artifact_prefix="$artifacts/" "$corpus" "$fuzz_dir/corpus/$t" >"$log" 2>&1; then
    tail -n 40 "$log"
    echo
    echo "fuzz_$t FAILED; the input is saved as:"
    grep -o "Test unit written to .*" "$log" | sed 's/Test unit written to /  /' || true
    echo "full log: $log"
    echo "replay:   $build/bin/fuzz/fuzz_$t <input>"
    exit 1
  fi
  runs=$(awk '/stat::number_of_executed_units:/ {print $2}' "$log")
  rate=$(awk '/stat::average_exec_per_sec:/ {print $2}' "$log")
  units=$(find "$corpus" -type f | wc -l)
  printf '%-20s %12s %10s %8s\n' "$t" "${runs:-?}" "${rate:-?}" "$units" >>"$build/fuzz-summary.txt"
done
echo
cat "$build/fuzz-summary.txt"
echo "total: $(($(date +%s) - started)) s"

#!/usr/bin/env bash
# Instrumented test runs, each in a build folder of its own (clang, -O1 -g):
#
#   scripts/sanitize.sh asan   AddressSanitizer, LeakSanitizer and UBSan over the unit and widget
#                              tests (build-asan)
#   scripts/sanitize.sh tsan   ThreadSanitizer over the tests with threads: the extraction job
#                              and its hand-over to the main thread, the update check, the
#                              console runner and the HTTP loopback tests (build-tsan)
#   scripts/sanitize.sh        both
#
# Each mode prints how long its configure+build and its run took. A finding fails the test that
# made it; the report is in the test's output (ctest --output-on-failure shows it). Extra
# arguments after the mode go to ctest (e.g. -R Cookies).
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
supp="$top/tests/sanitizers"
modes=("${1:-all}")
shift || true
[ "${modes[0]}" = all ] && modes=(asan tsan)

if ! command -v clang++ >/dev/null; then
  echo "clang++ is missing: apt-get install clang libclang-rt-14-dev" >&2
  exit 2
fi
launcher=()
if command -v ccache >/dev/null; then
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
jobs=$(nproc)

# Every test executable of the unit and widget areas (the end-to-end and package tests start
# the installed or staged program and are not part of these runs).
unit_and_widget_tests() {
  grep -ho 'larkspan_test([A-Za-z0-9_]*' "$top"/tests/unit/*.cmake "$top"/tests/widgets/*.cmake |
    sed 's/larkspan_test(//'
  sed -n '/^set(LARKSPAN_FUZZ_TARGETS/,/)/p' "$top/tests/fuzz/CMakeLists.txt" |
    tr -d '()' | tr ' ' '\n' | sed '/^$/d;/^set$/d;/LARKSPAN_FUZZ_TARGETS/d;s/^/fuzz_replay_/'
}

# The test executables that start threads.
thread_tests() {
  echo job_test online_widget_tests platform_tests http_loopback_tests tools_test | tr ' ' '\n'
}

configure_and_build() { # <build dir> <sanitizers> <targets...>
  local dir=$1 sanitizers=$2
  shift 2
  cmake -S "$top" -B "$dir" -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=Debug \
    -DLARKSPAN_SANITIZE="$sanitizers" "${launcher[@]}" >/dev/null
  cmake --build "$dir" --parallel "$jobs" --target "$@"
}

# Runs the tests whose executables were built; a test of a missing executable is left out
# rather than counted as failed.
run_tests() { # <build dir> <tests left out> [ctest arguments...]
  local dir=$1 exclude=$2
  shift 2
  ctest --test-dir "$dir" -L 'unit|widgets' -E "$exclude" --output-on-failure \
    --parallel "$jobs" --timeout 300 "$@"
}

status=0
for mode in "${modes[@]}"; do
  case "$mode" in
    asan)
      dir="$top/build-asan"
      t0=$(date +%s)
      mapfile -t targets < <(unit_and_widget_tests)
      configure_and_build "$dir" address,undefined "${targets[@]}"
      t1=$(date +%s)
      # Leaks are checked at every exit, the tools' and the program's included.
      export ASAN_OPTIONS="detect_leaks=1:detect_stack_use_after_return=1:check_initialization_order=1:strict_init_order=1"
      export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
      run_tests "$dir" '_NOT_BUILT$' "$@" || status=1
      t2=$(date +%s)
      echo "asan: configure+build $((t1 - t0)) s, tests $((t2 - t1)) s"
      ;;
    tsan)
      dir="$top/build-tsan"
      t0=$(date +%s)
      mapfile -t targets < <(thread_tests)
      configure_and_build "$dir" thread "${targets[@]}"
      t1=$(date +%s)
      export TSAN_OPTIONS="suppressions=$supp/tsan.supp:second_deadlock_stack=1:halt_on_error=0:exitcode=66"
      run_tests "$dir" '_NOT_BUILT$|^fuzz_corpus' "$@" || status=1
      t2=$(date +%s)
      echo "tsan: configure+build $((t1 - t0)) s, tests $((t2 - t1)) s"
      ;;
    *)
      echo "usage: $0 [asan|tsan|all] [ctest arguments...]" >&2
      exit 2
      ;;
  esac
done
exit $status

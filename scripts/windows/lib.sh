# shellcheck shell=bash
# Shared by the scripts of scripts/windows (sourced, not run).

larkspan_top=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)

# The prebuilt Windows dependencies, when this machine has them: a folder beside the checkout.
larkspan_prebuilt_dir() {
  echo "${LARKSPAN_WIN_PREBUILT:-$larkspan_top/../shared/windows}"
}

# Where rebuilt dependencies are kept between builds and checkouts, outside the checkout.
larkspan_cache_dir() {
  echo "${LARKSPAN_WIN_CACHE:-$HOME/.cache/larkspan-windows}"
}

# step <name> <command...>: runs the command and prints how long it took, so that every script
# here reports the time of each of its steps the same way.
step() {
  local name=$1 start
  shift
  echo "== $name"
  start=$EPOCHREALTIME
  "$@"
  awk -v a="$start" -v b="$EPOCHREALTIME" -v n="$name" 'BEGIN { printf "== %s: %.1f s\n", n, b - a }'
}

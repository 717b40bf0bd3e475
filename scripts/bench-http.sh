#!/usr/bin/env bash
# Measures the HTTP client's download throughput against curl on the same loopback server, and
# its peak memory, for Content-Length, chunked and until-close bodies of 256 MiB (arguments:
# [megabytes] [rounds]). Builds the benchmark into $BUILD_DIR (default ./build) and installs curl
# first when it is missing.
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${BUILD_DIR:-$top/build}

if ! command -v curl >/dev/null 2>&1; then
  sudo=""
  if [ "$(id -u)" -ne 0 ]; then
    sudo="sudo"
  fi
  export DEBIAN_FRONTEND=noninteractive
  $sudo apt-get update -q
  $sudo apt-get install -y -q --no-install-recommends curl
fi

if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S "$top" -B "$build" -G Ninja
fi
cmake --build "$build" --target http-bench
exec "$build/bin/http-bench" "$@"

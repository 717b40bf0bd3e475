#!/usr/bin/env bash
# Configures and builds into ./build, then stages an installation with its installation record
# into ./build/stage. Extra arguments go to the configure step.
set -euo pipefail
# Started with an empty environment (env -i), bash has a search path of its own but does not
# hand it to the programs it starts, and cmake then cannot find its own modules.
[[ $(declare -p PATH) == "declare -x"* ]] || export PATH=/usr/local/bin:/usr/bin:/bin:/usr/sbin:/sbin
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$top"
"$top/scripts/install-deps.sh"
# ccache, where the machine has it, makes rebuilds after a checkout cheap.
launcher=()
command -v ccache >/dev/null &&
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
cmake -S . -B build -G Ninja "${launcher[@]}" "$@"
cmake --build build --parallel "$(nproc)"
cmake --install build --prefix "$top/build/stage" >/dev/null

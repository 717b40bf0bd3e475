#!/usr/bin/env bash
# Builds Larkspan and runs every test (unit, widgets, end-to-end).
set -euo pipefail
# Started with an empty environment (env -i), bash has a search path of its own but does not
# hand it to the programs it starts, and cmake then cannot find its own modules.
[[ $(declare -p PATH) == "declare -x"* ]] || export PATH=/usr/local/bin:/usr/bin:/bin:/usr/sbin:/sbin
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
"$top/scripts/build.sh"
ctest --test-dir "$top/build" --output-on-failure --parallel "$(nproc)"

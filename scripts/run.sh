#!/usr/bin/env bash
# Builds Larkspan and starts the staged program with its staged installation record.
set -euo pipefail
# Started with an empty environment (env -i), bash has a search path of its own but does not
# hand it to the programs it starts, and cmake then cannot find its own modules.
[[ $(declare -p PATH) == "declare -x"* ]] || export PATH=/usr/local/bin:/usr/bin:/bin:/usr/sbin:/sbin
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
"$top/scripts/build.sh"
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  cat >&2 <<MSG
Larkspan is a desktop program and needs a graphical display, but neither DISPLAY nor
WAYLAND_DISPLAY is set. The build is ready in build/stage. To try it without a desktop, run it
on a virtual display and look at it through a screenshot, for example:

  Xvfb :99 -screen 0 1280x800x24 &
  sleep 1; DISPLAY=:99 build/stage/bin/larkspan &
  sleep 2; xwd -root -display :99 | convert xwd:- larkspan.png

or run this command again from a desktop session.
MSG
  exit 1
fi
exec "$top/build/stage/bin/larkspan"

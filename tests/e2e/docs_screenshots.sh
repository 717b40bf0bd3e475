#!/usr/bin/env bash
# Takes the pictures of docs/screenshots with the end-to-end harness: the main window as it opens
# and the About window. Arguments: BIN_DIR [OUT_DIR], OUT_DIR by default docs/screenshots.
#
# The windows show the vendor host. To show the built-in one rather than the closed loopback
# port the tests use, the run moves into a network namespace of its own where nothing but an
# unconfigured loopback exists, so the background check cannot reach anything; where
# namespaces are not allowed it keeps the loopback port.
set -euo pipefail
if [ -z "${LARKSPAN_SCREENSHOTS_OFFLINE:-}" ] && unshare --map-root-user --net true 2>/dev/null; then
    LARKSPAN_SCREENSHOTS_OFFLINE=1 exec unshare --map-root-user --net bash "$0" "$@"
fi
out=${2:-$(dirname "${BASH_SOURCE[0]}")/../../docs/screenshots}
mkdir -p "$out"
out=$(cd "$out" && pwd)

# shellcheck source-path=SCRIPTDIR source=lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
e2e_init "$1" docs-screenshots
if [ -n "${LARKSPAN_SCREENSHOTS_OFFLINE:-}" ]; then
    unset LARKSPAN_WEBSITE_HOST
fi
e2e_write_record

e2e_start main
main=$(e2e_wait_window Larkspan main)
cp "$(e2e_screenshot "$main" main-window)" "$out/main-window.png"
e2e_key "$main" ctrl+b
about=$(e2e_wait_window "About Larkspan" main)
cp "$(e2e_screenshot "$about" about)" "$out/about-window.png"
e2e_key "$about" Escape
e2e_wait_window_gone "$about"
e2e_key "$main" ctrl+w
e2e_wait_exit main
printf 'Saved %s and %s\n' "$out/main-window.png" "$out/about-window.png"
e2e_pass

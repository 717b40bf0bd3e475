#!/usr/bin/env bash
# Once a copy has ended, the next one starts normally: after a copy closed through Ctrl+W, and
# after a copy that was killed and so never released its lock itself (its lock file stays
# behind; only the lock on it goes with the process).
# Argument: the build's bin folder.
# shellcheck source-path=SCRIPTDIR source=lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
e2e_init "$1" startup-after-first-ended
e2e_write_record

e2e_start first
window=$(e2e_wait_window Larkspan first)
e2e_key "$window" ctrl+w
e2e_wait_exit first
e2e_expect_eq "$E2E_EXIT_STATUS" 0 "exit status of the first copy"

e2e_start second
e2e_wait_window Larkspan second >/dev/null
e2e_kill second KILL
[ -e "$XDG_RUNTIME_DIR/Larkspan" ] || e2e_fail "no lock file left behind by the killed copy"

e2e_start third
window=$(e2e_wait_window Larkspan third)
e2e_key "$window" ctrl+w
e2e_wait_exit third
e2e_expect_eq "$E2E_EXIT_STATUS" 0 "exit status of the third copy"
e2e_pass

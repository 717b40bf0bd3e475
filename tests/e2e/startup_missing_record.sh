#!/usr/bin/env bash
# Without an installation record the program shows one error box that asks for a new
# installation; Enter closes it and the program ends with status 0. The main window is never
# shown: the only window mapped during the whole run is the box.
# Argument: the build's bin folder.
# shellcheck source-path=SCRIPTDIR source=lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
e2e_init "$1" startup-missing-record
e2e_remove_record
e2e_watch_maps

e2e_start main
box=$(e2e_wait_window Error main)
text=$(e2e_copy_box_text "$box")
e2e_expect_contains "$text" $'\nCould not determinated the application\'s\nversion number!\n' \
    "text of the error box"
e2e_expect_contains "$text" $'\nPlease re-install this software!\n' "text of the error box"

e2e_key "$box" Return
e2e_wait_exit main
e2e_expect_eq "$E2E_EXIT_STATUS" 0 "exit status"
e2e_expect_eq "$(e2e_mapped_windows)" "$box" "windows shown during the run"
e2e_pass

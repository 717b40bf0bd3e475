#!/usr/bin/env bash
# A second copy started while the first runs shows only the warning "An instance of Larkspan is
# already running!", centred on the screen since no window of its own exists; Enter closes it
# and that copy ends with status 0, while the first copy runs on with its window.
# Argument: the build's bin folder.
# shellcheck source-path=SCRIPTDIR source=lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
e2e_init "$1" startup-second-copy
e2e_write_record

e2e_start first
first_window=$(e2e_wait_window Larkspan first)

e2e_start second
warning=$(e2e_wait_window Warning second)
e2e_expect_contains "$(e2e_copy_box_text "$warning")" \
    $'\nAn instance of Larkspan is already running!\n' "text of the second copy's box"
read -r x y width height < <(e2e_window_geometry "$warning")
e2e_expect_near $((x + width / 2)) 640 1 "warning centre x on the 1280 x 800 screen"
e2e_expect_near $((y + height / 2)) 400 1 "warning centre y on the 1280 x 800 screen"
if e2e_find_window Larkspan second >/dev/null; then
    e2e_fail "the second copy shows a main window"
fi

e2e_key "$warning" Return
e2e_wait_exit second
e2e_expect_eq "$E2E_EXIT_STATUS" 0 "exit status of the second copy"

e2e_running first || e2e_fail "the first copy ended with the second"
e2e_expect_eq "$(e2e_find_window Larkspan first)" "$first_window" "the first copy's window"
e2e_key "$first_window" ctrl+w
e2e_wait_exit first
e2e_expect_eq "$E2E_EXIT_STATUS" 0 "exit status of the first copy"
e2e_pass

#!/usr/bin/env bash
# The program starts into its main window, titled "Larkspan" and centred on the screen, and
# File > Exit's shortcut Ctrl+W closes it: the program ends with status 0.
# Argument: the build's bin folder.
# shellcheck source-path=SCRIPTDIR source=lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
e2e_init "$1" startup-main-window
e2e_write_record

e2e_start main
window=$(e2e_wait_window Larkspan main)

read -r x y width height < <(e2e_window_geometry "$window")
e2e_expect_eq "$width" 496 "main window width"
e2e_expect_near $((x + width / 2)) 640 1 "main window centre x on the 1280 x 800 screen"
e2e_expect_near $((y + height / 2)) 400 1 "main window centre y on the 1280 x 800 screen"
e2e_screenshot "$window" main-window >/dev/null

e2e_key "$window" ctrl+w
e2e_wait_exit main
e2e_expect_eq "$E2E_EXIT_STATUS" 0 "exit status after Ctrl+W"
e2e_pass

#!/usr/bin/env bash
# The program starts into its main window, titled "Larkspan" and centred on the screen, and
# File > Exit's shortcut Ctrl+W closes it: the program ends with status 0. It takes no
# arguments, and neither does the toolkit under it: started with Qt's "-reverse", which would
# mirror the window, it looks exactly the same.
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
plain=$(e2e_screenshot "$window" main-window)

e2e_key "$window" ctrl+w
e2e_wait_exit main
e2e_expect_eq "$E2E_EXIT_STATUS" 0 "exit status after Ctrl+W"

printf '#!/bin/sh\nexec "%s" -reverse\n' "$E2E_PROGRAM" >"$E2E_WORK/reverse.sh"
chmod +x "$E2E_WORK/reverse.sh"
e2e_start reverse "$E2E_WORK/reverse.sh"
window=$(e2e_wait_window Larkspan reverse)
reversed=$(e2e_screenshot "$window" main-window-reverse)
e2e_expect_eq "$(compare -metric AE "$plain" "$reversed" null: 2>&1 || true)" 0 \
    "pixels that differ from the plain start"
e2e_key "$window" ctrl+w
e2e_wait_exit reverse
e2e_pass

#!/usr/bin/env bash
# Help > About (Ctrl+B) shows "About Larkspan". Esc closes it and opens nothing; a click on the
# product name in a second About window closes it and opens the web site of the installation
# record (not the host shown in the window).
# Argument: the build's bin folder.
# shellcheck source-path=SCRIPTDIR source=lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
e2e_init "$1" about-window
website=http://larkspan.example/from-the-record
e2e_write_record "" "$website"

e2e_start main
main=$(e2e_wait_window Larkspan main)

e2e_key "$main" ctrl+b
about=$(e2e_wait_window "About Larkspan" main)
e2e_screenshot "$about" about >/dev/null
e2e_key "$about" Escape
e2e_wait_window_gone "$about"
e2e_expect_eq "$(e2e_opened)" "" "targets opened after Esc"

e2e_key "$main" ctrl+b
about=$(e2e_wait_window "About Larkspan" main)
e2e_click "$about" 180 35 # on the product name, whose label starts at 166,28
e2e_wait_opened "$website"
e2e_wait_window_gone "$about"

e2e_key "$main" ctrl+w
e2e_wait_exit main
e2e_expect_eq "$E2E_EXIT_STATUS" 0 "exit status"
# Had Esc opened anything, it would have been recorded before the click's target.
e2e_expect_eq "$(e2e_opened)" "$website" "targets opened in the whole run"
e2e_pass

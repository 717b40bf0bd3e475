#!/usr/bin/env bash
# A damaged PDF (cut off halfway) picked through the dialog: the probe shows the warning whose
# text says so, Enter closes it, and the input field is empty again, so Ctrl+S only asks for an
# input file. No text file is written.
# Argument: the build's bin folder.
# shellcheck source-path=SCRIPTDIR source=lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
# shellcheck source-path=SCRIPTDIR source=extraction_lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/extraction_lib.sh"
e2e_init "$1" extraction-damaged
e2e_write_record
docs=$E2E_WORK/docs
mkdir -p "$docs"
extraction_make_pdf "$E2E_WORK/whole.pdf"
# The writer puts the catalog and the page tree last, so the first half cannot be repaired.
size=$(stat -c %s "$E2E_WORK/whole.pdf")
head -c $((size / 2)) "$E2E_WORK/whole.pdf" >"$docs/broken.pdf"

e2e_start main
main=$(e2e_wait_window Larkspan main)
extraction_pick_input "$main" "$docs/broken.pdf"
box=$(e2e_wait_window Warning main)
text=$(e2e_copy_box_text "$box")
e2e_expect_contains "$text" $'Couldn\'t read PDF header info!\nProbably this file is damaged!' \
    "warning"
e2e_key "$box" Return
e2e_wait_window_gone "$box"

e2e_key "$main" ctrl+s
box=$(e2e_wait_window Warning main)
e2e_expect_contains "$(e2e_copy_box_text "$box")" "Please specify the input PDF file!" \
    "Ctrl+S after the damaged file"
e2e_key "$box" Return
e2e_wait_window_gone "$box"
e2e_expect_eq "$(extraction_listing "$docs")" broken.pdf "files beside the input"
e2e_expect_eq "$(e2e_opened)" "" "targets opened"

e2e_key "$main" ctrl+w
e2e_wait_exit main
e2e_expect_eq "$E2E_EXIT_STATUS" 0 "exit status"
e2e_pass

#!/usr/bin/env bash
# A confirmed Stop ends a long extraction at once: a document of 100,000 pages keeps the real
# extractor busy for many seconds, the stop button and Yes end it and every process it started
# within moments, the partly written text file is deleted, and the window is unlocked (its File
# menu, disabled while a job runs, answers Ctrl+I again).
# Argument: the build's bin folder.
# shellcheck source-path=SCRIPTDIR source=lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
# shellcheck source-path=SCRIPTDIR source=extraction_lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/extraction_lib.sh"
e2e_init "$1" extraction-stop
e2e_write_record
docs=$E2E_WORK/docs
mkdir -p "$docs"
"$E2E_BIN/e2e-make-pdf" "$docs/long.pdf" pages 100000 || e2e_fail "could not write long.pdf"

e2e_start main
main=$(e2e_wait_window Larkspan main)
extraction_pick_input "$main" "$docs/long.pdf"
menu=$(extraction__menu_height "$main")

e2e_key "$main" ctrl+s
extractor_running() { pgrep -f -- "$docs/long.pdf" >/dev/null; }
deadline=$(e2e__deadline "$E2E_WINDOW_DEADLINE")
until extractor_running && [ -e "$docs/long.txt" ]; do
    e2e__past "$deadline" && e2e_fail "the extractor did not start"
    e2e__nap
done
# The locked window: its fields drawn as disabled fields are. The gauge moves all the while.
e2e_screenshot "$main" during-job "$(extraction_gauge_area "$main")" >/dev/null
# The stop button: 212,186 (180 x 50) in the panel at 85,0.
e2e_click "$main" $((85 + 212 + 90)) $((menu + 186 + 25))
question=$(e2e_wait_window Confirm main)
e2e_expect_contains "$(e2e_copy_box_text "$question")" \
    "Are you sure you want to cancel the extraction?" "stop question"
e2e_key "$question" Return

# Far sooner than the extraction itself would end.
deadline=$(e2e__deadline 5)
while extractor_running || [ -e "$docs/long.txt" ]; do
    e2e__past "$deadline" && e2e_fail "the extractor still runs, or its output is still there: $(pgrep -af -- "$docs/long.pdf")"
    e2e__nap
done
e2e_key "$main" ctrl+i
dialog=$(e2e_wait_window Open main 5)
e2e_key "$dialog" Escape
e2e_wait_window_gone "$dialog"
e2e_expect_eq "$(e2e_opened)" "" "targets opened"
e2e_screenshot "$main" after-stop >/dev/null

e2e_key "$main" ctrl+w
e2e_wait_exit main
e2e_expect_eq "$E2E_EXIT_STATUS" 0 "exit status"
e2e_pass

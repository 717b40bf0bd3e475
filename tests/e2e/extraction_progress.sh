#!/usr/bin/env bash
# A long extraction shows how far it has come: on a document of 300,000 even pages the window's
# gauge and its title move through the share of pages done and tell the page and, once it can,
# the time left, within a factor of two of the time the job then takes; afterwards the gauge is
# empty again, the title plain, the text complete, and the extractor's progress file gone.
# Argument: the build's bin folder.
# shellcheck source-path=SCRIPTDIR source=lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
# shellcheck source-path=SCRIPTDIR source=extraction_lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/extraction_lib.sh"
e2e_init "$1" extraction-progress
e2e_write_record
docs=$E2E_WORK/docs
mkdir -p "$docs"
pages=300000
"$E2E_BIN/e2e-make-pdf" "$docs/long.pdf" pages "$pages" || e2e_fail "could not write long.pdf"

e2e_start main
# The estimate holds as long as the machine keeps its pace for the job. On a machine that other
# work shares, a higher priority for the program and the tools it starts (they inherit it) keeps
# that pace; where it cannot be raised (an ordinary user), the program runs as it is.
renice -n -10 -p "$(e2e_pid main)" >/dev/null 2>&1 || true
ionice -c 2 -n 0 -p "$(e2e_pid main)" >/dev/null 2>&1 || true
main=$(e2e_wait_window Larkspan main)
extraction_pick_input "$main" "$docs/long.pdf"
e2e_expect_eq "$(extraction_page_count "$main")" "$pages" "page count"

e2e_key "$main" ctrl+s
# Long enough for a fair estimate to be shown well before the end: some ten seconds on an idle
# machine, while a busy one may take several times as long.
extraction_watch_progress "$main" "$E2E_WORK/titles.log" 100 &
watcher=$!
E2E_WATCH_PIDS+=("$watcher") # ended by the clean-up should the test fail first
# A picture of the window while the estimate shows (the title is not part of it).
deadline=$(e2e__deadline 60)
until grep -q ' left · Larkspan$' "$E2E_WORK/titles.log" 2>/dev/null; do
    e2e__past "$deadline" && e2e_fail "no estimate of the time left was shown"
    e2e__nap
done
e2e_screenshot "$main" running "$(extraction_gauge_area "$main")" >/dev/null
wait "$watcher" || e2e_fail "the progress was not followed to the job's end"
extraction_check_progress "$E2E_WORK/titles.log" "$pages"

e2e_wait_opened "$docs/long.txt"
e2e_expect_eq "$(tr -cd '\f' <"$docs/long.txt" | wc -c)" "$pages" "page breaks in the text"
e2e_expect_eq "$(find "$TMPDIR" -name 'larkspan-progress-*' | wc -l)" 0 "progress files left"
e2e_screenshot "$main" after-job >/dev/null

e2e_key "$main" ctrl+w
e2e_wait_exit main
e2e_expect_eq "$E2E_EXIT_STATUS" 0 "exit status"
e2e_pass

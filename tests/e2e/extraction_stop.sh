#!/usr/bin/env bash
# A confirmed Stop ends a long extraction at once: a document of 100,000 pages keeps the real
# extractor busy for many seconds, the stop button and Yes end it and every process it started
# within moments, the text file it replaced is left exactly as it was, and the window is unlocked
# (its File menu, disabled while a job runs, answers Ctrl+I again). Then the program is killed
# (kill -9) during a job: within 2 s no process of the job runs, and the old text file is still
# the only one beside the PDF.
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

printf "yesterday's text\r\n" >"$docs/long.txt"
cp "$docs/long.txt" "$E2E_WORK/yesterday.txt"
extractor_running() { pgrep -f -- "$docs/long.pdf" >/dev/null; }
start_replacing() {
    e2e_key "$main" ctrl+s
    local confirm
    confirm=$(e2e_wait_window Confirm main)
    e2e_key "$confirm" Return
    deadline=$(e2e__deadline "$E2E_WINDOW_DEADLINE")
    # The adapter and the pdftotext reading the document it opened.
    until job=$(pgrep -f -- "^textract.bin .*$docs/long.pdf") && pgrep -P "$job" >/dev/null; do
        e2e__past "$deadline" && e2e_fail "the extractor did not start"
        e2e__nap
    done
}
expect_yesterdays_text() { # WHEN
    cmp -s "$docs/long.txt" "$E2E_WORK/yesterday.txt" ||
        e2e_fail "$1 the replaced text file is not what it was: $(head -c 200 "$docs/long.txt" | od -c | head -n 3)"
    e2e_expect_eq "$(extraction_listing "$docs")" $'long.pdf\nlong.txt' "files beside the PDF $1"
}
start_replacing
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
while extractor_running; do
    e2e__past "$deadline" && e2e_fail "the extractor still runs: $(pgrep -af -- "$docs/long.pdf")"
    e2e__nap
done
expect_yesterdays_text "after the stop:"
e2e_key "$main" ctrl+i
dialog=$(e2e_wait_window Open main 5)
e2e_key "$dialog" Escape
e2e_wait_window_gone "$dialog"
e2e_expect_eq "$(e2e_opened)" "" "targets opened"
e2e_screenshot "$main" after-stop >/dev/null

start_replacing
# The interpreter's group (the shell and the adapter) and the tools the adapter started.
processes=$( (pgrep -g "$(ps -o pgid= -p "$job" | tr -d ' ')"; pgrep -P "$job") | paste -sd,)
e2e_kill main
deadline=$(e2e__deadline 2)
while left=$(ps -o pid=,stat=,args= -p "$processes" | awk '$2 !~ /^Z/') && [ -n "$left" ]; do
    e2e__past "$deadline" && e2e_fail "2 s after the program was killed, its job still runs: $left"
    e2e__nap
done
sleep 8
expect_yesterdays_text "10 s after the program was killed:"
e2e_pass

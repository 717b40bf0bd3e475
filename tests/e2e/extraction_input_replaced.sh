#!/usr/bin/env bash
# The input PDF replaced while a long job reads it: another document renamed over it once the
# text has started to come. The job must end with the text of the document it started with, all
# of it, or with an error box (no output file left, nothing opened); never with a text that mixes
# the two documents, or one that is the other document's.
# Argument: the build's bin folder.
# shellcheck source-path=SCRIPTDIR source=lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
# shellcheck source-path=SCRIPTDIR source=extraction_lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/extraction_lib.sh"
e2e_init "$1" extraction-input-replaced
e2e_write_record
docs=$E2E_WORK/docs
mkdir -p "$docs"
"$E2E_BIN/e2e-make-pdf" "$docs/long.pdf" pages 20000 || e2e_fail "could not write long.pdf"
"$E2E_BIN/e2e-make-pdf" "$E2E_WORK/other.pdf" pages 20001 || e2e_fail "could not write other.pdf"
cp "$docs/long.pdf" "$E2E_WORK/original.pdf"

e2e_start main
main=$(e2e_wait_window Larkspan main)
extraction_pick_input "$main" "$docs/long.pdf"
e2e_expect_eq "$(extraction_page_count "$main")" 20000 "page count"

e2e_key "$main" ctrl+s
deadline=$(e2e__deadline "$E2E_WINDOW_DEADLINE")
until [ -s "$docs/long.txt" ] && pgrep -f -- "$docs/long.pdf" >/dev/null; do
    e2e__past "$deadline" && e2e_fail "the extraction wrote no text"
    e2e__nap
done
mv "$E2E_WORK/other.pdf" "$docs/long.pdf"

deadline=$(e2e__deadline 120)
while :; do
    box=$(e2e_find_window Error main 2>/dev/null) && break
    [ -n "$(e2e_opened)" ] && break
    e2e__past "$deadline" && e2e_fail "the job did not end"
    e2e__nap
done
if [ -n "$box" ]; then
    e2e_screenshot "$box" input-changed >/dev/null
    e2e_expect_contains "$(e2e_copy_box_text "$box")" \
        "The input PDF file has changed since it was chosen:" "error box"
    e2e_key "$box" Return
    e2e_wait_window_gone "$box"
    deadline=$(e2e__deadline "$E2E_WINDOW_DEADLINE")
    while [ -e "$docs/long.txt" ]; do
        e2e__past "$deadline" && e2e_fail "the text of the failed job was left"
        e2e__nap
    done
    e2e_expect_eq "$(e2e_opened)" "" "targets opened"
else
    e2e_expect_eq "$(e2e_opened)" "$docs/long.txt" "targets opened"
    pdftotext -enc UTF-8 -eol dos -layout "$E2E_WORK/original.pdf" "$E2E_WORK/original.txt"
    cmp -s "$docs/long.txt" "$E2E_WORK/original.txt" ||
        e2e_fail "the job succeeded with a text that is not the original document's"
fi

e2e_key "$main" ctrl+w
e2e_wait_exit main
e2e_expect_eq "$E2E_EXIT_STATUS" 0 "exit status"
e2e_pass

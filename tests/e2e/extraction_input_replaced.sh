#!/usr/bin/env bash
# The input PDF changed under a long job: first another document renamed over it, then the folder
# that holds it swapped for another folder (and back afterwards), each once the text has started
# to come. Every tool of a job reads the document the job opened, so each job ends with all the
# text of the document it started with; the output's name never holds anything before the job
# has succeeded (it is watched all the while), so no mix of two documents is ever there.
# Argument: the build's bin folder.
# shellcheck source-path=SCRIPTDIR source=lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
# shellcheck source-path=SCRIPTDIR source=extraction_lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/extraction_lib.sh"
e2e_init "$1" extraction-input-replaced
e2e_write_record
docs=$E2E_WORK/docs
mkdir -p "$docs" "$E2E_WORK/swap"
"$E2E_BIN/e2e-make-pdf" "$docs/long.pdf" pages 20000 || e2e_fail "could not write long.pdf"
"$E2E_BIN/e2e-make-pdf" "$E2E_WORK/other.pdf" pages 20001 || e2e_fail "could not write other.pdf"
cp "$E2E_WORK/other.pdf" "$E2E_WORK/swap/long.pdf"
cp "$docs/long.pdf" "$E2E_WORK/original.pdf"
pdftotext -enc UTF-8 -eol dos -layout "$E2E_WORK/original.pdf" "$E2E_WORK/original.txt"

e2e_start main
main=$(e2e_wait_window Larkspan main)
extraction_pick_input "$main" "$docs/long.pdf"
e2e_expect_eq "$(extraction_page_count "$main")" 20000 "page count"

# One job: `change` once it is past its first page, `undo` once the text is in place
# (where the output's path then leads).
job_through() { # CHANGE UNDO
    extraction_pick_input "$main" "$docs/long.pdf"
    rm -f "$docs/long.txt"
    : >"$E2E_OPEN_LOG"
    e2e_key "$main" ctrl+s
    local deadline title
    deadline=$(e2e__deadline "$E2E_WINDOW_DEADLINE")
    # Past its first page: the adapter has opened the document and begun the text.
    until title=$(xdotool getwindowname "$main" 2>/dev/null) &&
        [[ $title =~ Page\ ([0-9]+)\ of ]] && [ "${BASH_REMATCH[1]}" -gt 1 ]; do
        e2e__past "$deadline" && e2e_fail "the job showed no page line"
        e2e__nap
    done
    eval "$1"
    deadline=$(e2e__deadline 120)
    until [ -n "$(e2e_opened)" ]; do
        [ -e "$docs/long.txt" ] && [ -z "$(e2e_opened)" ] && ! cmp -s "$docs/long.txt" "$E2E_WORK/original.txt" &&
            e2e_fail "the output's name held something else than the whole text while the job ran"
        e2e_find_window Error main >/dev/null 2>&1 && e2e_fail "the job ended with an error box"
        e2e__past "$deadline" && e2e_fail "the job did not end"
        e2e__nap
    done
    e2e_expect_eq "$(e2e_opened)" "$docs/long.txt" "targets opened"
    cmp -s "$docs/long.txt" "$E2E_WORK/original.txt" ||
        e2e_fail "the job gave a text that is not all of the original document's"
    eval "$2"
}
job_through 'mv "$docs/long.pdf" "$E2E_WORK/renamed.pdf"; mv "$E2E_WORK/other.pdf" "$docs/long.pdf"' \
    'mv "$E2E_WORK/renamed.pdf" "$docs/long.pdf"'
job_through 'mv "$docs" "$E2E_WORK/away"; mv "$E2E_WORK/swap" "$docs"' \
    'mv "$docs" "$E2E_WORK/swap"; mv "$E2E_WORK/away" "$docs"'

e2e_key "$main" ctrl+w
e2e_wait_exit main
e2e_expect_eq "$E2E_EXIT_STATUS" 0 "exit status"
e2e_pass

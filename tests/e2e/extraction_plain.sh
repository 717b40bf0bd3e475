#!/usr/bin/env bash
# The whole extraction path: File > Input PDF file (Ctrl+I) and a path typed into the dialog; the
# probe counts 3 pages and proposes the output name beside the input; Ctrl+S runs the real
# extractor, which writes the known words as UTF-8 with CR LF line ends and a form feed after
# each page; the finished text file is handed to the desktop to open, and nothing else is. Then a
# document whose columns are stored right one first, extracted with Raw chosen by the keyboard,
# comes out in content-stream order, unlike its layout. An output that is the input under a
# second name or through a link, or that is a FIFO, is refused before anything runs, and the PDF
# and the FIFO stay. Last, a scan of the first page (a picture of it, no text layer) comes out
# with its words recognised by the OCR engine.
# Argument: the build's bin folder.
# shellcheck source-path=SCRIPTDIR source=lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
# shellcheck source-path=SCRIPTDIR source=extraction_lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/extraction_lib.sh"
e2e_init "$1" extraction-plain
e2e_write_record
docs=$E2E_WORK/docs
mkdir -p "$docs"
extraction_make_pdf "$docs/report.pdf"

e2e_start main
main=$(e2e_wait_window Larkspan main)
extraction_pick_input "$main" "$docs/report.pdf"
e2e_expect_eq "$(extraction_page_count "$main")" 3 "page count"
e2e_key "$main" ctrl+s
# The job opens the file only after it has judged the extractor's run a success.
e2e_wait_opened "$docs/report.txt"
e2e_screenshot "$main" after-job >/dev/null
extraction_expect_known_text "$docs/report.txt"
e2e_expect_eq "$(e2e_opened)" "$docs/report.txt" "targets opened"
e2e_expect_eq "$(extraction_listing "$docs")" $'report.pdf\nreport.txt' "files beside the input"

"$E2E_BIN/e2e-make-pdf" "$docs/columns.pdf" columns || e2e_fail "could not write columns.pdf"
extraction_pick_input "$main" "$docs/columns.pdf"
# From the start button, which has the focus after the probe, back against the reading order:
# "Start Pro version", "Open After Extraction", "Insert Page Breaks", then into the radio pair at
# Layout; Right to Raw.
e2e_key "$main" shift+Tab shift+Tab shift+Tab shift+Tab Right ctrl+s
e2e_wait_opened "$docs/columns.txt"
columns=$(tr -s ' \r\n\f' ' ' <"$docs/columns.txt")
e2e_expect_eq "$columns" "Right column Left column " "raw order of columns.txt"

cp "$docs/report.pdf" "$docs/same.pdf"
ln "$docs/same.pdf" "$docs/same.txt"
cp "$docs/report.pdf" "$docs/linked.pdf"
ln -s linked.pdf "$docs/linked.txt"
cp "$docs/report.pdf" "$docs/fifo.pdf"
mkfifo "$docs/fifo.txt"
for name in same linked fifo; do
    extraction_pick_input "$main" "$docs/$name.pdf"
    e2e_key "$main" ctrl+s
    box=$(e2e_wait_window Error main)
    refusal="The output text file is the input PDF file itself:"
    [ "$name" = fifo ] && refusal="The output text file is not a regular file:"
    e2e_expect_contains "$(e2e_copy_box_text "$box")" "$refusal" "the box for $name.txt"
    e2e_key "$box" Return
    e2e_wait_window_gone "$box"
    cmp -s "$docs/report.pdf" "$docs/$name.pdf" || e2e_fail "$name.pdf is not what it was"
done
[ -p "$docs/fifo.txt" ] || e2e_fail "the FIFO named as the output is gone"
e2e_expect_eq "$(e2e_opened)" "$docs/report.txt"$'\n'"$docs/columns.txt" "targets opened"

pdftoppm -f 1 -l 1 -singlefile -r 300 -gray -png "$docs/report.pdf" "$E2E_WORK/page" &&
  img2pdf -o "$docs/scan.pdf" "$E2E_WORK/page.png" || e2e_fail "could not write scan.pdf"
extraction_pick_input "$main" "$docs/scan.pdf"
e2e_key "$main" ctrl+s
# A few seconds of the engine on an idle machine; many times that on one others keep busy.
e2e_wait_opened "$docs/scan.txt" 150
grep -q $'^Larkspan known words page 1\r$' "$docs/scan.txt" ||
  e2e_fail "the scanned page's words were not recognised: $(cat -A "$docs/scan.txt")"

e2e_key "$main" ctrl+w
e2e_wait_exit main
e2e_expect_eq "$E2E_EXIT_STATUS" 0 "exit status"
e2e_pass

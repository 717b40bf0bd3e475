#!/usr/bin/env bash
# The installed program converts a PDF through its real tools: File > Input PDF file (Ctrl+I) with
# a path typed into Windows' own file dialog, in a folder whose name cmd.exe would otherwise act on
# (a blank, "&", "%", parentheses); the probe counts 3 pages and proposes the output beside the
# input; Ctrl+S runs textract.bin through cmd.exe, and the text file is byte for byte what the
# Linux program writes for the same PDF (also for a page of lines closer together than their type
# is high, which the layout sorts as equal in many places). The finished file is handed to the
# shell's "open" verb, which starts the program registered for .txt files with its path. A
# read-only file chosen in Windows' own save dialog is refused with a box that belongs to the main
# window, the dialog comes back, and once it is closed the window still answers the keyboard (Alt+F
# opens the File menu). An output that is a second name of the input (a hard link made by Windows'
# own CreateHardLinkW, through cmd's mklink /H) is refused before anything runs, the PDF unchanged;
# and a job that fails on a full disk leaves yesterday's text file exactly as it was (where a small
# tmpfs can be mounted for that disk). A long document then shows its progress through cmd.exe as
# on Linux: the gauge and the title move through the share of pages done, and every page comes
# out. The program ends at once when its window is closed.
# Argument: the Windows build folder.
# shellcheck source-path=SCRIPTDIR source=lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
win_e2e_init "$1" windows-installed-conversion
win_install
docs="$E2E_WORK/docs ( 100% & more )"
mkdir -p "$docs"
"$WIN_LINUX_BIN/e2e-make-pdf" "$docs/report.pdf" || e2e_fail "could not write report.pdf"
input=$(win_windows_path "$docs/report.pdf")

# A program killed in the prefix before (the recognition test kills one) cannot have removed its
# progress file: only this test's count.
progress_files() { find "$WINEPREFIX/drive_c" -name 'larkspan-progress-*' | sort; }
progress_before=$(progress_files)
e2e_start main "$WIN_START"
main=$(e2e_wait_window Larkspan main)
win_pick_input main "$main" "$input"
e2e_expect_eq "$(extraction_page_count "$main")" 3 "page count"
e2e_key "$main" ctrl+s
e2e_wait_opened "${input%.pdf}.txt"
e2e_screenshot "$main" after-job >/dev/null
win_linux_text "$docs/report.pdf" "$E2E_WORK/linux.txt"
cmp "$docs/report.txt" "$E2E_WORK/linux.txt" ||
    e2e_fail "the text differs from the Linux program's"
extraction_expect_known_text "$docs/report.txt"
e2e_expect_eq "$(e2e_opened)" "${input%.pdf}.txt" "targets opened"
e2e_expect_eq "$(extraction_listing "$docs")" $'report.pdf\nreport.txt' "files beside the input"
"$WIN_LINUX_BIN/e2e-make-pdf" "$E2E_WORK/overlapping.pdf" overlapping ||
    e2e_fail "could not write overlapping.pdf"
(cd "$WIN_FOLDER" && "$WINE" cmd.exe /C "textract.bin -enc UTF-8 -eol dos -layout \
    $(win_windows_path "$E2E_WORK/overlapping.pdf") $(win_windows_path "$E2E_WORK/overlapping.txt")" \
    </dev/null >/dev/null 2>&1) || e2e_fail "textract.bin failed on overlapping.pdf"
win_linux_text "$E2E_WORK/overlapping.pdf" "$E2E_WORK/overlapping-linux.txt"
cmp "$E2E_WORK/overlapping.txt" "$E2E_WORK/overlapping-linux.txt" ||
    e2e_fail "the text of overlapping lines differs from the Linux program's"

locked=$docs/locked.txt
echo "the user's own" >"$locked"
chmod a-w "$locked"
e2e_key "$main" ctrl+o
dialog=$(win_other_window main "$main")
win_dialog_choose "$dialog" "$(win_windows_path "$locked")"
refusal=$(e2e_wait_window Warning main)
e2e_expect_contains "$(e2e_copy_box_text "$refusal")" "This file is set to read-only." \
    "the refusal of a read-only file"
e2e_expect_contains "$(xprop -id "$refusal" WM_TRANSIENT_FOR)" "$(printf '0x%x' "$main")" \
    "the owner of the refusal's box"
e2e_key "$refusal" Return
dialog=$(win_other_window main "$main")
e2e_key "$dialog" Escape
e2e_wait_window_gone "$dialog"
e2e_key "$main" alt+f
menu=$(win_other_window main "$main")
e2e_key "$menu" Escape
e2e_wait_window_gone "$menu"
e2e_expect_eq "$(cat "$locked")" "the user's own" "the read-only file"

cp "$docs/report.pdf" "$docs/same.pdf"
"$WINE" cmd /c mklink /H "$(win_windows_path "$docs/same.txt")" "$(win_windows_path "$docs/same.pdf")" \
    >/dev/null 2>&1 || e2e_fail "mklink /H made no hard link"
[ "$(stat -c %i "$docs/same.txt")" = "$(stat -c %i "$docs/same.pdf")" ] || e2e_fail "same.txt is no hard link"
win_pick_input main "$main" "$(win_windows_path "$docs/same.pdf")"
e2e_key "$main" ctrl+s
box=$(e2e_wait_window Error main)
e2e_expect_contains "$(e2e_copy_box_text "$box")" "The output text file is the input PDF file itself:" "error box"
e2e_key "$box" Return
e2e_wait_window_gone "$box"
cmp -s "$docs/report.pdf" "$docs/same.pdf" || e2e_fail "same.pdf is not what it was"

full=$WINEPREFIX/drive_c/full
mkdir -p "$full"
if mount -t tmpfs -o size=1m tmpfs "$full" 2>/dev/null; then
    unmount_full() { umount "$full"; win__on_exit_hook; }
    E2E_ON_EXIT_HOOK=unmount_full
    "$WIN_LINUX_BIN/e2e-make-pdf" "$full/long.pdf" pages 2000 || e2e_fail "could not write long.pdf"
    printf "yesterday's text\r\n" >"$full/long.txt"
    cp "$full/long.txt" "$E2E_WORK/yesterday.txt"
    dd if=/dev/zero of="$full/filler" bs=4096 2>/dev/null || true
    truncate -s -40K "$full/filler"
    win_pick_input main "$main" 'C:\full\long.pdf'
    e2e_key "$main" ctrl+s
    confirm=$(e2e_wait_window Confirm main)
    e2e_key "$confirm" Return
    box=$(e2e_wait_window Error main 60)
    e2e_expect_contains "$(e2e_copy_box_text "$box")" "I/O Error: Couldn't write text file" "error box"
    e2e_key "$box" Return
    e2e_wait_window_gone "$box"
    cmp -s "$full/long.txt" "$E2E_WORK/yesterday.txt" || e2e_fail "yesterday's long.txt is not what it was"
    e2e_expect_eq "$(extraction_listing "$full")" $'filler\nlong.pdf\nlong.txt' "files on the full disk"
else
    echo "the full-disk part is skipped: no tmpfs can be mounted here"
fi

long_docs=$E2E_WORK/long
mkdir -p "$long_docs"
pages=60000
"$WIN_LINUX_BIN/e2e-make-pdf" "$long_docs/long.pdf" pages "$pages" || e2e_fail "could not write long.pdf"
long=$(win_windows_path "$long_docs/long.pdf")
win_pick_input main "$main" "$long"
e2e_expect_eq "$(extraction_page_count "$main")" "$pages" "page count of the long document"
e2e_key "$main" ctrl+s
extraction_watch_progress "$main" "$E2E_WORK/titles.log" 150
extraction_check_progress "$E2E_WORK/titles.log" "$pages" no-estimate
e2e_wait_opened "${long%.pdf}.txt"
e2e_expect_eq "$(tr -cd '\f' <"$long_docs/long.txt" | wc -c)" "$pages" "page breaks in the long text"
e2e_expect_eq "$(progress_files)" "$progress_before" "progress files left"

closed=$EPOCHREALTIME
e2e_key "$main" ctrl+w
e2e_wait_exit main
ended=$(awk -v a="$closed" -v b="$EPOCHREALTIME" 'BEGIN { printf "%.0f", 1000 * (b - a) }')
echo "the program ended $ended ms after Ctrl+W"
# Hiding the window would wait 2 s for a window manager to withdraw it; there is none here.
[ "$ended" -lt 1500 ] || e2e_fail "the program ran on for $ended ms after its window closed"
e2e_expect_eq "$E2E_EXIT_STATUS" 0 "exit status"
win_uninstall
if mountpoint -q "$full"; then
    umount "$full"
    E2E_ON_EXIT_HOOK=win__on_exit_hook
fi
e2e_pass

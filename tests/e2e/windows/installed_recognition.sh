#!/usr/bin/env bash
# The installed program's textract.bin recognises the scanned pages of a mixed document with the
# OCR engine, page renderer and models installed beside it, run through cmd.exe from the program
# folder as the program runs it. The document: the three text pages of e2e-make-pdf, then a page
# of typeset body text scanned as PNG and another scanned as JPEG (which only a renderer with a
# JPEG decoder reads), then a page of typeset text whose font's Unicode map is rewritten to give
# private-use code points for its letters (a garbled text layer, which is recognised instead;
# the font is embedded, so the page draws without the system's fonts). A TESSDATA_PREFIX left by
# another OCR installation points nowhere useful and must not matter. The text agrees with the
# Linux textract.bin's on the same PDF word for word (1 - word edits / words, as the OCR
# benchmark scores it) to at least 98 %, and each recognised page holds its words. With the
# engine gone from the program folder, the job fails and says so. Then scans of real translated
# text in German, Russian and Chinese and an English page 5 degrees askew, in one document: each
# page is read in its own script and language with the models the installer put there (F1 at
# least 0.95 against the text typeset).
# Then through the program's window, on a document of more scanned pages: Stop during the
# recognition ends every process of the job (textract.bin, the engine, the renderer) within 1 s
# of Yes and before the window unlocks, and the program killed during the recognition takes
# every process of its job with it within 2 s: nothing writes the text file afterwards. Both
# times are printed.
# Argument: the Windows build folder.
# shellcheck source-path=SCRIPTDIR source=lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
win_e2e_init "$1" windows-installed-recognition
ocr_pages=$WIN_LINUX_BIN/../bench/ocr-pages
[ -x "$ocr_pages" ] ||
    e2e_fail "no ocr-pages in the Linux build (scripts/windows/test.sh builds it)"
win_install

scans=$E2E_WORK/scans
mkdir -p "$scans"
"$WIN_LINUX_BIN/e2e-make-pdf" "$scans/text.pdf" || e2e_fail "could not write text.pdf"
"$ocr_pages" make "$scans" 1 /usr/share/common-licenses/GPL-3 >/dev/null ||
    e2e_fail "could not typeset the scanned pages"
pdftoppm -r 300 -gray -png -singlefile "$scans/text-10.pdf" "$scans/png" &&
    pdftoppm -r 300 -gray -jpeg -singlefile "$scans/text-12.pdf" "$scans/jpeg" &&
    img2pdf -o "$scans/scanned.pdf" "$scans/png.png" "$scans/jpeg.jpg" &&
    sed -n '1,60p' /usr/share/common-licenses/GPL-3 >"$scans/garbled.txt" &&
    pango-view --no-display -q --font='Sans 10' --width=800 -o "$scans/typeset.pdf" \
        "$scans/garbled.txt" &&
    qpdf --qdf --object-streams=disable "$scans/typeset.pdf" "$scans/typeset.qdf" &&
    perl -pe 's/^(<[0-9a-fA-F]{2}>) <00(?!20>)([0-9a-fA-F]{2})>$/$1 <E0$2>/' \
        "$scans/typeset.qdf" >"$scans/garbled.pdf" &&
    qpdf --empty --pages "$scans/text.pdf" "$scans/scanned.pdf" "$scans/garbled.pdf" \
        -- "$E2E_WORK/mixed.pdf" ||
    e2e_fail "could not make mixed.pdf"

input=$(win_windows_path "$E2E_WORK/mixed.pdf")
output=$(win_windows_path "$E2E_WORK/windows.txt")
(cd "$WIN_FOLDER" && TESSDATA_PREFIX='C:\nowhere\tessdata' "$WINE" cmd.exe /C \
    "textract.bin -enc UTF-8 -eol dos -layout $input $output" </dev/null \
    >"$E2E_WORK/said.txt" 2>&1) || e2e_fail "textract.bin failed: $(cat "$E2E_WORK/said.txt")"
[ -s "$E2E_WORK/said.txt" ] && e2e_fail "textract.bin printed: $(cat "$E2E_WORK/said.txt")"
win_linux_text "$E2E_WORK/mixed.pdf" "$E2E_WORK/linux.txt"

# Words of each page (pages end with a form feed).
page_words() { # FILE
    tr -d '\r' <"$1" | awk -v RS='\f' '{ print NF }' | head -n 6 | tr '\n' ' '
}
read -r -a words <<<"$(page_words "$E2E_WORK/windows.txt")"
e2e_expect_eq "$(grep -o $'\f' "$E2E_WORK/windows.txt" | wc -l)" 6 "pages in the text"
for page in 4 5 6; do
    [ "${words[page - 1]}" -ge 300 ] ||
        e2e_fail "scanned page $page: ${words[page - 1]} words recognised (${words[*]} by page)"
done

mkdir -p "$E2E_WORK/score"
cp "$E2E_WORK/linux.txt" "$E2E_WORK/score/reference.txt"
: >"$E2E_WORK/score/sizes.txt"
"$ocr_pages" score "$E2E_WORK/score" "$E2E_WORK/windows.txt" "Windows against Linux" \
    >"$E2E_WORK/score.txt" || e2e_fail "could not score the text"
agreement=$(sed -n 's/^ *all .* agreement *\([0-9.]*\)%.*/\1/p' "$E2E_WORK/score.txt")
[ -n "$agreement" ] || e2e_fail "no agreement in the score: $(cat "$E2E_WORK/score.txt")"
awk -v a="$agreement" 'BEGIN { exit !(a >= 98) }' ||
    e2e_fail "the text agrees with the Linux program's to $agreement % only:
$(cat "$E2E_WORK/score.txt")"
printf 'word agreement with the Linux program: %s %%\n' "$agreement"

# Without its engine, a page that needs it fails the job, naming the engine and the remedy.
mv "$WIN_FOLDER/tesseract.exe" "$E2E_WORK/tesseract.exe"
said=$(cd "$WIN_FOLDER" && "$WINE" cmd.exe /C \
    "textract.bin -enc UTF-8 -eol dos -layout $input $output" </dev/null 2>&1 | tr -d '\r' || true)
mv "$E2E_WORK/tesseract.exe" "$WIN_FOLDER/tesseract.exe"
case $said in
"The scanned pages could not be recognised: the OCR engine (tesseract) could not be started ("*"). Reinstall Larkspan.") ;;
*) e2e_fail "textract.bin without its engine said: $said" ;;
esac

"$ocr_pages" samples "$scans/scripts.pdf" German Cyrillic Han "English, 5" ||
    e2e_fail "could not typeset the pages of other scripts"
input=$(win_windows_path "$scans/scripts.pdf")
output=$(win_windows_path "$E2E_WORK/scripts.txt")
(cd "$WIN_FOLDER" && "$WINE" cmd.exe /C "textract.bin -enc UTF-8 -eol dos -layout $input $output" \
    </dev/null >"$E2E_WORK/said.txt" 2>&1) || e2e_fail "textract.bin failed: $(cat "$E2E_WORK/said.txt")"
[ -s "$E2E_WORK/said.txt" ] && e2e_fail "textract.bin printed: $(cat "$E2E_WORK/said.txt")"
"$ocr_pages" f1 "$scans/scripts.pdf.txt" "$E2E_WORK/scripts.txt" "$scans/scripts.pdf.names" \
    >"$E2E_WORK/f1.txt" || e2e_fail "could not score the pages of other scripts"
cat "$E2E_WORK/f1.txt"
e2e_expect_eq "$(wc -l <"$E2E_WORK/f1.txt")" 4 "pages of other scripts scored"
awk '$1 < 0.95 { bad = 1 } END { exit bad }' "$E2E_WORK/f1.txt" ||
    e2e_fail "a page of another script was read at an F1 below 0.95"

long=$E2E_WORK/long.pdf
long_text=$E2E_WORK/long.txt
qpdf --empty --pages "$scans/text.pdf" "$scans/scanned.pdf" "$scans/scanned.pdf" \
    "$scans/scanned.pdf" -- "$long" || e2e_fail "could not make long.pdf"
# The job's live processes: of this wine prefix (the machine may run tools of the same names).
job_processes() {
    local pid
    for pid in $(pgrep -f 'textract\.bin|tesseract\.exe|pdftoppm\.exe|pdftotext\.exe|pdfinfo\.exe'); do
        e2e__alive "$pid" && grep -qzxF "WINEPREFIX=$WINEPREFIX" "/proc/$pid/environ" 2>/dev/null &&
            printf '%s %s\n' "$pid" "$(tr '\0' ' ' <"/proc/$pid/cmdline" 2>/dev/null)"
    done
}
# Once the engine reads a page and the window's title shows the job's progress.
await_recognition() { # MAIN
    local deadline
    deadline=$(e2e__deadline 120)
    until [[ $(job_processes) == *tesseract.exe* && $(xdotool getwindowname "$1") != Larkspan ]]; do
        e2e__past "$deadline" && e2e_fail "the recognition did not start: $(job_processes)"
        e2e__nap
    done
}
ms_since() { awk -v a="$1" -v b="$EPOCHREALTIME" 'BEGIN { printf "%.0f", 1000 * (b - a) }'; }

# With no window manager wine waits 2 s for one to withdraw each window it hides, the Stop
# question's box too, before the program hears the answer: this program's windows are left
# unmanaged (the setting is read as a program starts), as a closed box is gone at once on Windows.
unmanaged() { "$WINE" reg "$1" 'HKCU\Software\Wine\X11 Driver' /v Managed "${@:2}" /f >/dev/null 2>&1; }
# shellcheck disable=SC2317 # run by the library's exit hook
recognition_exit() {
    unmanaged delete
    win__on_exit_hook
}
E2E_ON_EXIT_HOOK=recognition_exit
unmanaged add /d N
e2e_start main "$WIN_START"
main=$(e2e_wait_window Larkspan main)
unmanaged delete
win_pick_input main "$main" "$(win_windows_path "$long")"
e2e_key "$main" ctrl+s
await_recognition "$main"
e2e_screenshot "$main" during-recognition >/dev/null
# The stop button: 212,186 (180 x 50) in the panel at 85,0.
e2e_click "$main" $((85 + 212 + 90)) $(($(extraction__menu_height "$main") + 186 + 25))
question=$(e2e_wait_window Confirm main)
yes=$EPOCHREALTIME
e2e_key "$question" Return
deadline=$(e2e__deadline 20)
gone=
until [ "$(xdotool getwindowname "$main")" = Larkspan ]; do
    [ -n "$gone$(job_processes)" ] || gone=$(ms_since "$yes")
    e2e__past "$deadline" && e2e_fail "the window was not unlocked after Stop"
    e2e__nap
done
unlocked=$(ms_since "$yes")
[ -z "$(job_processes)" ] || e2e_fail "the window unlocked while the job ran: $(job_processes)"
echo "Stop: the job's processes gone ${gone:-$unlocked} ms, the window unlocked $unlocked ms after Yes"
[ "${gone:-$unlocked}" -lt 1000 ] || e2e_fail "the job's processes ran on ${gone:-$unlocked} ms after Yes"
[ -e "$long_text" ] && e2e_fail "the stopped job left its text file"

e2e_key "$main" ctrl+s
await_recognition "$main"
killed=$EPOCHREALTIME
kill -KILL "$(e2e_pid main)"
deadline=$(e2e__deadline 2)
while [ -n "$(job_processes)" ]; do
    e2e__past "$deadline" && e2e_fail "the job outlived the program: $(job_processes)"
    e2e__nap
done
echo "the program killed: its job's processes gone $(ms_since "$killed") ms after"
# Nothing writes the text file once the program has gone.
left=$(stat -c '%s %y' "$long_text" 2>/dev/null || echo none)
e2e__nap 3
e2e_expect_eq "$(stat -c '%s %y' "$long_text" 2>/dev/null || echo none)" "$left" \
    "the text file after the program was killed"
win_uninstall
e2e_pass

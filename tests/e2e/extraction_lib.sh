# shellcheck shell=bash
# Steps shared by the end-to-end tests of the extraction; sourced after lib.sh and e2e_init.
#
#   extraction_make_pdf PATH          Writes the three-page PDF with known words (e2e-make-pdf).
#   extraction_expected_text          The bytes the extractor writes for it with the window's
#                                     first options (layout, page breaks, UTF-8, CR LF).
#   extraction_type WID TEXT          Types TEXT into the window's focused box, character by
#                                     character, as a keyboard would.
#   extraction_pick_input MAIN PATH   File > Input PDF file (Ctrl+I): types the full path into
#                                     the file dialog's name box and presses Enter; returns once
#                                     the dialog is gone (the probe then runs or has run).
#   extraction_page_count MAIN        The text of the page-count box, copied with Ctrl+A, Ctrl+C
#                                     after a click into it (it is read-only but selectable);
#                                     it must differ from what the clipboard held before.
#   extraction_expect_known_text FILE FILE holds exactly extraction_expected_text.
#   extraction_listing DIR            The names in DIR, sorted, one a line.
#   extraction_expect_no_pwned        No file named pwned* anywhere a command run by the shell
#                                     could have made one: the test's folder, the program's
#                                     folder (the tools' working folder) and the current one.

extraction_make_pdf() { # PATH
    "$E2E_BIN/e2e-make-pdf" "$1" || e2e_fail "could not write the PDF $1"
}

extraction_expected_text() {
    local page
    for page in 1 2 3; do
        printf 'Page %d of 3\r\nLarkspan known words page %d\r\nGrüße aus Köln\r\n\f' \
            "$page" "$page"
    done
}

extraction_type() { # WID TEXT
    timeout 10 xdotool windowfocus --sync "$1" || e2e_fail "could not focus window $1"
    timeout 30 xdotool type --delay 10 -- "$2" || e2e_fail "could not type into window $1"
}

# The main window's client area starts below the menu bar, whose height the toolkit chooses.
extraction__menu_height() { # MAIN
    local height
    read -r _ _ _ height < <(e2e_window_geometry "$1")
    printf '%s\n' $((height - 266))
}

extraction_pick_input() { # MAIN PATH
    local main=$1 path=$2 dialog
    e2e_key "$main" ctrl+i
    dialog=$(e2e_wait_window Open main)
    # The dialog opens with its name box focused; a full path there picks that file.
    extraction_type "$dialog" "$path"
    e2e_key "$dialog" Return
    e2e_wait_window_gone "$dialog"
    # Nothing is clicked before the next step: a completion list left open by the dialog would
    # swallow its keys, which the program must prevent.
}

extraction_page_count() { # MAIN
    local main=$1 menu text before deadline
    before=$(timeout 5 xclip -o -selection clipboard 2>/dev/null || true)
    menu=$(extraction__menu_height "$main")
    # The box: 70,44 (40 x 21) in the input group at 6,8 in the panel at 85,0.
    e2e_click "$main" $((85 + 6 + 70 + 20)) $((menu + 8 + 44 + 10))
    e2e_key "$main" ctrl+a ctrl+c
    deadline=$(e2e__deadline "$E2E_WINDOW_DEADLINE")
    while :; do
        text=$(timeout 5 xclip -o -selection clipboard 2>/dev/null || true)
        [ -n "$text" ] && [ "$text" != "$before" ] && break
        e2e__past "$deadline" && e2e_fail "Ctrl+C in the page-count box put nothing on the clipboard"
        e2e__nap
    done
    printf '%s\n' "$text"
}

extraction_expect_known_text() { # FILE
    [ -f "$1" ] || e2e_fail "no extracted text file $1"
    # Compared as bytes: the line ends and the page breaks count. od shows them when they differ.
    if ! cmp -s "$1" <(extraction_expected_text); then
        e2e_fail "$1 holds
$(od -c "$1" | head -n 20)
instead of
$(extraction_expected_text | od -c | head -n 20)"
    fi
}

extraction_listing() { # DIR
    find "$1" -mindepth 1 -maxdepth 1 -printf '%f\n' | LC_ALL=C sort
}

extraction_expect_no_pwned() {
    local found
    found=$({
        find "$E2E_WORK" -name 'pwned*' -print
        find "$E2E_BIN" "$PWD" -maxdepth 1 -name 'pwned*' -print
    } 2>/dev/null || true)
    [ -z "$found" ] || e2e_fail "a part of a file name was run as a command: $found"
}

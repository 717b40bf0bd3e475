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
#   extraction_gauge_area MAIN        The status bar with the job's gauge, as e2e_screenshot
#                                     takes a part that moves ("X,Y,WIDTH,HEIGHT").
#   extraction_page_count MAIN        The text of the page-count box, copied with Ctrl+A, Ctrl+C
#                                     after a click into it (it is read-only but selectable);
#                                     it must differ from what the clipboard held before.
#   extraction_expect_known_text FILE FILE holds exactly extraction_expected_text.
#   extraction_listing DIR            The names in DIR, sorted, one a line.
#   extraction_expect_no_pwned        No file named pwned* anywhere a command run by the shell
#                                     could have made one: the test's folder, the program's
#                                     folder (the tools' working folder) and the current one.
#   extraction_watch_progress MAIN LOG [SECS]
#                                     Records the window's title, which shows a job's progress,
#                                     as "<microseconds> <title>" lines in LOG each time it
#                                     changes, until it reads "Larkspan" again after showing
#                                     progress (the job's end); fails the test at the deadline.
#   extraction_check_progress LOG PAGES [no-estimate]
#                                     Checks the record: the share moved through at least three
#                                     values between 0 and 100 and never went back, the page
#                                     line counted PAGES pages, and (unless told otherwise) the
#                                     first estimate of the time left was within a factor of two
#                                     of the time the job then took. Prints the figures.

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

extraction_gauge_area() { # MAIN
    local width
    read -r _ _ width _ < <(e2e_window_geometry "$1")
    # The status bar: 0,242 (496 x 24) in the client area.
    printf '0,%d,%d,24\n' $(($(extraction__menu_height "$1") + 242)) "$width"
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

extraction_watch_progress() { # MAIN LOG [SECS]
    local main=$1 log=$2 title previous= seen=0 deadline
    deadline=$(e2e__deadline "${3:-60}")
    : >"$log"
    while :; do
        title=$(timeout 5 xdotool getwindowname "$main" 2>/dev/null || true)
        if [ -n "$title" ] && [ "$title" != "$previous" ]; then
            printf '%s %s\n' "$(e2e_now_us)" "$title" >>"$log"
            previous=$title
            case $title in
            *" · Larkspan") seen=1 ;;
            Larkspan) [ "$seen" = 1 ] && return 0 ;;
            esac
        fi
        e2e__past "$deadline" && e2e_fail "the job did not end within ${3:-60} s; titles: $(tail -n 3 "$log")"
        e2e__nap
    done
}

extraction__seconds() { # "45 s" | "4 min" | "1 h 5 min" | "2 h" -> seconds
    local text=$1 total=0
    [[ $text =~ ([0-9]+)\ h ]] && total=$((total + BASH_REMATCH[1] * 3600))
    [[ $text =~ ([0-9]+)\ min ]] && total=$((total + BASH_REMATCH[1] * 60))
    [[ $text =~ ([0-9]+)\ s$ ]] && total=$((total + BASH_REMATCH[1]))
    printf '%s\n' "$total"
}

extraction_check_progress() { # LOG PAGES [no-estimate]
    local log=$1 pages=$2 judge=${3:-estimate} stamp title percent last=-1 middle=0 end estimate= estimated_at= left
    local pattern="^([0-9]+)% · Page ([0-9]+) of ([0-9]+)( — about (.+) left)? · Larkspan\$"
    while read -r stamp title; do
        if [ "$title" = Larkspan ]; then
            end=$stamp
            continue
        fi
        [[ $title =~ $pattern ]] || e2e_fail "a title that is no progress line: '$title'"
        percent=${BASH_REMATCH[1]}
        e2e_expect_eq "${BASH_REMATCH[3]}" "$pages" "pages in the page line"
        [ "$percent" -ge "$last" ] || e2e_fail "the share went back from $last to $percent"
        [ "$percent" -gt "$last" ] && [ "$percent" -gt 0 ] && [ "$percent" -lt 100 ] &&
            middle=$((middle + 1))
        last=$percent
        if [ -z "$estimate" ] && [ -n "${BASH_REMATCH[5]}" ]; then
            estimate=$(extraction__seconds "${BASH_REMATCH[5]}")
            estimated_at=$stamp
        fi
    done <"$log"
    [ "$middle" -ge 3 ] || e2e_fail "the gauge took only $middle values between 0 and 100: $(cat "$log")"
    [ -n "${end:-}" ] || e2e_fail "the title did not come back"
    if [ "$judge" = no-estimate ]; then
        printf 'progress: %s values between 0 and 100\n' "$middle"
        return 0
    fi
    [ -n "$estimate" ] || e2e_fail "no estimate of the time left was shown: $(cat "$log")"
    left=$(((end - estimated_at) / 1000)) # milliseconds the job still took
    printf 'progress: %s values between 0 and 100; first estimate %s s left, the job then took %s.%03d s\n' \
        "$middle" "$estimate" $((left / 1000)) $((left % 1000))
    # Within a factor of two; the estimate is rounded to 5 s below a minute.
    if [ $((estimate * 1000)) -gt $((2 * left + 5000)) ] || [ $((2 * estimate * 1000)) -lt "$left" ]; then
        e2e_fail "the estimate of $estimate s is not within a factor of two of the $left ms the job took"
    fi
}

# shellcheck shell=bash
# End-to-end tests of the Windows program under wine: the installer made by the build
# (Larkspan-<version>-Setup.exe, target larkspan_setup) installs it into the build's wine prefix,
# the installed program runs on a private X server and is driven with xdotool, and the
# uninstaller takes it away again. Built on the Linux tests' library (../lib.sh), whose window,
# key, clipboard and screenshot helpers work on wine's windows alike.
#
#   source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
#   win_e2e_init BUILD_DIR NAME      the Windows build folder (build-win) and the test's name
#   win_install                      runs the installer silently (/S) and checks its result
#   e2e_start main "$WIN_START"      the installed program
#   ...
#   win_uninstall                    runs the uninstaller silently and checks that nothing is
#                                    left when it returns, and soon none of it in the
#                                    temporary folder either
#   e2e_pass
#
# Set by win_e2e_init: the wine environment of the build (scripts/windows/wine-env.sh),
# WIN_FOLDER (the program folder as a Unix path), WIN_FOLDER_W (as wine's programs see it),
# WIN_START (a script that starts the installed program), WIN_SETUP, WIN_LINUX_BIN (the bin folder
# of the Linux build, for e2e-make-pdf and the Linux adapters), WIN_VERSION and WIN_WEBSITE (what
# the installer writes into the record), WIN_TEMP (the temporary folder of wine's user as a Unix
# path). The programs' .txt files open with a recording opener:
# e2e_opened and e2e_wait_opened tell what the program handed to the shell's "open" verb.
# A test that ends with the program still installed (a failure) is uninstalled on the way out.

E2E_HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source-path=SCRIPTDIR source=../lib.sh
source "$E2E_HERE/../lib.sh"
# shellcheck source-path=SCRIPTDIR source=../extraction_lib.sh
source "$E2E_HERE/../extraction_lib.sh"

WIN_RECORD='HKLM\Software\Oxbeck\Larkspan'
WIN_UNINSTALL_KEY='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Larkspan'

win_e2e_init() { # BUILD_DIR NAME
    [ $# -eq 2 ] || e2e_fail "usage: win_e2e_init BUILD_DIR NAME"
    E2E_NAME=$2
    exec {E2E_STDERR}>&2
    E2E_BUILD=$(cd "$1" 2>/dev/null && pwd) || e2e_fail "no build folder '$1'"
    E2E_BIN=$E2E_BUILD/bin
    E2E_WORK=$E2E_BUILD/e2e-work/$E2E_NAME
    E2E_ARTIFACTS=$E2E_BUILD/e2e-artifacts
    WIN_SETUP=$(find "$E2E_BUILD" -maxdepth 1 -name 'Larkspan-*-Setup.exe' | head -n 1)
    [ -n "$WIN_SETUP" ] || e2e_fail "no installer in $E2E_BUILD (build the larkspan_setup target)"
    WIN_VERSION=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$E2E_BUILD/CMakeCache.txt")
    WIN_WEBSITE=$(sed -n 's/^LARKSPAN_WEBSITE_URL:STRING=//p' "$E2E_BUILD/CMakeCache.txt")
    WIN_LINUX_BIN=${LARKSPAN_LINUX_BIN:-$E2E_HERE/../../../build/bin}
    e2e__require_tools

    E2E_ON_EXIT_HOOK=win__on_exit_hook
    trap e2e__on_exit EXIT
    trap 'exit 129' HUP
    trap 'exit 130' INT
    trap 'exit 143' TERM
    rm -rf "$E2E_WORK"
    mkdir -p "$E2E_WORK" "$E2E_ARTIFACTS"
    rm -f "$E2E_ARTIFACTS/$E2E_NAME"-*.png
    mkfifo "$E2E_WORK/nap"
    exec {E2E_NAP_FD}<>"$E2E_WORK/nap"

    export LC_ALL=C.UTF-8
    # shellcheck source-path=SCRIPTDIR source=../../../scripts/windows/wine-env.sh
    source "$E2E_HERE/../../../scripts/windows/wine-env.sh" "$E2E_BUILD"
    # Nothing the program asks the vendor's server reaches further than a closed loopback port.
    export LARKSPAN_WEBSITE_HOST=127.0.0.1:9
    # A desktop of wine's left from a program on another display would take our windows.
    larkspan_wine_desktop_gone || e2e_fail "wine's desktop of an earlier program did not end"
    WIN_FOLDER_W='C:\Program Files\Larkspan'
    WIN_SHORTCUT="$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Larkspan.lnk"
    win_use_folder "$WIN_FOLDER_W"
    WIN_TEMP=$(win_unix_path "$("$WINE" cmd /c echo %TEMP% 2>/dev/null | tr -d '\r')")
    [ -d "$WIN_TEMP" ] || e2e_fail "no temporary folder of wine's user ($WIN_TEMP)"
    win__record_opens
    e2e__start_xvfb
}

# Where the tests expect the program: WIN_FOLDER_W (as wine's programs see it), WIN_FOLDER (as
# a Unix path) and WIN_START (which starts the program there).
win_use_folder() { # WINDOWS_PATH
    WIN_FOLDER_W=$1
    WIN_FOLDER=$(win_unix_path "$1")
    # shellcheck disable=SC2034 # read by the test scripts
    WIN_START=$(win_starter larkspan "$WIN_FOLDER_W\\larkspan.exe")
}

# A script that starts PROGRAM (a Windows or a Unix path) under wine with ARGS, for e2e_start;
# prints its path.
win_starter() { # NAME PROGRAM [ARGS...]
    local script=$E2E_WORK/$1.sh
    shift
    # shellcheck disable=SC2016 # $WINE is expanded when the script runs
    { printf '#!/bin/sh\nexec "$WINE"' && printf ' %q' "$@" && printf '\n'; } >"$script"
    chmod +x "$script"
    printf '%s\n' "$script"
}

# Wine's own reg.exe, its output with Unix line ends; a key or value that is not there is no
# failure (it prints nothing).
win_reg() {
    { "$WINE" reg "$@" 2>/dev/null || true; } | tr -d '\r'
}

# Whether KEY is there in the 64-bit view (reg.exe says so by its status; its complaint about a
# missing key goes to standard output).
win_reg_exists() { # KEY
    "$WINE" reg query "$1" /reg:64 >/dev/null 2>&1
}

# The value of NAME under KEY in the 64-bit view, or nothing.
win_reg_value() { # KEY NAME
    win_reg query "$1" /v "$2" /reg:64 | sed -n "s/^ *$2 \{1,\}REG_[A-Z_]\{1,\} \{1,\}//p"
}

# A Windows path as the Unix file it is (wine's drive Z: is the Unix root, C: its prefix).
win_unix_path() { # WINDOWS_PATH
    "$WINE" winepath -u "$1" 2>/dev/null | tr -d '\r'
}

win_windows_path() { # UNIX_PATH
    "$WINE" winepath -w "$1" 2>/dev/null | tr -d '\r'
}

# .txt files open with the stand-in opener (support/win32/StandInProgram.cpp, built as a window
# program), which writes the paths it is given into E2E_OPEN_LOG; the prefix's own association
# comes back at the end.
win__record_opens() {
    cp "$E2E_BUILD/tests/test-opener.exe" "$E2E_WORK/opener.exe" ||
        e2e_fail "no test-opener.exe in $E2E_BUILD/tests"
    E2E_OPEN_LOG=$E2E_WORK/opened.log
    : >"$E2E_OPEN_LOG"
    WIN_TXT_TYPE=$(win_reg query 'HKCR\.txt' /ve | sed -n 's/^ *(Default) \{1,\}REG_SZ \{1,\}//p')
    win_reg add 'HKCR\.txt' /ve /d larkspan.e2e.text /f >/dev/null
    win_reg add 'HKCR\larkspan.e2e.text\shell\open\command' /ve \
        /d "\"$(win_windows_path "$E2E_WORK/opener.exe")\" \"%1\"" /f >/dev/null
}

win__restore_opens() {
    win_reg delete 'HKCR\larkspan.e2e.text' /f >/dev/null
    if [ -n "${WIN_TXT_TYPE:-}" ]; then
        win_reg add 'HKCR\.txt' /ve /d "$WIN_TXT_TYPE" /f >/dev/null
    else
        win_reg delete 'HKCR\.txt' /f >/dev/null
    fi
}

# The files the installer must write: those of the payload it was made from, the models of the
# components chosen by default (packaging/model-components.txt, "id|label|on|files") and the
# uninstaller (uninstall.exe, which runs and waits for the NSIS uninstaller uninstall.dat).
win__expected_files() {
    {
        (cd "$E2E_BUILD/payload" && find . -type f | sed 's|^\./||')
        awk -F'|' '$3 == "on" { n = split($4, f, " "); for (i = 1; i <= n; i++) {
            sub(".*/", "", f[i]); print "tessdata/" f[i] } }' \
            "$E2E_BUILD/packaging/model-components.txt"
        printf '%s\n' uninstall.exe uninstall.dat
    } | sort
}

win_installed_files() {
    (cd "$WIN_FOLDER" 2>/dev/null && find . -type f | sed 's|^\./||' | sort)
}

# The installer, silently; arguments go after /S (such as /D=<folder>, which must come last).
# shellcheck disable=SC2120 # the arguments are optional
win_install() {
    local listing
    "$WINE" "$WIN_SETUP" /S "$@" </dev/null >"$E2E_WORK/setup.out" 2>&1 ||
        e2e_fail "the installer failed: $(tail -n 5 "$E2E_WORK/setup.out")"
    listing=$(win_installed_files)
    e2e_expect_eq "$listing" "$(win__expected_files)" "files in $WIN_FOLDER_W"
    [ -f "$WIN_SHORTCUT" ] || e2e_fail "no Start-menu entry"
    e2e_expect_eq "$(win_reg_value "$WIN_RECORD" Version)" "$WIN_VERSION" "Version in the record"
    e2e_expect_eq "$(win_reg_value "$WIN_RECORD" Website)" "$WIN_WEBSITE" "Website in the record"
    # The program is 64-bit and reads the 64-bit view; nothing may land in the 32-bit one.
    if "$WINE" reg query "$WIN_RECORD" /reg:32 >/dev/null 2>&1; then
        e2e_fail "the record landed in the 32-bit registry view"
    fi
    # Shown beside the name: the day of the install (today, or yesterday past midnight), the
    # help link and the version's two numbers.
    local entry='' value
    for value in InstallDate HelpLink VersionMajor VersionMinor; do
        entry+="$(win_reg_value "$WIN_UNINSTALL_KEY" "$value") "
    done
    [[ $entry == @($(date +%Y%m%d)|$(date -d yesterday +%Y%m%d))" $WIN_WEBSITE $(printf '0x%x 0x%x ' \
        "${WIN_VERSION%%.*}" "${WIN_VERSION#*.}")" ]] || e2e_fail "the entry's date, link, version: $entry"
    local quiet
    quiet=$(win_reg_value "$WIN_UNINSTALL_KEY" QuietUninstallString)
    # Once, in CI, this value was missing while the record and the files were there: the whole
    # entry and what reg.exe and Setup said go with the failure.
    if [ "$quiet" != "\"$WIN_FOLDER_W\\uninstall.exe\" /S" ]; then
        e2e_fail "the uninstaller in the list of installed programs: expected '\"$WIN_FOLDER_W\\uninstall.exe\" /S', got '$quiet'
the entry: $("$WINE" reg query "$WIN_UNINSTALL_KEY" /s /reg:64 2>&1 | tr -d '\r'
            echo "(reg.exe: status ${PIPESTATUS[0]})")
Setup printed: $(cat "$E2E_WORK/setup.out")"
    fi
}

win_installed() {
    [ -e "$WIN_FOLDER" ] || [ -e "$WIN_SHORTCUT" ] || win_reg_exists "$WIN_RECORD"
}

# The names in the temporary folder of wine's user.
win_temp_listing() {
    (cd "$WIN_TEMP" && find . -mindepth 1 | sort)
}

# A scripted uninstall: "uninstall.exe /S" returns once the removal is done, so the program
# folder, the Start-menu entry and the registry values are gone when it returns. The only thing
# it cannot remove itself is its own running file, which it moves into the temporary folder; a
# command interpreter deletes it once the uninstaller has ended, and the temporary folder must
# then be as before. NSIS's own hand-off (~nsu*.tmp) is never used.
win_uninstall() {
    local temp_before deadline
    [ -f "$WIN_FOLDER/uninstall.exe" ] || e2e_fail "no uninstaller in $WIN_FOLDER_W"
    temp_before=$(win_temp_listing)
    "$WINE" "$WIN_FOLDER_W\\uninstall.exe" /S </dev/null >"$E2E_WORK/uninstall.out" 2>&1 ||
        e2e_fail "the uninstaller failed: $(tail -n 5 "$E2E_WORK/uninstall.out")"
    if [ -e "$WIN_FOLDER" ] || [ -e "$WIN_SHORTCUT" ]; then
        e2e_fail "left when the uninstaller returned: $(cd "$WIN_FOLDER" 2>/dev/null && find . | tr '\n' ' ')"
    fi
    for key in "$WIN_RECORD" 'HKLM\Software\Oxbeck' "$WIN_UNINSTALL_KEY"; do
        if win_reg_exists "$key"; then
            e2e_fail "left in the registry: $key"
        fi
    done
    case $(win_temp_listing) in
    *'/~nsu'*) e2e_fail "NSIS's uninstaller copy in the temporary folder: $(win_temp_listing)" ;;
    esac
    # A command interpreter started when the uninstaller ended, on a busy machine.
    deadline=$(e2e__deadline "$E2E_EXIT_DEADLINE")
    while [ "$(win_temp_listing)" != "$temp_before" ]; do
        e2e__past "$deadline" &&
            e2e_fail "left in the temporary folder: $(diff <(echo "$temp_before") <(win_temp_listing) | tr '\n' ' ')"
        e2e__nap
    done
}

# Run by the exit handler of lib.sh: the prefix put back as it was (the .txt association), and
# after a failure no installation left behind (once the programs holding its files ended).
win__on_exit_hook() {
    local folder
    if [ -n "${WINE:-}" ]; then
        win__restore_opens
        folder=$(win_reg_value "$WIN_UNINSTALL_KEY" InstallLocation)
        [ -n "$folder" ] || folder=$WIN_FOLDER_W
        if win_installed || [ -e "$(win_unix_path "$folder")/uninstall.exe" ]; then
            "$WINE" "$folder\\uninstall.exe" /S </dev/null
        fi
    fi
}

# The id of a visible window whose title begins with PREFIX, waiting up to E2E_WINDOW_DEADLINE:
# an NSIS wizard's title is its caption followed by a blank and the page's caption, which the
# Modern UI pages leave empty.
win_wait_wizard() { # PREFIX
    local deadline found
    deadline=$(e2e__deadline "$E2E_WINDOW_DEADLINE")
    until found=$(xdotool search --onlyvisible --name "$(e2e__title_pattern "$1" | sed 's/\$$//')" \
        2>/dev/null); do
        e2e__past "$deadline" && e2e_fail "no window titled '$1...' within $E2E_WINDOW_DEADLINE s"
        e2e__nap
    done
    printf '%s\n' "${found%%$'\n'*}"
}

# The id of a visible window of the program started as NAME other than its window MAIN (a file
# dialog, whose title wine leaves empty; a menu), waiting up to E2E_WINDOW_DEADLINE.
win_other_window() { # NAME MAIN
    local deadline window
    deadline=$(e2e__deadline "$E2E_WINDOW_DEADLINE")
    while :; do
        for window in $(xdotool search --onlyvisible --pid "$(e2e_pid "$1")" 2>/dev/null); do
            [ "$window" = "$2" ] || {
                printf '%s\n' "$window"
                return
            }
        done
        e2e__past "$deadline" && e2e_fail "no other window of $1 within $E2E_WINDOW_DEADLINE s"
        e2e__nap
    done
}

# Types PATH into the name box of the file dialog DIALOG, Windows' own, and presses Enter. The
# dialog opens with its name box focused, holding the current file's name (with the caret at
# its start under wine): that name is selected first, so a full path replaces it.
win_dialog_choose() { # DIALOG PATH
    e2e_key "$1" Home
    e2e_key "$1" shift+End
    extraction_type "$1" "$2"
    e2e_key "$1" Return
}

# File > Input PDF file (Ctrl+I) in the program's window MAIN (of the program started as NAME):
# PATH chosen in the dialog; returns once the dialog is gone.
win_pick_input() { # NAME MAIN PATH
    local dialog
    e2e_key "$2" ctrl+i
    dialog=$(win_other_window "$1" "$2")
    win_dialog_choose "$dialog" "$3"
    e2e_wait_window_gone "$dialog"
}

# The text the Linux program's extractor writes for PDF with the options the program passes by
# default (layout, page breaks), for a comparison byte for byte.
win_linux_text() { # PDF OUTPUT
    [ -x "$WIN_LINUX_BIN/textract.bin" ] ||
        e2e_fail "no Linux build at $WIN_LINUX_BIN (scripts/windows/test.sh builds it)"
    "$WIN_LINUX_BIN/textract.bin" -enc UTF-8 -eol dos -layout "$1" "$2" ||
        e2e_fail "the Linux extractor failed on $1"
}

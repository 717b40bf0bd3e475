#!/usr/bin/env bash
# While Larkspan runs, neither its uninstaller nor Setup changes anything: run silently, each
# refuses with exit status 2; run with its pages, the uninstaller asks the user to close the
# program (Retry, Cancel): Cancel ends it with status 2, Retry after the program has ended goes
# on to its pages. The program folder (every file, byte
# for byte and with its time), the Start-menu entry, the record and the entry among installed
# programs stay as they were. Once the program has ended, the uninstaller removes all of it.
# Argument: the Windows build folder.
# shellcheck source-path=SCRIPTDIR source=lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
win_e2e_init "$1" windows-refused-while-running
win_install

# Everything the installation consists of, to compare before and after.
installation() {
    (cd "$WIN_FOLDER" && find . -type f -printf '%p %s %T@\n' | sort && find . -type f -print0 |
        sort -z | xargs -0 md5sum)
    [ -f "$WIN_SHORTCUT" ] && echo "Start-menu entry"
    win_reg query "$WIN_RECORD" /reg:64
    win_reg query "$WIN_UNINSTALL_KEY" /reg:64
}
before=$(installation)
expect_unchanged() { # WHAT
    [ "$(installation)" = "$before" ] ||
        e2e_fail "$1 changed the installation: $(diff <(echo "$before") <(installation) | head -n 20)"
}

e2e_start main "$WIN_START"
main=$(e2e_wait_window Larkspan main)

status=0
"$WINE" "$WIN_FOLDER_W\\uninstall.exe" /S </dev/null >"$E2E_WORK/uninstall.out" 2>&1 || status=$?
e2e_expect_eq "$status" 2 "exit status of the silent uninstaller while the program runs"
expect_unchanged "the silent uninstaller"

status=0
"$WINE" "$WIN_SETUP" /S </dev/null >"$E2E_WORK/setup.out" 2>&1 || status=$?
e2e_expect_eq "$status" 2 "exit status of the silent Setup while the program runs"
expect_unchanged "the silent Setup"

# With its pages: the question comes before any page (the uninstaller's caption names it).
e2e_start uninstall "$(win_starter uninstall "$WIN_FOLDER_W\\uninstall.exe")"
# Asked by the NSIS uninstaller, a process that uninstall.exe started.
question=$(e2e_wait_window "Larkspan Uninstall")
e2e_screenshot "$question" close-larkspan-question >/dev/null
e2e_key "$question" Escape
e2e_wait_exit uninstall
e2e_expect_eq "$E2E_EXIT_STATUS" 2 "exit status of the uninstaller cancelled while the program runs"
expect_unchanged "the cancelled uninstaller"

# Retry, once the program has ended, goes on to the uninstaller's first page; cancelled there,
# it removes nothing either (status 1: cancelled by the user).
e2e_start retry "$(win_starter retry "$WIN_FOLDER_W\\uninstall.exe")"
question=$(e2e_wait_window "Larkspan Uninstall")
e2e_running main || e2e_fail "the program ended during the refusals"
# The question, another program's window, holds wine's foreground: a click on the main
# window's gauge (54,4 in the status bar at 0,242; clear of the box) brings it back first.
e2e_click "$main" 200 $(($(extraction__menu_height "$main") + 242 + 12))
e2e_key "$main" ctrl+w
e2e_wait_exit main
# The program ends with its window up, so wine hands its foreground to no one (a window
# manager would): a click on the question's text takes it.
e2e_click "$question" 120 20
e2e_key "$question" Return
e2e_wait_window_gone "$question"
confirm=$(win_wait_wizard "Larkspan Uninstall")
e2e_screenshot "$confirm" uninstall-confirm >/dev/null
e2e_key "$confirm" Escape
e2e_wait_exit retry
e2e_expect_eq "$E2E_EXIT_STATUS" 1 "exit status of the uninstaller cancelled on its page"
expect_unchanged "the uninstaller cancelled on its page"

win_uninstall
e2e_pass

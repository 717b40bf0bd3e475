#!/usr/bin/env bash
# The installer puts the program, its tools and the DLLs into Program Files\Larkspan, writes the
# installation record in the 64-bit registry view, a Start-menu entry and its uninstaller into
# the list of installed programs, all silently (/S). The installed program shows its main
# window; a second copy shows only "An instance of Larkspan is already running!" (the named
# mutex) and ends with status 0; without the record the program shows the version error (with
# only the web site missing, the web-site error) and never its window. The silent uninstaller
# leaves no file, entry or registry value behind. A silent install whose registry writes fail
# ends with status 2 and takes away what it had written.
# Argument: the Windows build folder.
# shellcheck source-path=SCRIPTDIR source=lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
win_e2e_init "$1" windows-install-start-uninstall
win_install

e2e_start first "$WIN_START"
first=$(e2e_wait_window Larkspan first)
e2e_screenshot "$first" main-window >/dev/null

e2e_start second "$WIN_START"
warning=$(e2e_wait_window Warning second)
e2e_expect_contains "$(e2e_copy_box_text "$warning")" \
    $'\nAn instance of Larkspan is already running!\n' "text of the second copy's box"
if e2e_find_window Larkspan second >/dev/null; then
    e2e_fail "the second copy shows a main window"
fi
e2e_key "$warning" Return
e2e_wait_exit second
e2e_expect_eq "$E2E_EXIT_STATUS" 0 "exit status of the second copy"
e2e_running first || e2e_fail "the first copy ended with the second"
e2e_key "$first" ctrl+w
e2e_wait_exit first
e2e_expect_eq "$E2E_EXIT_STATUS" 0 "exit status of the first copy"

# Without its record (as if never installed), or with the web site missing from it, the
# program refuses to run: one error box, no window, status 0.
expect_refusal() { # NAME MISSING
    e2e_start "$1" "$WIN_START"
    local error
    error=$(e2e_wait_window Error "$1")
    e2e_expect_contains "$(e2e_copy_box_text "$error")" \
        "Could not determinated the application's"$'\n'"$2!" "text of the error box ($1)"
    if e2e_find_window Larkspan "$1" >/dev/null; then
        e2e_fail "the main window appeared ($1)"
    fi
    e2e_key "$error" Return
    e2e_wait_exit "$1"
    e2e_expect_eq "$E2E_EXIT_STATUS" 0 "exit status ($1)"
}
win_reg delete "$WIN_RECORD" /v Website /f /reg:64 >/dev/null
expect_refusal no-website website
win_reg delete "$WIN_RECORD" /f /reg:64 >/dev/null
expect_refusal unrecorded "version number"
# Put back as the installer wrote it, so that the uninstaller is seen to remove it.
win_reg add "$WIN_RECORD" /v Version /t REG_SZ /d "$WIN_VERSION" /f /reg:64 >/dev/null
win_reg add "$WIN_RECORD" /v Website /t REG_SZ /d "$WIN_WEBSITE" /f /reg:64 >/dev/null

win_uninstall

# No lasting key can be made under a volatile one: the record's writes fail.
"$WINE" "$E2E_BUILD/tests/platform_test_child.exe" volatile 'Software\Oxbeck' ||
    e2e_fail "could not make the vendor's key volatile"
status=0
"$WINE" "$WIN_SETUP" /S </dev/null >"$E2E_WORK/setup-failing.out" 2>&1 || status=$?
win_reg delete 'HKLM\Software\Oxbeck' /f /reg:64 >/dev/null
e2e_expect_eq "$status" 2 "exit status of Setup whose writes fail"
if win_installed || win_reg_exists "$WIN_UNINSTALL_KEY"; then
    e2e_fail "left by the failed install: $(win_installed_files | tr '\n' ' ')"
fi
e2e_pass

#!/usr/bin/env bash
# An upgrade over an installation in a folder of the user's choice stays in that folder. Setup
# installs silently into C:\Apps\Larkspan; run again, with its pages (welcome, licence,
# components, folder, finish; each saved as a picture; the welcome page names the installed
# version and its folder), it installs over that copy: one copy, one entry among the installed
# programs pointing there, the user's own file in the folder kept, and "Run Larkspan" on the
# finish page starts the program from there. Setup.exe carries its version information. The
# uninstaller then leaves nothing.
# Argument: the Windows build folder.
# shellcheck source-path=SCRIPTDIR source=lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
win_e2e_init "$1" windows-upgrade-custom-folder

# What Explorer's Properties show: the strings of the version resource, in UTF-16, each ended
# by a zero character (compared as hexadecimal text, with the copyright sign).
hex() { od -An -v -tx1 | tr -d ' \n'; }
setup_hex=$(hex <"$WIN_SETUP")
for entry in ProductName Larkspan CompanyName Oxbeck FileDescription "Larkspan Setup" \
    ProductVersion "$WIN_VERSION" LegalCopyright "Copyright © 2015 Oxbeck. All rights reserved."; do
    [[ $setup_hex == *"$(printf '%s' "$entry" | iconv -f UTF-8 -t UTF-16LE | hex)0000"* ]] ||
        e2e_fail "Setup.exe's version information lacks '$entry'"
done

custom='C:\Apps\Larkspan'
win_use_folder "$custom"
rm -rf "$WIN_FOLDER"
win_install "/D=$custom"
e2e_expect_eq "$(win_reg_value "$WIN_UNINSTALL_KEY" InstallLocation)" "$custom" "InstallLocation"
echo "the user's notes" >"$WIN_FOLDER/notes.txt"

# Each page once it differs from the one before and has settled.
last_page=$E2E_WORK/page.xwd
: >"$last_page"
wizard_page() { # WID NAME
    local deadline current=$E2E_WORK/page-now.xwd
    deadline=$(e2e__deadline "$E2E_WINDOW_DEADLINE")
    while e2e__capture "$1" "$current" && cmp -s "$current" "$last_page"; do
        e2e__past "$deadline" && e2e_fail "Setup did not leave its page for the $2 page"
        e2e__nap 0.1
    done
    e2e_screenshot "$1" "$2" >/dev/null
    e2e__capture "$1" "$last_page"
}

e2e_start setup "$(win_starter setup "$WIN_SETUP")"
wizard=$(win_wait_wizard "Larkspan Setup")
wizard_page "$wizard" 1-welcome
welcome=$("$WINE" "$E2E_BUILD/tests/platform_test_child.exe" texts "Larkspan Setup" | tr -d '\r')
e2e_expect_contains "$welcome" "Upgrade Larkspan to version $WIN_VERSION" "the welcome page's title"
e2e_expect_contains "$welcome" "Larkspan $WIN_VERSION is installed in $custom." \
    "the welcome page's text"
e2e_key "$wizard" Return
wizard_page "$wizard" 2-licence
e2e_key "$wizard" Return # I Agree
wizard_page "$wizard" 3-components
e2e_key "$wizard" Return # Next, with the models chosen by default
wizard_page "$wizard" 4-folder
e2e_key "$wizard" Return # Install, into the folder the page offers
# The finish page, unlike the progress page, has a dark picture down its left side. Removing the
# old copy and unpacking the new one take a while under wine on a busy machine.
left_side() { # WID: the brightness of a pixel there, 0 to 255
    e2e__capture "$1" "$E2E_WORK/side.xwd" &&
        convert "xwd:$E2E_WORK/side.xwd" -format '%[fx:int(255*p{20,150}.intensity)]' info:
}
deadline=$(e2e__deadline 120)
until [ "$(left_side "$wizard")" -lt 128 ]; do
    e2e__past "$deadline" && e2e_fail "Setup did not reach its finish page"
    e2e__nap 0.2
done
wizard_page "$wizard" 5-finish
e2e_key "$wizard" Return # Finish, with "Run Larkspan" checked
e2e_wait_exit setup
e2e_expect_eq "$E2E_EXIT_STATUS" 0 "exit status of Setup"

# The program the finish page started, from the upgraded folder.
main=$(e2e_wait_window Larkspan)
pid=$(xdotool getwindowpid "$main") || e2e_fail "no process for the program's window"
E2E_PIDS[run]=$pid
e2e_expect_contains "$(tr '\0' ' ' <"/proc/$pid/cmdline")" "$custom\\larkspan.exe" \
    "the program the finish page started"
e2e_key "$main" ctrl+w
deadline=$(e2e__deadline "$E2E_EXIT_DEADLINE")
while e2e__alive "$pid"; do
    e2e__past "$deadline" && e2e_fail "the program did not end"
    e2e__nap
done

e2e_expect_eq "$(win_installed_files)" "$( (win__expected_files && echo notes.txt) | sort)" \
    "files in $custom after the upgrade"
[ -e "$(win_unix_path 'C:\Program Files\Larkspan')" ] && e2e_fail "a second copy in Program Files"
e2e_expect_eq "$(win_reg_value "$WIN_UNINSTALL_KEY" InstallLocation)" "$custom" \
    "InstallLocation after the upgrade"
e2e_expect_eq "$(win_reg_value "$WIN_UNINSTALL_KEY" QuietUninstallString)" \
    "\"$custom\\uninstall.exe\" /S" "QuietUninstallString after the upgrade"
entries=$(win_reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' /s /reg:64 |
    grep -cE '^ +DisplayName +REG_SZ +Larkspan$' || true)
e2e_expect_eq "$entries" 1 "entries of Larkspan among the installed programs"
e2e_expect_eq "$(win_reg_value "$WIN_RECORD" Version)" "$WIN_VERSION" "Version in the record"

rm "$WIN_FOLDER/notes.txt"
win_uninstall
rmdir "$(dirname "$WIN_FOLDER")" # C:\Apps, made by the first install's /D=
e2e_pass

#!/usr/bin/env bash
# A script that runs the entry's QuietUninstallString ("...\uninstall.exe" /S) goes on only when
# the removal is done: at that moment the program folder, the Start-menu entry, the record and
# the entry are gone, NSIS's copy of itself (~nsu*.tmp) was never made, and the temporary folder
# is soon as it was. The same holds after an upgrade in place over the same folder.
# Argument: the Windows build folder.
# shellcheck source-path=SCRIPTDIR source=lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
win_e2e_init "$1" windows-silent-uninstall
win_install
win_install

# The command as the list of installed programs gives it to scripts.
quiet=$(win_reg_value "$WIN_UNINSTALL_KEY" QuietUninstallString)
e2e_expect_eq "$quiet" "\"$WIN_FOLDER_W\\uninstall.exe\" /S" "QuietUninstallString"
program=${quiet#\"}
program=${program%%\"*}
e2e_expect_eq "$(win_unix_path "$program")" "$WIN_FOLDER/uninstall.exe" "the quiet uninstaller"
win_uninstall
e2e_pass

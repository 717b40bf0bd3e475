#!/bin/sh
# Writes the NSIS include file that installer.nsi reads: macros that install, and remove again,
# exactly the files and folders of the payload folder, so that the uninstaller deletes what the
# installer wrote and nothing else a user may have put into the program folder.
#   payload-lists.sh <payload folder> <output .nsh>
set -eu
payload=$1
out=$2
# NSIS reads "$" as the start of a variable (a literal one is "$$"), and a double quote ends a
# string (a literal one is "$\"").
nsis_text() { printf '%s' "$1" | sed 's/\$/$$/g; s/"/$\\"/g'; }
win_path() { nsis_text "$1" | tr '/' '\\'; }
line() { printf '%s\n' "$*"; }
{
  line '!macro LarkspanInstallFiles'
  (cd "$payload" && find . -type d | sort) | while read -r dir; do
    rel=${dir#.}
    rel=${rel#/}
    line "  SetOutPath \"\$INSTDIR${rel:+\\$(win_path "$rel")}\""
    (cd "$payload/$rel" && find . -maxdepth 1 -type f | sort) | while read -r file; do
      line "  File \"$(nsis_text "$payload/${rel:+$rel/}${file#./}")\""
    done
  done
  line '!macroend'
  line '!macro LarkspanRemoveFiles'
  (cd "$payload" && find . -type f | sort) | while read -r file; do
    line "  Delete \"\$INSTDIR\\$(win_path "${file#./}")\""
  done
  line '!macroend'
  # Apart from the files, so that the uninstaller can tell a file it could not delete (the
  # error flag) from a folder that stays because the user put something into it.
  line '!macro LarkspanRemoveFolders'
  # Deepest folders first; each goes only when it is empty.
  (cd "$payload" && find . -mindepth 1 -type d | sort -r) | while read -r dir; do
    line "  RMDir \"\$INSTDIR\\$(win_path "${dir#./}")\""
  done
  line '!macroend'
} >"$out"

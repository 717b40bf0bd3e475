#!/bin/sh
# Writes the NSIS include file that installer.nsi reads: macros that install, and remove again,
# exactly the files and folders of the payload folder, so that the uninstaller deletes what the
# installer wrote and nothing else a user may have put into the program folder.
# With a third argument, the OCR models offered as components of their own: a file of lines
# "id|label|on or off|model files..." (tools/CMakeLists.txt writes it), which gives a section
# for each (macro LarkspanModelSections) and their removal (LarkspanRemoveModels).
#   payload-lists.sh <payload folder> <output .nsh> [<model components>]
set -eu
payload=$1
out=$2
components=${3:-}
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
  line '!macro LarkspanModelSections'
  if [ -n "$components" ]; then
    while IFS='|' read -r id label on files; do
      [ -n "$id" ] || continue
      flag=""
      [ "$on" = on ] || flag="/o "
      line "  Section $flag\"$(nsis_text "$label")\" model_$id"
      line '    SetOutPath "$INSTDIR\tessdata"'
      for file in $files; do
        line "    File \"$(nsis_text "$file")\""
      done
      line '  SectionEnd'
    done <"$components"
  fi
  line '!macroend'
  # A component may not have been chosen: only the files that are there are removed, so that the
  # error flag still tells a file in use.
  line '!macro LarkspanRemoveModels'
  if [ -n "$components" ]; then
    while IFS='|' read -r id label on files; do
      for file in $files; do
        target="\$INSTDIR\\tessdata\\$(win_path "${file##*/}")"
        line "  \${If} \${FileExists} \"$target\""
        line "    Delete \"$target\""
        line '  ${EndIf}'
      done
    done <"$components"
  fi
  line '!macroend'
} >"$out"

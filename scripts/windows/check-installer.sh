#!/usr/bin/env bash
# Shows that packaging/windows/installer.nsi installs and uninstalls silently under wine:
#   scripts/windows/check-installer.sh [build folder, default build-win]
# Builds the installer around a dummy payload (a tiny larkspan.exe and a file in a subfolder),
# with the icon, licence and uninstall.exe of the build, runs it with /S, checks the program
# folder, the Start-menu entry and the installation record in the 64-bit registry view (wine's
# reg query), then runs "uninstall.exe /S" and checks that all of it is gone when it returns.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
build=$(realpath -m "${1:-$larkspan_top/build-win}")
source "$larkspan_top/scripts/windows/wine-env.sh" "$build"
checks=$build/checks/installer
version=1.3
website=http://larkspan.example/
failures=0
fail() {
  echo "FAILED: $*"
  failures=$((failures + 1))
}

rm -rf "$checks"
mkdir -p "$checks/payload/plugins/platforms"
printf 'int main(void) { return 0; }\n' >"$checks/dummy.c"
x86_64-w64-mingw32-gcc-posix -O2 -s -o "$checks/payload/larkspan.exe" "$checks/dummy.c"
echo "stands for a plugin" >"$checks/payload/plugins/platforms/dummy.txt"
for built in resources/larkspan.ico packaging/licence.txt packaging/copyright.nsh \
  packaging/uninstall.exe; do
  [ -f "$build/$built" ] || { echo "no $build/$built: build $build first"; exit 1; }
done
step "makensis" makensis -V2 -DPAYLOAD_DIR="$checks/payload" -DVERSION=$version \
  -DFILE_VERSION=$version.0.0 -DWEBSITE=$website -DICON="$build/resources/larkspan.ico" \
  -DLICENCE="$build/packaging/licence.txt" -DCOPYRIGHT_NSH="$build/packaging/copyright.nsh" \
  -DUNINSTALL_LAUNCHER="$build/packaging/uninstall.exe" \
  -DOUTFILE="$checks/Larkspan-Setup.exe" "$larkspan_top/packaging/windows/installer.nsi"
ls -l "$checks/Larkspan-Setup.exe"
step "wine prefix and server" larkspan_wine_start

folder="$WINEPREFIX/drive_c/Program Files/Larkspan"
shortcut="$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Larkspan.lnk"
record='HKLM\Software\Oxbeck\Larkspan'
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Larkspan'
query() { "$WINE" reg query "$@" 2>/dev/null | tr -d '\r'; }
# reg.exe tells a missing key by its status; its complaint goes to standard output.
exists() { "$WINE" reg query "$@" >/dev/null 2>&1; }

step "silent install" "$WINE" "$checks/Larkspan-Setup.exe" /S
for file in larkspan.exe plugins/platforms/dummy.txt uninstall.exe uninstall.dat; do
  [ -f "$folder/$file" ] || fail "not installed: $file"
done
[ -f "$shortcut" ] || fail "no Start-menu entry"
query "$record" /reg:64 | tee "$checks/record.txt"
grep -Eq "^ +Version +REG_SZ +$version$" "$checks/record.txt" || fail "Version not in the record"
grep -Eq "^ +Website +REG_SZ +$website$" "$checks/record.txt" || fail "Website not in the record"
exists "$record" /reg:32 && fail "the record landed in the 32-bit view"
query "$uninstall_key" /reg:64 | grep -q QuietUninstallString || fail "no entry among installed programs"

step "silent uninstall" "$WINE" "$folder/uninstall.exe" /S
[ -e "$folder" ] && fail "program folder left: $(cd "$folder" && find . | tr '\n' ' ')"
[ -e "$shortcut" ] && fail "Start-menu entry left"
exists "$record" /reg:64 && fail "record left"
exists 'HKLM\Software\Oxbeck' /reg:64 && fail "empty vendor key left"
exists "$uninstall_key" /reg:64 && fail "entry among installed programs left"

[ "$failures" -eq 0 ] && echo "installer under wine: all checks passed"
exit "$failures"

#!/usr/bin/env bash
# The Debian package on this machine, as a user gets it: CPack builds larkspan_<version>_<arch>.deb
# from this build, `apt-get install ./<file>` installs it with its dependencies, the installed
# program converts a PDF through the installed tools (installed_program.sh), and
# `apt-get purge` removes it, leaving nothing behind.
#
# Needs root or passwordless sudo for apt; skips (status 77) without them, without the tools,
# or when Larkspan is already installed in /usr, which it never touches. A failure at any point
# still purges what it installed.
# Argument: the build folder.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
build=$(cd "$1" && pwd)

skip() {
    printf 'SKIP: %s\n' "$*"
    exit 77
}
fail() {
    printf 'FAIL package: %s\n' "$*" >&2
    exit 1
}

if [ "$(id -u)" -eq 0 ]; then
    as_root=(env)
elif command -v sudo >/dev/null 2>&1 && sudo -n true 2>/dev/null; then
    as_root=(sudo -n env)
else
    skip "installing a package needs root or passwordless sudo"
fi
for tool in cpack dpkg dpkg-deb dpkg-query dpkg-shlibdeps apt-get readelf desktop-file-validate \
    appstreamcli Xvfb xdotool; do
    command -v "$tool" >/dev/null 2>&1 ||
        skip "$tool is missing (scripts/install-deps.sh installs it)"
done
status=$(dpkg-query -W -f '${db:Status-Abbrev}' larkspan 2>/dev/null || true)
case $status in
"" | un*) ;;
*) skip "a larkspan package is installed already ($status); this test leaves it alone" ;;
esac
for path in /usr/lib/larkspan /usr/bin/larkspan /etc/xdg/Oxbeck/Larkspan.conf; do
    [ ! -e "$path" ] || skip "$path exists; this test does not replace another installation"
done

work=$build/package-work
rm -rf "$work"
mkdir -p "$work/deb" "$work/contents"
now_us() {
    local now=${EPOCHREALTIME/[.,]/}
    printf '%s\n' "$now"
}

# ---- the package file ----
version=$(sed -n 's/^Version=//p' "$build/Larkspan.conf")
arch=$(dpkg --print-architecture)
(cd "$work" && cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/deb" >cpack.log 2>&1) ||
    fail "cpack failed: $(tail -n 20 "$work/cpack.log")"
deb=$work/deb/larkspan_${version}_${arch}.deb
[ -f "$deb" ] || fail "no $deb; cpack made: $(ls "$work/deb")"

field() { dpkg-deb --field "$deb" "$1"; }
[ "$(field Package)" = larkspan ] || fail "package name $(field Package)"
[ "$(field Version)" = "$version" ] || fail "package version $(field Version), expected $version"
[ "$(field Architecture)" = "$arch" ] || fail "architecture $(field Architecture)"
depends=$(field Depends)
for needed in poppler-utils xdg-utils fonts-liberation2 libqt6gui6 libqt6widgets6 libc6; do
    case ", $depends," in
    *", $needed,"* | *", $needed ("*) ;;
    *) fail "Depends lacks $needed: $depends" ;;
    esac
done
# The pictures are PNGs made at build time: no SVG library at run time.
case ", $depends," in
*", libqt6svg6"*) fail "Depends names libqt6svg6: $depends" ;;
esac
[ "$(dpkg-deb --ctrl-tarfile "$deb" | tar -xO ./conffiles)" = /etc/xdg/Oxbeck/Larkspan.conf ] ||
    fail "the installation record is not the package's conffile"

# Exactly the installed layout, every entry owned by root.
listing=$(dpkg-deb --contents "$deb")
if grep -v ' root/root ' <<<"$listing"; then
    fail "entries not owned by root"
fi
files=$(awk '$1 !~ /^d/ { print substr($6, 2) }' <<<"$listing" | sort)
expected=$(
    printf '%s\n' /etc/xdg/Oxbeck/Larkspan.conf /usr/bin/larkspan \
        /usr/lib/larkspan/larkspan /usr/lib/larkspan/pdfi.bin /usr/lib/larkspan/textract.bin \
        /usr/share/applications/larkspan.desktop /usr/share/doc/larkspan/changelog.gz \
        /usr/share/doc/larkspan/copyright /usr/share/icons/hicolor/scalable/apps/larkspan.svg \
        /usr/share/lintian/overrides/larkspan /usr/share/man/man1/larkspan.1.gz \
        /usr/share/metainfo/example.larkspan.Larkspan.metainfo.xml
    for side in 16 24 32 48 64 128 256; do
        printf '/usr/share/icons/hicolor/%sx%s/apps/larkspan.png\n' "$side" "$side"
    done | sort
)
expected=$(sort <<<"$expected")
[ "$files" = "$expected" ] || fail "package files differ from the layout:
$(diff <(printf '%s\n' "$expected") <(printf '%s\n' "$files") || true)"
dpkg-deb --extract "$deb" "$work/contents"
for program in larkspan pdfi.bin textract.bin; do
    sections=$(readelf -S "$work/contents/usr/lib/larkspan/$program")
    if grep -q -e '\.symtab' -e '\.debug_' <<<"$sections"; then
        fail "$program is not stripped"
    fi
done

# Directories the package brings that this machine does not have yet: they must go again.
new_dirs=()
while read -r dir; do
    [ -e "$dir" ] || new_dirs+=("$dir")
done < <(awk '$1 ~ /^d/ { d = substr($6, 2); sub("/$", "", d); if (d != "") print d }' \
    <<<"$listing")

# ---- install; from here on a failure purges what was installed ----
installed=0
purge() {
    "${as_root[@]}" DEBIAN_FRONTEND=noninteractive apt-get purge -y -q \
        -o DPkg::Lock::Timeout=120 larkspan >"$work/purge.log" 2>&1
}
on_exit() {
    local code=$?
    trap - EXIT
    if [ "$installed" -eq 1 ]; then
        printf 'Removing the package after a failure\n' >&2
        purge || "${as_root[@]}" dpkg --purge larkspan || true
    fi
    exit "$code"
}
trap on_exit EXIT
trap 'exit 129' HUP
trap 'exit 130' INT
trap 'exit 143' TERM

# apt reads a local package as its unprivileged user.
chmod o+rx "$work" "$work/deb"
chmod o+r "$deb"
t0=$(now_us)
installed=1
"${as_root[@]}" DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends \
    -o DPkg::Lock::Timeout=120 "$deb" >"$work/install.log" 2>&1 ||
    fail "apt-get install failed: $(tail -n 20 "$work/install.log")"
t1=$(now_us)

[ "$(dpkg-query -W -f '${Version}' larkspan)" = "$version" ] || fail "installed version"
record=$(cat /etc/xdg/Oxbeck/Larkspan.conf)
website=$(sed -n 's/^Website=//p' <<<"$record")
if [ -z "$website" ] || [ "$record" != "Version=$version"$'\n'"Website=$website" ]; then
    fail "installation record: $record"
fi
desktop-file-validate /usr/share/applications/larkspan.desktop ||
    fail "the installed menu entry does not validate"
appstreamcli validate --no-net /usr/share/metainfo/example.larkspan.Larkspan.metainfo.xml \
    >"$work/appstream.log" 2>&1 || fail "metainfo: $(cat "$work/appstream.log")"
[ "$(command -v larkspan)" = /usr/bin/larkspan ] || fail "the launcher is not on PATH"

# The program itself, as the user who runs this test.
LARKSPAN_PACKAGE_T0=$t0 bash "$here/installed_program.sh" "$build/bin" \
    "$build/tests/package-test-pdf"

# ---- remove ----
purge || fail "apt-get purge failed: $(tail -n 20 "$work/purge.log")"
installed=0
status=$(dpkg-query -W -f '${db:Status-Abbrev}' larkspan 2>/dev/null || true)
case $status in
"" | un*) ;;
*) fail "after purge the package is still known to dpkg: $status" ;;
esac
while read -r path; do
    if [ -e "$path" ] || [ -L "$path" ]; then
        fail "$path is left after purge"
    fi
done <<<"$files"
for dir in "${new_dirs[@]}"; do
    [ ! -e "$dir" ] || fail "the folder $dir is left after purge"
done

printf 'Package: %s, Installed-Size %s KiB\nDepends: %s\n' "$(basename "$deb")" \
    "$(field Installed-Size)" "$depends"
printf 'apt-get install took %d.%01d s\n' $(((t1 - t0) / 1000000)) $(((t1 - t0) / 100000 % 10))
rm -rf "$work"
printf 'PASS package install, conversion and purge\n'

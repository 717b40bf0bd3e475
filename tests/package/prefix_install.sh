#!/usr/bin/env bash
# A developer's installation from source: `cmake --install <build> --prefix <folder>` gives the
# same layout as the package, with the installation record inside the prefix. The menu entry
# and the metainfo validate, and the launcher on <prefix>/bin starts the program into its main
# window, which it only shows when it has found the record in <prefix>/etc/xdg; so does a link
# to the launcher elsewhere.
# Argument: the build folder. Skips (status 77) without the validators.
# shellcheck source-path=SCRIPTDIR source=../e2e/lib.sh
for tool in desktop-file-validate appstreamcli; do
    if ! command -v "$tool" >/dev/null 2>&1; then
        printf 'SKIP: %s is missing (scripts/install-deps.sh installs it)\n' "$tool"
        exit 77
    fi
done
source "$(dirname "${BASH_SOURCE[0]}")/../e2e/lib.sh"
build=$(cd "$1" && pwd)
e2e_init "$build/bin" package-prefix-install
prefix=$E2E_WORK/prefix
cmake --install "$build" --prefix "$prefix" >"$E2E_WORK/install.log" ||
    e2e_fail "cmake --install failed: $(tail -n 20 "$E2E_WORK/install.log")"

for path in bin/larkspan lib/larkspan/larkspan lib/larkspan/textract.bin lib/larkspan/pdfi.bin; do
    [ -x "$prefix/$path" ] || e2e_fail "no program $prefix/$path"
done
for side in 16x16 24x24 32x32 48x48 64x64 128x128 256x256; do
    [ -f "$prefix/share/icons/hicolor/$side/apps/larkspan.png" ] || e2e_fail "no $side icon"
done
[ -f "$prefix/share/icons/hicolor/scalable/apps/larkspan.svg" ] || e2e_fail "no scalable icon"
[ -f "$prefix/share/man/man1/larkspan.1.gz" ] || e2e_fail "no manual page"
version=$(sed -n 's/^Version=//p' "$build/Larkspan.conf")
e2e_expect_eq "$(sed -n 's/^Version=//p' "$prefix/etc/xdg/Oxbeck/Larkspan.conf")" "$version" \
    "version in the installed record"
e2e_expect_eq "$(sed -n 's/^Website=//p' "$prefix/etc/xdg/Oxbeck/Larkspan.conf")" \
    "$(sed -n 's/^Website=//p' "$build/Larkspan.conf")" "web site in the installed record"
desktop-file-validate "$prefix/share/applications/larkspan.desktop" ||
    e2e_fail "the menu entry does not validate"
appstreamcli validate --no-net "$prefix/share/metainfo/example.larkspan.Larkspan.metainfo.xml" \
    >"$E2E_WORK/appstream.log" 2>&1 || e2e_fail "metainfo: $(cat "$E2E_WORK/appstream.log")"
e2e_expect_contains "$(cat "$prefix/share/metainfo/example.larkspan.Larkspan.metainfo.xml")" \
    "<release version=\"$version\"" "the metainfo's release"

# XDG_CONFIG_DIRS names only the test's own folder, which holds no record.
e2e_start main "$prefix/bin/larkspan"
main=$(e2e_wait_window Larkspan main)
e2e_key "$main" ctrl+w
e2e_wait_exit main
e2e_expect_eq "$E2E_EXIT_STATUS" 0 "exit status after Ctrl+W"

# Through a link to the launcher in a folder of the user's own, named by a relative path: the
# launcher still finds its prefix, and with it the program and the record.
mkdir -p "$HOME/bin"
ln -s "$prefix/bin/larkspan" "$HOME/bin/larkspan"
cd "$HOME"
e2e_start linked bin/larkspan
cd - >/dev/null
main=$(e2e_wait_window Larkspan linked)
e2e_key "$main" ctrl+w
e2e_wait_exit linked
e2e_expect_eq "$E2E_EXIT_STATUS" 0 "exit status of the copy started through a link"
e2e_pass

#!/usr/bin/env bash
# Builds poppler 22.12 for 64-bit Windows from Debian 12's sources, as a static library with
# static zlib and freetype, and the two tools pdftotext.exe and pdfinfo.exe, each linked
# statically (they need only system DLLs):
#   scripts/windows/build-poppler.sh <prefix> [work folder, default <prefix>.work]
# About 6.5 minutes on two cores. Fontconfig is not needed: on Windows poppler finds fonts
# through the system (FONT_CONFIGURATION=win32).
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
source "$larkspan_top/scripts/windows/recipes.sh"
prefix=$(realpath -m "$1")
work=$(realpath -m "${2:-$prefix.work}")
jobs=${LARKSPAN_JOBS:-$(nproc)}
mkdir -p "$prefix" "$work"

fetch_sources() {
  "$larkspan_top/scripts/windows/debian-source.sh" "$work" \
    "$larkspan_zlib_source" "$larkspan_freetype_source" "$larkspan_poppler_source" >"$work/sources"
}
step "fetch sources" fetch_sources
mapfile -t sources <"$work/sources"
zlib_src=${sources[0]} freetype_src=${sources[1]} poppler_src=${sources[2]}

build_poppler() {
  larkspan_configure_poppler "$prefix" "$poppler_src" "$work/build-poppler"
  cmake --build "$work/build-poppler" -j "$jobs" --target poppler pdftotext pdfinfo
  # The library and its headers from the top folder's rules; the tools by hand, since installing
  # the utils folder would build the other tools too.
  cmake -DCMAKE_INSTALL_LOCAL_ONLY=ON -P "$work/build-poppler/cmake_install.cmake"
  install -D -m 755 -t "$prefix/bin" \
    "$work/build-poppler/utils/pdftotext.exe" "$work/build-poppler/utils/pdfinfo.exe"
  $larkspan_mingw_triple-strip "$prefix/bin/pdftotext.exe" "$prefix/bin/pdfinfo.exe"
}

step "zlib" larkspan_build_zlib "$prefix" "$zlib_src" "$work"
step "freetype" larkspan_build_freetype "$prefix" "$freetype_src" "$work"
step "poppler" build_poppler
ls -l "$prefix/bin"

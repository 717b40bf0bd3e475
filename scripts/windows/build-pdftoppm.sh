#!/usr/bin/env bash
# Builds poppler's pdftoppm 22.12 for 64-bit Windows from Debian 12's sources, statically linked
# (it needs only system DLLs): the page renderer for text recognition, beside the pdftotext.exe
# and pdfinfo.exe of build-poppler.sh (the same poppler):
#   scripts/windows/build-pdftoppm.sh <prefix> [work folder, default <prefix>.work]
# Gives <prefix>/bin/pdftoppm.exe (about 6 minutes on two cores).
# Unlike the text tools, a renderer must decode the images that scanned pages are made of, so
# its own copy of the poppler core is built with the decoders Debian's poppler has: libjpeg
# (libjpeg-turbo) for JPEG and openjpeg for JPEG 2000 (JBIG2 and CCITT fax are poppler's own).
# Without them a JPEG scan renders as an empty page.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
source "$larkspan_top/scripts/windows/recipes.sh"
prefix=$(realpath -m "$1")
work=$(realpath -m "${2:-$prefix.work}")
jobs=${LARKSPAN_JOBS:-$(nproc)}
mkdir -p "$prefix" "$work"

fetch_sources() {
  "$larkspan_top/scripts/windows/debian-source.sh" "$work" "$larkspan_zlib_source" \
    "$larkspan_freetype_source" "$larkspan_libjpeg_source" openjpeg2=2.5.0-2+deb12u3 \
    "$larkspan_poppler_source" >"$work/sources"
}
step "fetch sources" fetch_sources
mapfile -t sources <"$work/sources"
zlib_src=${sources[0]} freetype_src=${sources[1]} libjpeg_src=${sources[2]}
openjpeg_src=${sources[3]} poppler_src=${sources[4]}

build_openjpeg() {
  larkspan_cross_cmake "$prefix" -S "$openjpeg_src" -B "$work/build-openjpeg" \
    -DBUILD_SHARED_LIBS=OFF -DBUILD_STATIC_LIBS=ON -DBUILD_CODEC=OFF -DBUILD_TESTING=OFF \
    -DBUILD_DOC=OFF -DCMAKE_C_FLAGS_RELEASE="-O2 -DNDEBUG"
  cmake --build "$work/build-openjpeg" -j "$jobs" --target openjp2
  cmake --install "$work/build-openjpeg"
}

# OPJ_STATIC: openjpeg's header would otherwise declare its functions as imported from a DLL.
build_pdftoppm() {
  larkspan_configure_poppler "$prefix" "$poppler_src" "$work/build-poppler" \
    -DENABLE_DCTDECODER=libjpeg -DWITH_JPEG=ON -DENABLE_LIBOPENJPEG=openjpeg2 \
    -DCMAKE_CXX_FLAGS=-DOPJ_STATIC
  cmake --build "$work/build-poppler" -j "$jobs" --target pdftoppm
  install -D -m 755 -t "$prefix/bin" "$work/build-poppler/utils/pdftoppm.exe"
  $larkspan_mingw_triple-strip "$prefix/bin/pdftoppm.exe"
}

step "zlib" larkspan_build_zlib "$prefix" "$zlib_src" "$work"
step "freetype" larkspan_build_freetype "$prefix" "$freetype_src" "$work"
step "libjpeg" larkspan_build_libjpeg "$prefix" "$libjpeg_src" "$work"
step "openjpeg" build_openjpeg
step "pdftoppm" build_pdftoppm
ls -l "$prefix/bin"

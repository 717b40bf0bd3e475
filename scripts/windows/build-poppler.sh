#!/usr/bin/env bash
# Builds poppler 22.12 for 64-bit Windows from Debian 12's sources, as a static library with
# static zlib and freetype, and the two tools pdftotext.exe and pdfinfo.exe, each linked
# statically (they need only system DLLs):
#   scripts/windows/build-poppler.sh <prefix> [work folder, default <prefix>.work]
# About 6.5 minutes on two cores. Fontconfig is not needed: on Windows poppler finds fonts
# through the system (FONT_CONFIGURATION=win32).
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
prefix=$(realpath -m "$1")
work=$(realpath -m "${2:-$prefix.work}")
jobs=${LARKSPAN_JOBS:-$(nproc)}
toolchain=$larkspan_top/cmake/toolchains/mingw-w64-x86_64.cmake
triple=x86_64-w64-mingw32
mkdir -p "$prefix" "$work"

# zlib stays at the bookworm release: the security update's files are not on every mirror.
fetch_sources() {
  "$larkspan_top/scripts/windows/debian-source.sh" "$work" \
    zlib=1:1.2.13.dfsg-1 freetype=2.12.1+dfsg-5+deb12u4 poppler=22.12.0-2+deb12u3 >"$work/sources"
}
step "fetch sources" fetch_sources
mapfile -t sources <"$work/sources"
zlib_src=${sources[0]} freetype_src=${sources[1]} poppler_src=${sources[2]}

# Debian's zlib source drops win32/ (its makefile and resource file), which its CMake build
# needs for mingw; the plain configure script builds the static library fine.
build_zlib() {
  rm -rf "$work/build-zlib"
  cp -a "$zlib_src" "$work/build-zlib"
  (cd "$work/build-zlib" &&
    CHOST=$triple CC=$triple-gcc-posix AR=$triple-ar RANLIB=$triple-ranlib \
      ./configure --static --prefix="$prefix" &&
    make -j"$jobs" libz.a && make install)
}

# Every dependency is looked for in the prefix first (ahead of the mingw root, which may hold a
# zlib DLL of its own) and only as a static library.
cross_cmake() {
  cmake -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_INSTALL_PREFIX="$prefix" -DCMAKE_FIND_ROOT_PATH="$prefix" \
    -DCMAKE_FIND_LIBRARY_SUFFIXES=.a "$@"
}

build_freetype() {
  cross_cmake -S "$freetype_src" -B "$work/build-freetype" \
    -DBUILD_SHARED_LIBS=OFF -DFT_REQUIRE_ZLIB=ON -DFT_DISABLE_BZIP2=ON -DFT_DISABLE_PNG=ON \
    -DFT_DISABLE_HARFBUZZ=ON -DFT_DISABLE_BROTLI=ON
  cmake --build "$work/build-freetype" -j "$jobs"
  cmake --install "$work/build-freetype"
}

build_poppler() {
  # Only the prefix's .pc files: the host's poppler-data.pc would otherwise leak in.
  PKG_CONFIG_LIBDIR=$prefix/lib/pkgconfig cross_cmake -S "$poppler_src" -B "$work/build-poppler" \
    -DBUILD_SHARED_LIBS=OFF -DCMAKE_EXE_LINKER_FLAGS="-static -static-libgcc -static-libstdc++" \
    -DFONT_CONFIGURATION=win32 -DENABLE_UTILS=ON -DENABLE_CPP=OFF -DENABLE_GLIB=OFF \
    -DENABLE_GOBJECT_INTROSPECTION=OFF -DENABLE_GTK_DOC=OFF -DENABLE_QT5=OFF -DENABLE_QT6=OFF \
    -DENABLE_BOOST=OFF -DENABLE_LIBCURL=OFF -DENABLE_ZLIB=ON -DENABLE_DCTDECODER=none \
    -DENABLE_LIBOPENJPEG=none -DENABLE_CMS=none -DWITH_JPEG=OFF -DWITH_PNG=OFF -DWITH_TIFF=OFF \
    -DWITH_NSS3=OFF -DWITH_Cairo=OFF -DCMAKE_DISABLE_FIND_PACKAGE_Boost=ON \
    -DCMAKE_DISABLE_FIND_PACKAGE_ECM=ON -DBUILD_GTK_TESTS=OFF -DBUILD_QT5_TESTS=OFF \
    -DBUILD_QT6_TESTS=OFF -DBUILD_CPP_TESTS=OFF -DBUILD_MANUAL_TESTS=OFF \
    -DRUN_GPERF_IF_PRESENT=OFF -DENABLE_UNSTABLE_API_ABI_HEADERS=ON
  cmake --build "$work/build-poppler" -j "$jobs" --target poppler pdftotext pdfinfo
  # The library and its headers from the top folder's rules; the tools by hand, since installing
  # the utils folder would build the other tools too.
  cmake -DCMAKE_INSTALL_LOCAL_ONLY=ON -P "$work/build-poppler/cmake_install.cmake"
  install -D -m 755 -t "$prefix/bin" \
    "$work/build-poppler/utils/pdftotext.exe" "$work/build-poppler/utils/pdfinfo.exe"
  $triple-strip "$prefix/bin/pdftotext.exe" "$prefix/bin/pdfinfo.exe"
}

step "zlib" build_zlib
step "freetype" build_freetype
step "poppler" build_poppler
ls -l "$prefix/bin"

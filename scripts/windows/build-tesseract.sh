#!/usr/bin/env bash
# Builds the OCR engine tesseract 5.3 for 64-bit Windows from Debian 12's sources, with
# leptonica 1.82 as a static library, into one statically linked tesseract.exe that needs only
# system DLLs:
#   scripts/windows/build-tesseract.sh <prefix> [work folder, default <prefix>.work]
# Gives <prefix>/bin/tesseract.exe (about 4 minutes on two idle cores). Only what the program
# uses: reading a PNM image from standard input and printing its text, orientation detection
# included (it needs the legacy engine). No image libraries (leptonica reads PNM by itself), no
# training tools, no libcurl or libarchive, no OpenMP (the program runs one engine thread per
# page anyway), no ScrollView. The language models are not built here: they come from Debian's
# tesseract-ocr-eng and tesseract-ocr-osd packages.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
source "$larkspan_top/scripts/windows/recipes.sh"
prefix=$(realpath -m "$1")
work=$(realpath -m "${2:-$prefix.work}")
jobs=${LARKSPAN_JOBS:-$(nproc)}
mkdir -p "$prefix" "$work"

fetch_sources() {
  "$larkspan_top/scripts/windows/debian-source.sh" "$work" \
    leptonlib=1.82.0-3 tesseract=5.3.0-2 >"$work/sources"
}
step "fetch sources" fetch_sources
mapfile -t sources <"$work/sources"
leptonica_src=${sources[0]} tesseract_src=${sources[1]}
# Windows' socket library is named in the wrong case for mingw's case-sensitive library folder.
sed -i 's/^  set(LIB_Ws2_32 Ws2_32)$/  set(LIB_Ws2_32 ws2_32)/' "$tesseract_src/CMakeLists.txt"

# -O2 rather than CMake's -O3, as Debian builds it. The assembler turns aligned vector moves into
# unaligned ones: gcc may keep 32- and 64-byte vectors on a stack that Windows aligns to 16 bytes
# only (gcc bug 54412), and the AVX code paths would then crash.
flags="-O2 -DNDEBUG -Wa,-muse-unaligned-vector-move"
lib_build() {
  larkspan_cross_cmake "$prefix" -DCMAKE_C_FLAGS_RELEASE="$flags" \
    -DCMAKE_CXX_FLAGS_RELEASE="$flags" "$@"
}

build_leptonica() {
  lib_build -S "$leptonica_src" -B "$work/build-leptonica" -DBUILD_SHARED_LIBS=OFF \
    -DBUILD_PROG=OFF -DSW_BUILD=OFF -DCMAKE_DISABLE_FIND_PACKAGE_GIF=ON \
    -DCMAKE_DISABLE_FIND_PACKAGE_JPEG=ON -DCMAKE_DISABLE_FIND_PACKAGE_PNG=ON \
    -DCMAKE_DISABLE_FIND_PACKAGE_TIFF=ON -DCMAKE_DISABLE_FIND_PACKAGE_ZLIB=ON \
    -DCMAKE_DISABLE_FIND_PACKAGE_PkgConfig=ON
  cmake --build "$work/build-leptonica" -j "$jobs"
  cmake --install "$work/build-leptonica"
}

# COMPILER_SUPPORTS_MARCH_NATIVE off: tesseract would build one of its files for the CPU of
# this machine, and the program would then fail on an older one. The SIMD variants (SSE4.1, AVX,
# AVX2, AVX-512, FMA) are chosen at run time.
# TESSERACT_DISABLE_DEBUG_FONTS: the captions of its debug images would need leptonica's fonts,
# which are stored as TIFF; without libtiff every start printed four errors.
build_tesseract() {
  PKG_CONFIG_LIBDIR=$prefix/lib/pkgconfig lib_build -S "$tesseract_src" \
    -B "$work/build-tesseract" -DBUILD_SHARED_LIBS=OFF -DSW_BUILD=OFF -DOPENMP_BUILD=OFF \
    -DGRAPHICS_DISABLED=ON -DBUILD_TRAINING_TOOLS=OFF -DBUILD_TESTS=OFF -DDISABLE_ARCHIVE=ON \
    -DDISABLE_CURL=ON -DENABLE_LTO=OFF -DINSTALL_CONFIGS=OFF -DCOMPILER_SUPPORTS_MARCH_NATIVE=OFF \
    -DCMAKE_DISABLE_FIND_PACKAGE_TIFF=ON -DCMAKE_DISABLE_FIND_PACKAGE_OpenCL=ON \
    -DLeptonica_DIR="$prefix/lib/cmake/leptonica" \
    -DCMAKE_CXX_FLAGS=-DTESSERACT_DISABLE_DEBUG_FONTS \
    -DCMAKE_EXE_LINKER_FLAGS="-static -static-libgcc -static-libstdc++"
  cmake --build "$work/build-tesseract" -j "$jobs" --target tesseract
  install -D -m 755 -t "$prefix/bin" "$work/build-tesseract/bin/tesseract.exe"
  $larkspan_mingw_triple-strip "$prefix/bin/tesseract.exe"
}

step "leptonica" build_leptonica
step "tesseract" build_tesseract
ls -l "$prefix/bin"

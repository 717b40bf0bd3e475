#!/usr/bin/env bash
# Builds libqpdf 11.3 for 64-bit Windows from Debian 12's sources, as a static library with its
# headers and the static zlib and libjpeg it needs, for the adapters to link:
#   scripts/windows/build-qpdf.sh <prefix> [work folder, default <prefix>.work]
# Gives <prefix>/lib/{libqpdf.a,libz.a,libjpeg.a}, <prefix>/include/qpdf/, and the package files
# lib/cmake/qpdf/ (find_package(qpdf), target qpdf::libqpdf) and lib/pkgconfig/libqpdf.pc,
# which name the prefix relative to themselves, so that the folder may be moved. About 7 minutes
# on two cores. Crypto is qpdf's own (AES, RC4, MD5, SHA-2; random numbers from Windows): no
# gnutls or openssl.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
source "$larkspan_top/scripts/windows/recipes.sh"
prefix=$(realpath -m "$1")
work=$(realpath -m "${2:-$prefix.work}")
jobs=${LARKSPAN_JOBS:-$(nproc)}
mkdir -p "$prefix" "$work"

fetch_sources() {
  "$larkspan_top/scripts/windows/debian-source.sh" "$work" "$larkspan_zlib_source" \
    "$larkspan_libjpeg_source" qpdf=11.3.0-1+deb12u1 >"$work/sources"
}
step "fetch sources" fetch_sources
mapfile -t sources <"$work/sources"
zlib_src=${sources[0]} libjpeg_src=${sources[1]} qpdf_src=${sources[2]}
# Windows' advapi32 is named in the wrong case for mingw's case-sensitive library folder; every
# check of the configure step that links would fail (stdint.h "missing", say).
sed -i 's/^  list(APPEND CMAKE_REQUIRED_LIBRARIES Advapi32)$/  list(APPEND CMAKE_REQUIRED_LIBRARIES advapi32)/' \
  "$qpdf_src/CMakeLists.txt"

# Only the library: no command-line tools, tests, examples or manual. No pkg-config: zlib and
# libjpeg are then found as files, and the CMake package names them by path, not as "-lz" in a
# folder the user of the package would have to know.
build_qpdf() {
  mkdir -p "$work/no-pkg-config"
  PKG_CONFIG_LIBDIR=$work/no-pkg-config larkspan_cross_cmake "$prefix" -S "$qpdf_src" \
    -B "$work/build-qpdf" -DBUILD_SHARED_LIBS=OFF -DBUILD_STATIC_LIBS=ON \
    -DUSE_IMPLICIT_CRYPTO=OFF -DREQUIRE_CRYPTO_NATIVE=ON -DBUILD_DOC=OFF -DINSTALL_MANUAL=OFF \
    -DINSTALL_EXAMPLES=OFF -DCMAKE_CXX_FLAGS_RELEASE="-O2 -DNDEBUG"
  cmake --build "$work/build-qpdf" -j "$jobs" --target libqpdf
  cmake --install "$work/build-qpdf" --component dev
  # The CMake package is installed outside any component.
  cmake --install "$work/build-qpdf" --component Unspecified
  # The package files name the prefix: relative to themselves instead.
  sed -i "s|$prefix/|\${_IMPORT_PREFIX}/|g" "$prefix"/lib/cmake/qpdf/libqpdfTargets*.cmake
  sed -i "s|$prefix|\${pcfiledir}/../..|g" "$prefix"/lib/pkgconfig/*.pc
  if grep -rlF "$prefix" "$prefix/lib/cmake" "$prefix/lib/pkgconfig"; then
    echo "the package files above still name $prefix" >&2
    return 1
  fi
}

step "zlib" larkspan_build_zlib "$prefix" "$zlib_src" "$work"
step "libjpeg" larkspan_build_libjpeg "$prefix" "$libjpeg_src" "$work"
step "qpdf" build_qpdf
ls -l "$prefix/lib"

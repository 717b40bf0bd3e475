# shellcheck shell=bash
# shellcheck disable=SC2034 # the variables are for the scripts that source this file
# Build steps shared by the build-*.sh scripts of scripts/windows, which build Larkspan's
# dependencies for 64-bit Windows from Debian 12's sources (sourced after lib.sh, not run).

# The Debian 12 source packages, at the versions built.
# zlib stays at the bookworm release: the security update's files are not on every mirror.
larkspan_zlib_source=zlib=1:1.2.13.dfsg-1
larkspan_freetype_source=freetype=2.12.1+dfsg-5+deb12u4
larkspan_poppler_source=poppler=22.12.0-2+deb12u3
larkspan_libjpeg_source=libjpeg-turbo=1:2.1.5-2
larkspan_mingw_triple=x86_64-w64-mingw32

# larkspan_cross_cmake <prefix> <cmake arguments...>: configures a dependency for 64-bit Windows
# with Ninja, installing into the prefix. Every library it needs is looked for in the prefix
# first (ahead of the mingw root, which may hold a DLL of its own of the same name) and only as
# a static library.
larkspan_cross_cmake() {
  local prefix=$1
  shift
  cmake -G Ninja -DCMAKE_TOOLCHAIN_FILE="$larkspan_top/cmake/toolchains/mingw-w64-x86_64.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" -DCMAKE_FIND_ROOT_PATH="$prefix" \
    -DCMAKE_FIND_LIBRARY_SUFFIXES=.a "$@"
}

# larkspan_build_zlib <prefix> <source> <work folder>: static zlib. Debian's source drops win32/
# (its makefile and resource file), which its CMake build needs for mingw; the plain configure
# script builds the static library fine.
larkspan_build_zlib() {
  local prefix=$1 source=$2 build=$3/build-zlib triple=$larkspan_mingw_triple
  rm -rf "$build"
  cp -a "$source" "$build"
  (cd "$build" &&
    CHOST=$triple CC=$triple-gcc-posix AR=$triple-ar RANLIB=$triple-ranlib \
      ./configure --static --prefix="$prefix" &&
    make -j"${LARKSPAN_JOBS:-$(nproc)}" libz.a && make install)
}

# larkspan_build_freetype <prefix> <source> <work folder>: static freetype with zlib only.
larkspan_build_freetype() {
  local prefix=$1 source=$2 build=$3/build-freetype
  larkspan_cross_cmake "$prefix" -S "$source" -B "$build" \
    -DBUILD_SHARED_LIBS=OFF -DFT_REQUIRE_ZLIB=ON -DFT_DISABLE_BZIP2=ON -DFT_DISABLE_PNG=ON \
    -DFT_DISABLE_HARFBUZZ=ON -DFT_DISABLE_BROTLI=ON
  cmake --build "$build" -j "${LARKSPAN_JOBS:-$(nproc)}"
  cmake --install "$build"
}

# larkspan_build_libjpeg <prefix> <source> <work folder>: static libjpeg (libjpeg-turbo, the
# libjpeg 6.2 interface Debian ships) without its SIMD code, which would need nasm: decoding a
# page's image is a small part of rendering and recognising it.
larkspan_build_libjpeg() {
  local prefix=$1 source=$2 build=$3/build-libjpeg
  larkspan_cross_cmake "$prefix" -S "$source" -B "$build" -DENABLE_SHARED=OFF -DENABLE_STATIC=ON \
    -DWITH_SIMD=OFF -DWITH_TURBOJPEG=OFF -DCMAKE_C_FLAGS_RELEASE="-O2 -DNDEBUG"
  cmake --build "$build" -j "${LARKSPAN_JOBS:-$(nproc)}" --target jpeg-static
  # By hand: installing the project would build its command-line tools too.
  install -D -m 644 "$build/libjpeg.a" "$prefix/lib/libjpeg.a"
  install -D -m 644 -t "$prefix/include" "$build/jconfig.h" "$source/jerror.h" \
    "$source/jmorecfg.h" "$source/jpeglib.h"
  install -D -m 644 -t "$prefix/lib/pkgconfig" "$build/pkgscripts/libjpeg.pc"
}

# larkspan_configure_poppler <prefix> <source> <build folder> [cmake arguments...]: configures
# poppler 22.12 for Windows: the core as a static library with static zlib and freetype from the
# prefix, and the utils, statically linked. What build-poppler.sh builds: no image libraries,
# since pdftotext and pdfinfo decode no images; the arguments given after the folder come last
# and may change that.
larkspan_configure_poppler() {
  local prefix=$1 source=$2 build=$3
  shift 3
  # Only the prefix's .pc files: the host's poppler-data.pc would otherwise leak in.
  PKG_CONFIG_LIBDIR=$prefix/lib/pkgconfig larkspan_cross_cmake "$prefix" -S "$source" -B "$build" \
    -DBUILD_SHARED_LIBS=OFF -DCMAKE_EXE_LINKER_FLAGS="-static -static-libgcc -static-libstdc++" \
    -DFONT_CONFIGURATION=win32 -DENABLE_UTILS=ON -DENABLE_CPP=OFF -DENABLE_GLIB=OFF \
    -DENABLE_GOBJECT_INTROSPECTION=OFF -DENABLE_GTK_DOC=OFF -DENABLE_QT5=OFF -DENABLE_QT6=OFF \
    -DENABLE_BOOST=OFF -DENABLE_LIBCURL=OFF -DENABLE_ZLIB=ON -DENABLE_DCTDECODER=none \
    -DENABLE_LIBOPENJPEG=none -DENABLE_CMS=none -DWITH_JPEG=OFF -DWITH_PNG=OFF -DWITH_TIFF=OFF \
    -DWITH_NSS3=OFF -DWITH_Cairo=OFF -DCMAKE_DISABLE_FIND_PACKAGE_Boost=ON \
    -DCMAKE_DISABLE_FIND_PACKAGE_ECM=ON -DBUILD_GTK_TESTS=OFF -DBUILD_QT5_TESTS=OFF \
    -DBUILD_QT6_TESTS=OFF -DBUILD_CPP_TESTS=OFF -DBUILD_MANUAL_TESTS=OFF \
    -DRUN_GPERF_IF_PRESENT=OFF -DENABLE_UNSTABLE_API_ABI_HEADERS=ON "$@"
}

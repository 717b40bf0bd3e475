#!/usr/bin/env bash
# Builds Qt 6.4.2 (qtbase only: Core, Gui, Widgets, Test and the windows, offscreen and minimal
# platform plugins) for 64-bit Windows from Debian 12's qt6-base source, as shared DLLs:
#   scripts/windows/build-qt.sh [--configure-only | --targets <target>,...] <prefix> [work folder]
# The work folder defaults to <prefix>.work. A full build takes about an hour of both cores.
# --configure-only stops after the configure step; --targets builds only the given targets (a
# quick check of the recipe) in the tree configured before, configuring only when there is
# none, and installs nothing.
# moc, rcc and uic are not built: Debian's own Qt of the same version (qt6-base-dev-tools) is
# the host Qt, found under /usr.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
mode=full
targets=()
case "${1:-}" in
  --configure-only) mode=configure; shift ;;
  --targets) mode=targets; IFS=, read -ra targets <<<"$2"; shift 2 ;;
esac
prefix=$(realpath -m "$1")
work=$(realpath -m "${2:-$prefix.work}")
jobs=${LARKSPAN_JOBS:-$(nproc)}
toolchain=$larkspan_top/cmake/toolchains/mingw-w64-x86_64.cmake
build=$work/build-qt
mkdir -p "$work"

"$larkspan_top/scripts/windows/debian-source.sh" "$work" qt6-base=6.4.2+dfsg-10 >"$work/source"
src=$(tail -n 1 "$work/source")

# Direct2D is switched off. Qt Gui then leaves out its DirectWrite font database, but two
# blocks of the windows plugin ask only for DirectWrite 3 before using it, and the plugin would
# not link: they must ask for Direct2D too.
integration=$src/src/plugins/platforms/windows/qwindowsintegration.cpp
if ! grep -q 'QT_CONFIG(directwrite3) && QT_CONFIG(direct2d)' "$integration"; then
  [ "$(grep -c '^#if QT_CONFIG(directwrite3)$' "$integration")" -eq 2 ] || {
    echo "$integration: expected two '#if QT_CONFIG(directwrite3)' lines" >&2
    exit 1
  }
  sed -i 's/^#if QT_CONFIG(directwrite3)$/#if QT_CONFIG(directwrite3) \&\& QT_CONFIG(direct2d)/' \
    "$integration"
fi

configure_qt() {
  rm -rf "$build"
  mkdir -p "$build"
  # -no-feature-tabletevent: Debian's source drops the wintab headers the plugin would include.
  (cd "$build" && "$src/configure" -prefix "$prefix" -xplatform win32-g++ -qt-host-path /usr \
    -release -shared -nomake tests -nomake examples -no-opengl -no-dbus -no-icu -no-zstd \
    -no-feature-sql -no-feature-network -no-feature-printsupport -no-feature-concurrent \
    -no-feature-xml -no-feature-direct2d -no-feature-tabletevent -qt-zlib -qt-pcre -qt-libpng \
    -qt-libjpeg -qt-freetype -qt-harfbuzz -qt-doubleconversion -- \
    -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake)
}

if [ "$mode" != targets ] || [ ! -f "$build/build.ninja" ]; then
  step "configure" configure_qt
fi
case $mode in
  configure) ;;
  targets) step "build ${targets[*]}" cmake --build "$build" --parallel "$jobs" --target "${targets[@]}" ;;
  full)
    step "build" cmake --build "$build" --parallel "$jobs"
    step "install" cmake --install "$build"
    ;;
esac

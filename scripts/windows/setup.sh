#!/usr/bin/env bash
# Prepares this Debian 12 machine for the Windows cross-build of Larkspan:
#   scripts/windows/setup.sh [build folder, default build-win]
# 1. installs the Debian packages of scripts/windows/debian-packages.txt (sudo when not root);
# 2. puts Qt, poppler and libqpdf for Windows into <build>/deps/qt, <build>/deps/poppler and
#    <build>/deps/qpdf: unpacked from the prebuilt archives in $LARKSPAN_WIN_PREBUILT (default:
#    ../shared/windows beside the checkout) when they are there, otherwise rebuilt from Debian's
#    sources with build-poppler.sh (minutes), build-qpdf.sh (minutes) and build-qt.sh (about an
#    hour on two cores).
# LARKSPAN_WIN_REBUILD=1 rebuilds even when the archives are there. A prepared folder is kept
# unless another archive is there to replace it, or a rebuild is asked for.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
build=$(realpath -m "${1:-$larkspan_top/build-win}")
deps=$build/deps
prebuilt=$(larkspan_prebuilt_dir)

# prepare <name> <archive> <rebuild script>
prepare() {
  local name=$1 archive=$prebuilt/$2 script=$3 dest=$deps/$1 origin current=""
  [ -f "$dest/.origin" ] && current=$(cat "$dest/.origin")
  if [ "${LARKSPAN_WIN_REBUILD:-0}" != 1 ] && [ -f "$archive" ]; then
    origin="archive $(basename "$archive") $(stat -c '%s %Y' "$archive")"
  else
    origin="rebuilt by $script"
    # Without the archives, a folder unpacked from them earlier is as good as a rebuild.
    [ "${LARKSPAN_WIN_REBUILD:-0}" != 1 ] && [ -n "$current" ] && origin=$current
  fi
  if [ "$current" = "$origin" ]; then
    echo "$name: already prepared ($origin)"
    return
  fi
  rm -rf "$dest"
  if [[ $origin == archive* ]]; then
    mkdir -p "$dest"
    step "unpack $name" tar -xJf "$archive" -C "$dest" --strip-components=1
  else
    step "rebuild $name" "$larkspan_top/scripts/windows/$script" "$dest" "$deps/work-$name"
  fi
  echo "$origin" >"$dest/.origin"
}

step "Debian packages" "$larkspan_top/scripts/install-deps.sh" \
  "$larkspan_top/scripts/windows/debian-packages.txt"
mkdir -p "$deps"
prepare poppler poppler-22.12.0-win64-static.tar.xz build-poppler.sh
prepare qt qt-6.4.2-mingw-w64-x86_64.tar.xz build-qt.sh
prepare qpdf qpdf-11.3.0-win64-static.tar.xz build-qpdf.sh
du -sh "$deps/qt" "$deps/poppler" "$deps/qpdf"

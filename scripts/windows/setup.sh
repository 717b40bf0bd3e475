#!/usr/bin/env bash
# Prepares this Debian 12 machine for the Windows cross-build of Larkspan:
#   scripts/windows/setup.sh [build folder, default build-win]
# 1. installs the Debian packages of scripts/windows/debian-packages.txt (sudo when not root);
# 2. puts each dependency built for Windows into <build>/deps/<name>: Qt (qt), poppler's text
#    tools and library (poppler), its page renderer (pdftoppm), the OCR engine (tesseract) and
#    libqpdf (qpdf). Each comes from the first of:
#    - its prebuilt archive in $LARKSPAN_WIN_PREBUILT (default: ../shared/windows beside the
#      checkout);
#    - its archive in the cache outside the checkout, $LARKSPAN_WIN_CACHE (default
#      ~/.cache/larkspan-windows), kept there by an earlier rebuild of the same recipe;
#    - a rebuild from Debian's sources by its scripts/windows/build-<name>.sh, whose result then
#      goes into the cache: minutes each, about an hour for Qt on two cores.
# LARKSPAN_WIN_REBUILD=1 rebuilds even when an archive is there. A prepared folder is kept
# unless another archive is there to replace it, or a rebuild is asked for.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
build=$(realpath -m "${1:-$larkspan_top/build-win}")
deps=$build/deps
prebuilt=$(larkspan_prebuilt_dir)
cache=$(larkspan_cache_dir)
rebuild=${LARKSPAN_WIN_REBUILD:-0}

# A cached archive belongs to the build script that made it (and to the shared build steps it
# uses): their fingerprint, comments left out, is kept beside it, and an archive of another
# recipe is not used.
recipe() { # <script>
  local files=("$larkspan_top/scripts/windows/$1")
  grep -q recipes.sh "${files[0]}" && files+=("$larkspan_top/scripts/windows/recipes.sh")
  cat "${files[@]}" | sed '/^[[:space:]]*#/d' | sha256sum | cut -c1-16
}

# Packs a prepared folder into the cache, as prefix/... like the prebuilt archives. A cache that
# cannot be written costs the next run a rebuild, nothing more.
fill_cache() { # <folder> <archive> <recipe>
  local folder=$1 archive=$2 fingerprint=$3 partial
  mkdir -p "$cache" && partial=$(mktemp "$archive.XXXXXX") &&
    tar -cJf "$partial" --exclude=./.origin --transform 's|^\.|prefix|' -C "$folder" . &&
    chmod 644 "$partial" && mv "$partial" "$archive" && echo "$fingerprint" >"$archive.recipe" &&
    return 0
  echo "warning: could not keep $(basename "$archive") in $cache" >&2
  rm -f "${partial:-}"
}

# prepare <name> <archive> <rebuild script>
prepare() {
  local name=$1 archive=$prebuilt/$2 cached=$cache/$2 script=$3 dest=$deps/$1
  local fingerprint origin current="" unpack=""
  fingerprint=$(recipe "$script")
  [ -f "$dest/.origin" ] && current=$(cat "$dest/.origin")
  if [ "$rebuild" != 1 ] && [ -f "$archive" ]; then
    unpack=$archive
    origin="archive $(basename "$archive") $(stat -c '%s %Y' "$archive")"
  elif [ "$rebuild" != 1 ] && [[ $current == *" recipe $fingerprint" ]]; then
    origin=$current # made by this recipe, rebuilt here or unpacked from the cache
  elif [ "$rebuild" != 1 ] && [ -f "$cached" ] &&
    [ "$(cat "$cached.recipe" 2>/dev/null)" = "$fingerprint" ]; then
    unpack=$cached
    origin="cache $(basename "$cached") recipe $fingerprint"
  elif [ "$rebuild" != 1 ] && [[ $current == "archive $2 "* ]]; then
    origin=$current # unpacked from a prebuilt archive that has gone since: as good as a rebuild
  else
    origin="rebuilt by $script recipe $fingerprint"
  fi
  if [ "$current" = "$origin" ]; then
    echo "$name: already prepared ($origin)"
    return
  fi
  rm -rf "$dest"
  if [ -n "$unpack" ]; then
    mkdir -p "$dest"
    step "unpack $name" tar -xJf "$unpack" -C "$dest" --strip-components=1
  else
    step "rebuild $name" "$larkspan_top/scripts/windows/$script" "$dest" "$deps/work-$name"
    step "keep $name in the cache" fill_cache "$dest" "$cached" "$fingerprint"
  fi
  echo "$origin" >"$dest/.origin"
}

step "Debian packages" "$larkspan_top/scripts/install-deps.sh" \
  "$larkspan_top/scripts/windows/debian-packages.txt"
mkdir -p "$deps"
prepare poppler poppler-22.12.0-stable-sort-win64-static.tar.xz build-poppler.sh
prepare pdftoppm pdftoppm-22.12.0-win64-static.tar.xz build-pdftoppm.sh
prepare tesseract tesseract-5.3.0-win64-static.tar.xz build-tesseract.sh
prepare qpdf qpdf-11.3.0-win64-static.tar.xz build-qpdf.sh
prepare qt qt-6.4.2-mingw-w64-x86_64.tar.xz build-qt.sh
du -sh "$deps/qt" "$deps/poppler" "$deps/pdftoppm" "$deps/tesseract" "$deps/qpdf"

#!/usr/bin/env bash
# Builds poppler 22.12 for 64-bit Windows from Debian 12's sources, as a static library with
# static zlib and freetype, and the two tools pdftotext.exe and pdfinfo.exe, each linked
# statically (they need only system DLLs):
#   scripts/windows/build-poppler.sh <prefix> [work folder, default <prefix>.work]
# About 6.5 minutes on two cores. Fontconfig is not needed: on Windows poppler finds fonts
# through the system (FONT_CONFIGURATION=win32).
# The tools sort with a stable qsort of their own: poppler's text layout sorts words, lines and
# blocks with comparisons that call many of them equal (overlapping lines, say), so the order
# of those depends on the sort. Windows' own qsort (and wine's) is an unstable quicksort;
# glibc's, which Debian's pdftotext uses, is a merge sort that keeps equal elements in their
# order. The same merge sort here gives the Linux program's text.
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

# A top-down merge sort: the first half (count / 2 elements) and the rest sorted, then merged,
# an element of the first half going first unless it compares greater.
stable_qsort() {
  cat >"$work/stable-qsort.c" <<'EOF'
#include <stdlib.h>
#include <string.h>

typedef int (*compare_fn)(const void *, const void *);

static void merge_sort(char *base, size_t count, size_t size, compare_fn compare, char *spare)
{
    if (count < 2)
        return;
    size_t left = count / 2, right = count - left;
    char *a = base, *b = base + left * size, *out = spare;
    merge_sort(a, left, size, compare, spare);
    merge_sort(b, right, size, compare, spare);
    while (left > 0 && right > 0) {
        if (compare(a, b) <= 0) {
            memcpy(out, a, size);
            a += size;
            --left;
        } else {
            memcpy(out, b, size);
            b += size;
            --right;
        }
        out += size;
    }
    /* What is left of the second half is in place already. */
    memcpy(out, a, left * size);
    memcpy(base, spare, (size_t)(out - spare) + left * size);
}

void qsort(void *base, size_t count, size_t size, compare_fn compare)
{
    if (count < 2 || size == 0)
        return;
    char *spare = malloc(count * size);
    if (spare == NULL)
        abort(); /* no text at all rather than text in another order */
    merge_sort(base, count, size, compare, spare);
    free(spare);
}
EOF
  $larkspan_mingw_triple-gcc-posix -O2 -c -o "$work/stable-qsort.o" "$work/stable-qsort.c"
}

build_poppler() {
  # An object on the command line is linked whole, so its qsort comes before the C runtime's.
  larkspan_configure_poppler "$prefix" "$poppler_src" "$work/build-poppler" \
    -DCMAKE_EXE_LINKER_FLAGS="-static -static-libgcc -static-libstdc++ $work/stable-qsort.o"
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
step "stable qsort" stable_qsort
step "poppler" build_poppler
ls -l "$prefix/bin"

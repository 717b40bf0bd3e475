#!/usr/bin/env bash
# Measures what textract.bin does with each page it recognises (scripts/bench-ocr.sh measures
# accuracy and speed on plain scans). Argument: [pages per size], default 2: the licence text
# typeset at 10, 12 and 14 pt as in bench-ocr.sh.
#   1. Orientation: the pages scanned upright and turned by 90, 180 and 270 degrees in their
#      pixels (qpdf --rotate, then pdftoppm -r 300 and img2pdf); for each, the words agreeing with
#      the recognition of the upright scan (aim: at least 0.9) and with the typeset text, and the
#      seconds per page.
#   2. Blank pages: 2,000 pages with nothing drawn, textract.bin against pdftotext alone, medians
#      of 11 interleaved runs (aim: at most 2 times); and 100 scans of an empty page.
#   3. Huge pages: a scan spread over a 14,400 pt and a 40,000 pt page; the peak of the resident
#      memory of textract.bin and all its children summed (sampled every 5 ms; aim: at most
#      600 MB), the largest single process, the time, and whether the text was read.
#   4. Before and after: with BEFORE=<another textract.bin> (for example main's, built from
#      `git archive main` in another folder), its speed and accuracy on the upright scan and its
#      time on blank pages (20 of each kind: it sends them all to the engine) beside this one's;
#      BEFORE_HUGE=1 adds its memory on the 14,400 pt page (over 2 GB). BEFORE_MODELS=<folder>
#      gives it only the models of that folder (TESSDATA_PREFIX), for example English and
#      orientation alone as it shipped, where it would read every page with every model
#      installed.
# Builds textract.bin and the helper into $BUILD_DIR (default ./build) first.
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${BUILD_DIR:-$top/build}
per_size=${1:-2}

"$top/scripts/install-deps.sh" "$top/scripts/bench-packages.txt"
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S "$top" -B "$build" -G Ninja
fi
cmake --build "$build" --target textract.bin ocr-pages >/dev/null
textract=$build/bin/textract.bin
before=${BEFORE:-}
pages_tool=$build/bench/ocr-pages
work=$(mktemp -d "${TMPDIR:-/tmp}/bench-ocr-pages.XXXXXX")
trap 'rm -rf "$work"' EXIT
unset OMP_THREAD_LIMIT LARKSPAN_OCR_SECONDS LARKSPAN_OCR_JOBS

fail() {
  echo "bench-ocr-pages: $*" >&2
  exit 1
}
now() { printf '%s\n' "${EPOCHREALTIME/,/.}"; }
load() { cut -d' ' -f1-3 /proc/loadavg; }
since() { awk -v a="$1" -v b="$(now)" 'BEGIN { print b - a }'; }
median() { printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END { print v[(NR + 1) / 2] }'; }

# Runs TOOL (a textract.bin) on INPUT into OUTPUT with -layout; sets SECONDS_TAKEN. Anything it
# prints is a failure.
extract() { # TOOL INPUT OUTPUT
  local start said
  start=$(now)
  said=$("$1" -enc UTF-8 -eol unix -layout "$2" "$3" 2>&1) || fail "$1 on $2 failed: $said"
  [ -z "$said" ] || fail "$1 on $2 printed: $said"
  SECONDS_TAKEN=$(since "$start")
}

printf 'load at start: %s (%s processors)\n' "$(load)" "$(nproc)"
licences=/usr/share/common-licenses
"$pages_tool" make "$work" "$per_size" "$licences/GPL-3" "$licences/Apache-2.0" \
  "$licences/GPL-2" "$licences/LGPL-2.1"
pdfunite "$work"/text-{10,12,14}.pdf "$work/text.pdf"
pages=$((3 * per_size))

# A scan of PDF, each page rendered at 300 dpi in grey and wrapped as an image-only page.
scan() { # PDF TARGET
  local folder
  folder=$(mktemp -d "$work/png.XXXXXX")
  pdftoppm -r 300 -gray -png "$1" "$folder/p"
  img2pdf -o "$2" "$folder"/p-*.png
  rm -rf "$folder"
}

# 1. Orientation.
printf '\n1. Orientation: %d pages (%d each at 10, 12 and 14 pt), -layout, two at once\n' \
  "$pages" "$per_size"
for turn in 0 90 180 270; do
  qpdf --warning-exit-0 --rotate="+$turn" "$work/text.pdf" "$work/text-$turn.pdf"
  scan "$work/text-$turn.pdf" "$work/scan-$turn.pdf"
  extract "$textract" "$work/scan-$turn.pdf" "$work/out-$turn.txt"
  eval "seconds_$turn=$SECONDS_TAKEN"
done
mkdir "$work/upright"
cp "$work/out-0.txt" "$work/upright/reference.txt"
cp "$work/sizes.txt" "$work/upright/"
agreement() { # DIR OUTPUT: the overall agreement, in percent
  "$pages_tool" score "$1" "$2" x 0 | awk '$1 == "all" { sub("%", "", $7); print $7 }'
}
printf '  %-9s %22s %22s %12s\n' turned "with upright reading" "with typeset text" "s/page"
for turn in 0 90 180 270; do
  seconds=seconds_$turn
  awk -v t="$turn" -v u="$(agreement "$work/upright" "$work/out-$turn.txt")" \
    -v r="$(agreement "$work" "$work/out-$turn.txt")" -v s="${!seconds}" -v n="$pages" \
    -v up="$seconds_0" 'BEGIN {
      printf "  %3d deg   %21.2f%% %21.2f%% %7.2f (%.2f of upright)\n", t, u, r, s / n, s / up }'
done

# 2. Blank pages.
"$pages_tool" blank "$work/blank.pdf" 2000
with=() alone=()
for ((round = 1; round <= 11; round++)); do
  start=$(now)
  pdftotext -enc UTF-8 -layout "$work/blank.pdf" "$work/blank-alone.txt"
  alone+=("$(since "$start")")
  extract "$textract" "$work/blank.pdf" "$work/blank-with.txt"
  with+=("$SECONDS_TAKEN")
done
cmp -s "$work/blank-alone.txt" "$work/blank-with.txt" || fail "blank pages came out differently"
printf '\n2. Blank pages, medians of 11 interleaved runs:\n'
awk -v w="$(median "${with[@]}")" -v a="$(median "${alone[@]}")" 'BEGIN {
  printf "  2000 empty pages: textract.bin %.0f ms, pdftotext alone %.0f ms, ratio %.2f\n",
    w * 1000, a * 1000, w / a }'
# Scans of an empty page: an even grey image on each page.
convert -size 2550x3300 xc:gray97 -depth 8 "$work/empty.png"
empties=()
for ((page = 1; page <= 100; page++)); do empties+=("$work/empty.png"); done
img2pdf -o "$work/empty-scans.pdf" "${empties[@]}"
extract "$textract" "$work/empty-scans.pdf" "$work/empty-scans.txt"
empty_with=$SECONDS_TAKEN
start=$(now)
pdftotext -enc UTF-8 -layout "$work/empty-scans.pdf" "$work/empty-alone.txt"
empty_alone=$(since "$start")
awk -v w="$empty_with" -v a="$empty_alone" 'BEGIN {
  printf "  100 scans of an empty page: textract.bin %.2f s (%.1f ms a page), pdftotext alone %.2f s\n",
    w, w * 10, a }'

# 3. Huge pages: the top of the first 10 pt page, a square 8.5 inches wide at 300 dpi, spread
# over the page (img2pdf writes pages past 14,400 pt with a user unit, which poppler does not
# honour: the numbers of a 14,400 pt page are rewritten instead, in qpdf's plain form).
pdftoppm -r 300 -gray -png -singlefile -f 1 -l 1 -x 0 -y 0 -W 2550 -H 2550 \
  "$work/text-10.pdf" "$work/square"
img2pdf --pagesize 14400ptx14400pt -o "$work/huge-14400.pdf" "$work/square.png"
qpdf --warning-exit-0 --qdf --stream-data=preserve --object-streams=disable "$work/huge-14400.pdf" "$work/huge.qdf"
sed 's/14400/40000/g' "$work/huge.qdf" >"$work/huge-40000.pdf"
first_words=$(head -c 400 "$work/reference.txt" | tr -s '[:space:]' ' ' | cut -d' ' -f1-6)
printf '\n3. Huge pages (peak of textract.bin and its children summed; largest single process):\n'
huge() { # TOOL SIDE LABEL
  local figures
  figures=$("$pages_tool" peak "$1" -enc UTF-8 -layout "$work/huge-$2.pdf" "$work/huge-$2.txt")
  read -r peak largest seconds status <<<"$figures"
  local read=no
  tr -s '[:space:]' ' ' <"$work/huge-$2.txt" | grep -qF "$first_words" && read=yes
  printf '  %-6s %6s pt: peak %5d MB, largest %5d MB, %6.1f s, exit %s, text read: %s\n' \
    "$3" "$2" "$peak" "$largest" "$seconds" "$status" "$read"
}
huge "$textract" 14400 now
huge "$textract" 40000 now
if [ -n "$before" ] && [ "${BEFORE_HUGE:-0}" = 1 ]; then
  huge "$before" 14400 before
fi

# 4. Before and after.
if [ -n "$before" ] && [ -n "${BEFORE_MODELS:-}" ]; then
  printf '#!/bin/sh\nTESSDATA_PREFIX=%q exec %q "$@"\n' "$BEFORE_MODELS" "$before" >"$work/before.sh"
  chmod +x "$work/before.sh"
  before=$work/before.sh
fi
if [ -n "$before" ]; then
  printf '\n4. Before (%s) and after, upright scan of %d pages, -layout, two at once:\n' \
    "$before" "$pages"
  extract "$before" "$work/scan-0.pdf" "$work/before-0.txt"
  before_seconds=$SECONDS_TAKEN
  extract "$textract" "$work/scan-0.pdf" "$work/after-0.txt"
  after_seconds=$SECONDS_TAKEN
  for side in before after; do
    seconds=${side}_seconds
    awk -v s="${!seconds}" -v n="$pages" -v label="$side" \
      -v r="$(agreement "$work" "$work/$side-0.txt")" 'BEGIN {
        printf "  %-6s %6.2f s/page, agreement with the typeset text %.2f%%\n", label, s / n, r }'
  done
  awk -v b="$before_seconds" -v a="$after_seconds" 'BEGIN { printf "  after / before: %.2f\n", a / b }'
  qpdf --warning-exit-0 --empty --pages "$work/blank.pdf" 1-20 -- "$work/blank-20.pdf"
  qpdf --warning-exit-0 --empty --pages "$work/empty-scans.pdf" 1-20 -- "$work/empty-20.pdf"
  for doc in blank-20 empty-20; do
    extract "$before" "$work/$doc.pdf" "$work/$doc-before.txt"
    b=$SECONDS_TAKEN
    extract "$textract" "$work/$doc.pdf" "$work/$doc-after.txt"
    awk -v b="$b" -v a="$SECONDS_TAKEN" -v d="$doc" 'BEGIN {
      printf "  20 %s pages: before %.2f s (%.0f ms a page), after %.3f s\n",
        (d == "blank-20" ? "empty" : "scanned empty"), b, b * 50, a }'
  done
fi

printf '\nload at end: %s\n' "$(load)"

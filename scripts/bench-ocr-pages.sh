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
#   4. Which pages the engine reads: text-only documents (the typeset licences; real text in
#      several scripts, leader dots, code and formulas typeset with pango-view) and documents
#      with drawn pages (text pages with a vector chart, a scan of it and a photograph-like
#      picture), textract.bin against pdftotext alone (medians of $TRIAGE_ROUNDS, default 5,
#      interleaved runs), and
#      whether the text stayed pdftotext's; garbled text layers (the typeset text with its
#      font's Unicode map rewritten: private-use code points, mixed-script mojibake), the word
#      F1 of textract.bin's text and of pdftotext's against the typeset words.
#   5. Before and after: with BEFORE=<another textract.bin> (for example main's, built from
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
# English and orientation only, as the package recommends: the tool reads every model installed,
# which a machine with more language packs would measure instead.
models=$(tesseract --list-langs 2>&1 | sed -n '1s/^List of available languages in "\(.*\)".*/\1/p')
mkdir "$work/tessdata"
ln -s "$models"/{eng.traineddata,osd.traineddata,configs,tessconfigs} "$work/tessdata/"
export TESSDATA_PREFIX=$work/tessdata

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

# Before runs with only the models it shipped with, when asked.
if [ -n "$before" ] && [ -n "${BEFORE_MODELS:-}" ]; then
  printf '#!/bin/sh\nTESSDATA_PREFIX=%q exec %q "$@"\n' "$BEFORE_MODELS" "$before" >"$work/before.sh"
  chmod +x "$work/before.sh"
  before=$work/before.sh
fi
# 4. Which pages the engine reads.
rounds=${TRIAGE_ROUNDS:-5}
printf '\n4. Which pages the engine reads (-layout, medians of %d interleaved runs):\n' "$rounds"
mkdir "$work/triage"
tri=$work/triage
cat >"$tri/de.txt" <<'TEXT'
Alle Menschen sind frei und gleich an Würde und Rechten geboren. Sie sind mit Vernunft und
Gewissen begabt und sollen einander im Geist der Brüderlichkeit begegnen.
TEXT
cat >"$tri/pl.txt" <<'TEXT'
Wszyscy ludzie rodzą się wolni i równi pod względem swej godności i swych praw. Są oni
obdarzeni rozumem i sumieniem i powinni postępować wobec innych w duchu braterstwa.
TEXT
cat >"$tri/zh.txt" <<'TEXT'
人人生而自由，在尊严和权利上一律平等。他们赋有理性和良心，并应以兄弟关系的精神相对待。
TEXT
cat >"$tri/ru.txt" <<'TEXT'
Все люди рождаются свободными и равными в своем достоинстве и правах. Они наделены разумом
и совестью и должны поступать в отношении друг друга в духе братства.
TEXT
{
  printf 'Contents\n'
  for chapter in Introduction Installation Usage Reference Index; do
    printf '%-20s %s %d\n' "$chapter" "............................" $((RANDOM % 90 + 1))
  done
} >"$tri/toc.txt"
head -n 60 /usr/include/stdio.h >"$tri/code.txt"
printf '∀ε>0 ∃δ>0: |x−y|<δ ⇒ |f(x)−f(y)|<ε\n∑ᵢ xᵢ² ≤ ∫₀¹ f(x) dx, Δ = √(b² − 4ac)\n' \
  >"$tri/maths.txt"
text_docs=("$work/text.pdf")
for name in de pl zh ru toc code maths; do
  pango-view --no-display -q --font='Sans 11' --width=1000 -o "$tri/$name.pdf" "$tri/$name.txt"
  text_docs+=("$tri/$name.pdf")
done
# Documents with drawn pages: three pages of text, a chart, a scan of a chart, a photograph.
drawn_docs=()
for ((doc = 1; doc <= 5; doc++)); do
  "$pages_tool" chart "$tri/chart-$doc.pdf" "$doc"
  pdftoppm -r 300 -gray -png -singlefile "$tri/chart-$doc.pdf" "$tri/chart-$doc"
  convert -seed "$doc" -size 1275x1650 plasma:fractal -colorspace gray "$tri/photo-$doc.png"
  img2pdf -o "$tri/scans-$doc.pdf" "$tri/chart-$doc.png"
  img2pdf --imgsize 150dpi -o "$tri/photo-$doc.pdf" "$tri/photo-$doc.png"
  qpdf --warning-exit-0 --empty --pages "$work/text.pdf" 1-3 "$tri/chart-$doc.pdf" \
    "$tri/scans-$doc.pdf" "$tri/photo-$doc.pdf" -- "$tri/drawn-$doc.pdf"
  drawn_docs+=("$tri/drawn-$doc.pdf")
done
# Runs TOOL (a textract.bin, or pdftotext) on each of the documents into DOCUMENT.TAG.txt;
# prints the seconds.
all_docs() { # TOOL TAG DOCUMENT...
  local tool=$1 tag=$2 start
  shift 2
  start=$(now)
  for doc in "$@"; do
    if [ "$tool" = pdftotext ]; then
      pdftotext -enc UTF-8 -layout "$doc" "$doc.$tag.txt"
    else
      extract "$tool" "$doc" "$doc.$tag.txt"
    fi
  done
  since "$start"
}
triage_row() { # LABEL DOCUMENT...
  local label=$1 with=() alone=() before_times=() same=yes
  shift
  for ((round = 1; round <= rounds; round++)); do
    alone+=("$(all_docs pdftotext alone "$@")")
    with+=("$(all_docs "$textract" with "$@")")
    if [ -n "$before" ]; then before_times+=("$(all_docs "$before" before "$@")"); fi
  done
  for doc in "$@"; do cmp -s "$doc.alone.txt" "$doc.with.txt" || same=no; done
  awk -v l="$label" -v n=$# -v w="$(median "${with[@]}")" -v a="$(median "${alone[@]}")" \
    -v s="$same" 'BEGIN {
      printf "  %-34s %2d files: textract.bin %7.0f ms, pdftotext %6.0f ms, ratio %5.2f, text as pdftotext: %s\n",
        l, n, w * 1000, a * 1000, w / a, s }'
  if [ -n "$before" ]; then
    awk -v b="$(median "${before_times[@]}")" -v a="$(median "${alone[@]}")" 'BEGIN {
      printf "  %-34s          before: %7.0f ms, ratio %5.2f\n", "", b * 1000, b / a }'
  fi
}
triage_row "text only (8 scripts and kinds)" "${text_docs[@]}"
triage_row "with drawn pages (3 of 6 a file)" "${drawn_docs[@]}"
# Garbled text layers: the word F1 against the typeset text.
f1() { # REFERENCE OUTPUT
  tr '\f\r' '  ' <"$2" | awk 'NR == FNR { for (i = 1; i <= NF; i++) { want[$i]++; w++ }; next }
    { for (i = 1; i <= NF; i++) { g++; if (want[$i]-- > 0) s++ } }
    END { printf "%.3f", (w + g) ? 2 * s / (w + g) : 0 }' <(tr '\f' ' ' <"$1") -
}
for map in private mojibake; do
  mkdir "$tri/$map"
  "$pages_tool" make "$tri/$map" "$per_size" "--map=$map" "$licences/GPL-3" "$licences/Apache-2.0" \
    "$licences/GPL-2" "$licences/LGPL-2.1"
  pdfunite "$tri/$map"/text-{10,12,14}.pdf "$tri/$map/all.pdf"
  pdftotext -enc UTF-8 -layout "$tri/$map/all.pdf" "$tri/$map/alone.txt"
  extract "$textract" "$tri/$map/all.pdf" "$tri/$map/with.txt"
  awk -v m="$map" -v n="$pages" -v w="$(f1 "$tri/$map/reference.txt" "$tri/$map/with.txt")" \
    -v a="$(f1 "$tri/$map/reference.txt" "$tri/$map/alone.txt")" -v s="$SECONDS_TAKEN" 'BEGIN {
      printf "  garbled layer (%-8s) %d pages: word F1 textract.bin %.3f (%.1f s), pdftotext %.3f\n",
        m, n, w, s, a }'
done

# 5. Before and after.
if [ -n "$before" ]; then
  printf '\n5. Before (%s) and after, upright scan of %d pages, -layout, two at once:\n' \
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

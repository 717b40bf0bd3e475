#!/usr/bin/env bash
# Measures textract.bin's text recognition of scanned pages: English body text of the licences
# in /usr/share/common-licenses typeset at 10, 12 and 14 pt (argument: [pages per size],
# default 7), rendered at 300 dpi in grey and wrapped as an image-only PDF with img2pdf.
#   1. Accuracy of -layout and -raw: the recognised words against the typeset ones, page by
#      page (word-level alignment; agreement = 1 - edits / words), per size and overall, with
#      the most frequent word errors; the engine alone is scored beside them.
#   2. Speed: the whole command's wall time per page, one page at a time
#      (LARKSPAN_OCR_JOBS=1) and two at once (the default), against the engine alone on the
#      same pages in the same run (pdftoppm -r 300 -gray | tesseract, one page after another).
#   3. What documents with text pay: textract.bin on the typeset (text) PDF with the engine
#      and with none (LARKSPAN_TESSERACT=/nonexistent), medians of interleaved runs.
#   4. Scripts and languages: scans of real translated text, a page per script or language and
#      two English pages askew (ocr-pages samples), each read alone by textract.bin, by the
#      engine told the page's language (pdftoppm | tesseract -l) and by OCRmyPDF (-l, and
#      --deskew for the askew pages; its text layer read with pdftotext): each reading's F1
#      against the typeset text, and its seconds. SCRIPTS=0 leaves this part out.
#   5. Cores: pages recognised per minute with the tool held to one processor and to two
#      (taskset; it runs as many pages at once as it may use processors), against Debian's
#      ocrmypdf -j 1 and -j 2 under the same hold, with their words' agreement.
# Builds textract.bin and the helper into $BUILD_DIR (default ./build) first; $TEXTRACT names
# another textract.bin to measure.
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${BUILD_DIR:-$top/build}
per_size=${1:-7}

"$top/scripts/install-deps.sh" "$top/scripts/bench-packages.txt"
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S "$top" -B "$build" -G Ninja
fi
cmake --build "$build" --target textract.bin ocr-pages >/dev/null
textract=${TEXTRACT:-$build/bin/textract.bin}
pages_tool=$build/bench/ocr-pages
work=$(mktemp -d "${TMPDIR:-/tmp}/bench-ocr.XXXXXX")
trap 'rm -rf "$work"' EXIT
# The tool is measured as it ships: a thread limit the caller happens to have set would
# change how it runs the engine.
unset OMP_THREAD_LIMIT
# English and orientation only, as the package recommends: the tool reads every model installed,
# which a machine with more language packs would measure instead.
models=$(tesseract --list-langs 2>&1 | sed -n '1s/^List of available languages in "\(.*\)".*/\1/p')
mkdir "$work/tessdata"
ln -s "$models"/{eng.traineddata,osd.traineddata,configs,tessconfigs} "$work/tessdata/"
export TESSDATA_PREFIX=$work/tessdata

fail() {
  echo "bench-ocr: $*" >&2
  exit 1
}
now() { printf '%s\n' "${EPOCHREALTIME/,/.}"; }
since() { awk -v a="$1" -v b="$(now)" 'BEGIN { print b - a }'; }
load() { cut -d' ' -f1-3 /proc/loadavg; }

printf 'load at start: %s (%s processors)\n' "$(load)" "$(nproc)"

# The documents: the typeset text, its pages rendered, and the scan of them.
licences=/usr/share/common-licenses
"$pages_tool" make "$work" "$per_size" "$licences/GPL-3" "$licences/Apache-2.0" \
  "$licences/GPL-2" "$licences/LGPL-2.1"
mkdir "$work/png"
scans=()
for size in 10 12 14; do
  pdftoppm -r 300 -gray -png "$work/text-$size.pdf" "$work/png/$size"
  scans+=("$work/png/$size"-*.png) # one size's names have the same width, so they sort
done
img2pdf -o "$work/scanned.pdf" "${scans[@]}"
pdfunite "$work"/text-{10,12,14}.pdf "$work/text.pdf"
pages=$(pdfinfo "$work/scanned.pdf" | awk '/^Pages:/ { print $2 }')
[ "$pages" -eq $((3 * per_size)) ] || fail "the scanned PDF has $pages pages, not $((3 * per_size))"
if [ -n "$(pdftotext "$work/scanned.pdf" - | tr -d '[:space:]')" ]; then
  fail "the scanned PDF holds text"
fi
printf '%d pages (%d each at 10, 12 and 14 pt), %s words; the scanned PDF holds no text\n' \
  "$pages" "$per_size" "$(wc -w <"$work/reference.txt")"

# Runs textract.bin with the environment assignments before "--" and the options after it on
# INPUT, writing OUTPUT; sets SECONDS_TAKEN. Anything it prints is a failure.
extract() { # [VAR=VALUE...] -- OPTIONS... INPUT OUTPUT
  local environment=() start said
  while [ "$1" != -- ]; do
    environment+=("$1")
    shift
  done
  shift
  start=$(now)
  said=$(env "${environment[@]}" "$textract" -enc UTF-8 -eol dos "$@" 2>&1) ||
    fail "textract.bin $* failed: $said"
  [ -z "$said" ] || fail "textract.bin $* printed: $said"
  SECONDS_TAKEN=$(awk -v a="$start" -v b="$(now)" 'BEGIN { print b - a }')
}

# The yardstick: the engine alone, page after page. Tesseract's own threads (OpenMP) are held
# to one: on a shared two-processor machine they make it several times slower, not faster.
start=$(now)
for ((page = 1; page <= pages; page++)); do
  pdftoppm -r 300 -gray -f "$page" -l "$page" "$work/scanned.pdf" |
    OMP_THREAD_LIMIT=1 tesseract stdin stdout -l eng 2>/dev/null >>"$work/engine.txt"
  printf '\f' >>"$work/engine.txt"
done
engine=$(awk -v a="$start" -v b="$(now)" 'BEGIN { print b - a }')
# The same for one page with the engine's default threads, to show what holding them buys.
first12=$((per_size + 1))
start=$(now)
pdftoppm -r 300 -gray -f "$first12" -l "$first12" "$work/scanned.pdf" |
  tesseract stdin stdout -l eng >/dev/null 2>&1
engine_threads=$(awk -v a="$start" -v b="$(now)" 'BEGIN { print b - a }')

extract LARKSPAN_OCR_JOBS=1 -- -layout "$work/scanned.pdf" "$work/layout-1.txt"
layout_one=$SECONDS_TAKEN
extract -- -layout "$work/scanned.pdf" "$work/layout.txt"
layout_two=$SECONDS_TAKEN
extract -- -raw "$work/scanned.pdf" "$work/raw.txt"
raw_two=$SECONDS_TAKEN

printf '\nAccuracy (words recognised against words typeset):\n'
"$pages_tool" score "$work" "$work/layout.txt" "textract.bin -layout"
if cmp -s "$work/layout.txt" "$work/layout-1.txt"; then
  echo "  (the same text one page at a time)"
else
  "$pages_tool" score "$work" "$work/layout-1.txt" "textract.bin -layout, one page at a time"
fi
"$pages_tool" score "$work" "$work/raw.txt" "textract.bin -raw"
"$pages_tool" score "$work" "$work/engine.txt" "the engine alone (pdftoppm | tesseract)" 3

printf '\nSpeed on %d scanned pages (the whole command'"'"'s wall time / pages):\n' "$pages"
row() { # LABEL SECONDS
  awk -v label="$1" -v s="$2" -v base="$engine" -v n="$pages" \
    'BEGIN { printf "  %-58s %6.2f s/page  ratio %.2f\n", label, s / n, s / base }'
}
row "engine alone, one page after another (threads held to 1)" "$engine"
row "textract.bin -layout, LARKSPAN_OCR_JOBS=1" "$layout_one"
row "textract.bin -layout, one page per processor (default)" "$layout_two"
row "textract.bin -raw, one page per processor (default)" "$raw_two"
awk -v s="$engine_threads" -v base="$engine" -v n="$pages" 'BEGIN {
  printf "  the engine with its default threads, one 12 pt page: %.2f s (%.1f times the above)\n",
    s, s / (base / n) }'

# Documents with text: the engine must cost them nothing. Interleaved, so that a change in the
# machine's load falls on both.
with=() without=()
for ((round = 1; round <= 11; round++)); do
  extract -- -layout "$work/text.pdf" "$work/text-with.txt"
  with+=("$SECONDS_TAKEN")
  extract LARKSPAN_TESSERACT=/nonexistent -- -layout "$work/text.pdf" "$work/text-without.txt"
  without+=("$SECONDS_TAKEN")
done
median() { printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END { print v[(NR + 1) / 2] }'; }
same=no
cmp -s "$work/text-with.txt" "$work/text-without.txt" && same=yes
printf '\nThe typeset (text) PDF, %d pages, -layout, medians of 11 interleaved runs:\n' "$pages"
awk -v w="$(median "${with[@]}")" -v wo="$(median "${without[@]}")" -v same="$same" 'BEGIN {
  printf "  with the engine %.1f ms, without %.1f ms, ratio %.2f (same text: %s)\n",
    w * 1000, wo * 1000, w / wo, same }'

# 4. Scripts and languages.
right_language() { # NAME: the engine's model a user who knows the page's language would name
  case "$1" in
  German) echo deu ;; French) echo fra ;; Spanish) echo spa ;; Polish) echo pol ;;
  Cyrillic*) echo rus ;; Greek) echo ell ;; Han*) echo chi_sim ;; Japanese) echo jpn ;;
  Hebrew) echo heb ;; *) echo eng ;;
  esac
}
if [ "${SCRIPTS:-1}" != 0 ]; then
  # Every model installed: the pages are in other languages, and the tool picks the one a page
  # needs from all there are, as it does on a machine with more packs.
  english_only=$TESSDATA_PREFIX
  export TESSDATA_PREFIX=$models
  "$pages_tool" samples "$work/samples.pdf"
  mapfile -t names <"$work/samples.pdf.names"
  printf '\nScripts and languages, a page at a time (F1 against the typeset text, seconds):\n'
  printf '  %-28s %16s %22s %24s\n' page textract.bin "tesseract -l (model)" "OCRmyPDF -l"
  for ((i = 1; i <= ${#names[@]}; i++)); do
    name=${names[i - 1]}
    language=$(right_language "$name")
    qpdf --warning-exit-0 --empty --pages "$work/samples.pdf" "$i" -- "$work/sample-$i.pdf"
    awk -v RS='\f' -v n="$i" 'NR == n { printf "%s\f", $0 }' "$work/samples.pdf.txt" \
      >"$work/sample-$i.ref"
    extract LARKSPAN_OCR_JOBS=1 -- -layout "$work/sample-$i.pdf" "$work/sample-$i.larkspan"
    ours=$SECONDS_TAKEN
    start=$(now)
    pdftoppm -r 300 -gray "$work/sample-$i.pdf" |
      OMP_THREAD_LIMIT=1 tesseract stdin stdout -l "$language" 2>/dev/null >"$work/sample-$i.engine" ||
      fail "tesseract -l $language failed on $name (is its model installed?)"
    alone=$(since "$start")
    deskew=()
    case "$name" in *askew*) deskew=(--deskew) ;; esac
    start=$(now)
    OMP_THREAD_LIMIT=1 ocrmypdf -q -j 1 -l "$language" "${deskew[@]}" "$work/sample-$i.pdf" \
      "$work/sample-$i.ocrmypdf.pdf" 2>/dev/null &&
      pdftotext -enc UTF-8 "$work/sample-$i.ocrmypdf.pdf" "$work/sample-$i.ocrmypdf" ||
      : >"$work/sample-$i.ocrmypdf"
    theirs=$(since "$start")
    f1() { "$pages_tool" f1 "$work/sample-$i.ref" "$1" | cut -d' ' -f1; }
    printf '  %-28s %8s %6.2f s %8s %6.2f s (%-7s) %8s %6.2f s\n' "$name" \
      "$(f1 "$work/sample-$i.larkspan")" "$ours" "$(f1 "$work/sample-$i.engine")" "$alone" \
      "$language" "$(f1 "$work/sample-$i.ocrmypdf")" "$theirs"
  done
  export TESSDATA_PREFIX=$english_only
fi
# 5. Cores: the same scan with the tool held to one processor and to two.
printf '\nPages per minute on %d scanned pages, held to 1 and 2 processors (taskset):\n' "$pages"
for cores in 1 2; do
  cpus=0
  [ "$cores" = 2 ] && cpus=0,1
  start=$(now)
  said=$(taskset -c "$cpus" "$textract" -enc UTF-8 -eol dos -layout "$work/scanned.pdf" \
    "$work/cores-$cores.txt" 2>&1) || fail "textract.bin on $cores cores failed: $said"
  [ -z "$said" ] || fail "textract.bin on $cores cores printed: $said"
  ours=$(awk -v a="$start" -v b="$(now)" 'BEGIN { print b - a }')
  start=$(now)
  taskset -c "$cpus" ocrmypdf -q -j "$cores" --output-type pdf --optimize 0 \
    --sidecar "$work/ocrmypdf-$cores.txt" "$work/scanned.pdf" "$work/ocrmypdf-$cores.pdf" ||
    fail "ocrmypdf -j $cores failed"
  theirs=$(awk -v a="$start" -v b="$(now)" 'BEGIN { print b - a }')
  awk -v c="$cores" -v o="$ours" -v t="$theirs" -v n="$pages" \
    -v oa="$("$pages_tool" score "$work" "$work/cores-$cores.txt" x 0 | awk '$1 == "all" { print $7 }')" \
    -v ta="$("$pages_tool" score "$work" "$work/ocrmypdf-$cores.txt" x 0 | awk '$1 == "all" { print $7 }')" \
    'BEGIN { printf "  %d core%s: textract.bin %5.1f pages/min (agreement %s), ocrmypdf -j %d %5.1f pages/min (%s), ratio %.2f\n",
      c, (c == 1 ? " " : "s"), n * 60 / o, oa, c, n * 60 / t, ta, t / o }'
done

printf '\nload at end: %s\n' "$(load)"

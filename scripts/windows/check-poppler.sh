#!/usr/bin/env bash
# Shows that poppler's pdftotext.exe and pdfinfo.exe for Windows give the text the program
# relies on, run under wine through cmd.exe /C from the folder that holds them:
#   scripts/windows/check-poppler.sh [build folder, default build-win] [tools folder...]
# The tools folders default to <build>/deps/poppler/bin; with several (a rebuilt copy beside the
# prebuilt one, say) their outputs are also compared with each other. The PDF comes from the
# Linux build's e2e-make-pdf (built into build/ when missing); the text is compared byte for
# byte with Debian's own pdftotext, and an encrypted copy is made with qpdf. Then the tools of
# the first folder and <build>/deps/pdftoppm/bin/pdftoppm.exe read the PDF from standard input,
# and pdftoppm's image on standard output must be the one Debian's pdftoppm renders.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
build=$(realpath -m "${1:-$larkspan_top/build-win}")
shift || true
tool_folders=("$@")
[ ${#tool_folders[@]} -gt 0 ] || tool_folders=("$build/deps/poppler/bin")
source "$larkspan_top/scripts/windows/wine-env.sh" "$build"
checks=$build/checks/poppler
failures=0
fail() {
  echo "FAILED: $*"
  failures=$((failures + 1))
}

make_pdf=$larkspan_top/build/bin/e2e-make-pdf
if [ ! -x "$make_pdf" ]; then
  if [ ! -f "$larkspan_top/build/build.ninja" ]; then
    "$larkspan_top/scripts/install-deps.sh"
    cmake -S "$larkspan_top" -B "$larkspan_top/build" -G Ninja
  fi
  step "build e2e-make-pdf (Linux)" cmake --build "$larkspan_top/build" --target e2e-make-pdf
fi
rm -rf "$checks"
mkdir -p "$checks/native"
"$make_pdf" "$checks/sample.pdf"
qpdf --encrypt secret owner 256 -- "$checks/sample.pdf" "$checks/locked.pdf"
step "wine prefix and server" larkspan_wine_start

# The cases: output file name, then the tool's command line (in the tools' folder). The password
# has no blank: wine writes an argument's inner quotes as \", which cmd.exe does not read.
cases=(
  "layout.txt|pdftotext.exe -enc UTF-8 -eol dos -layout sample.pdf layout.txt"
  "raw-pages.txt|pdftotext.exe -enc UTF-8 -eol dos -raw -nopgbrk -f 2 -l 3 sample.pdf raw-pages.txt"
  "locked.txt|pdftotext.exe -enc UTF-8 -eol dos -upw secret locked.pdf locked.txt"
)

# Runs every case with the tools of one folder; what each printed goes to <name>.out.
run_folder() {
  local out=$1 tools=$2 entry name command
  mkdir -p "$out"
  cp "$tools/pdftotext.exe" "$tools/pdfinfo.exe" "$checks/sample.pdf" "$checks/locked.pdf" "$out"
  for entry in "${cases[@]}" \
    "info.out|pdfinfo.exe sample.pdf" \
    "info-locked.out|pdfinfo.exe locked.pdf" \
    "info-unlocked.out|pdfinfo.exe -upw secret locked.pdf" \
    "missing.out|pdftotext.exe missing.pdf missing.txt" \
    "notool.out|textract.bin sample.pdf"; do
    name=${entry%%|*}
    command=${entry#*|}
    (cd "$out" && "$WINE" cmd.exe /C "$command" >"${name%.*}.out" 2>&1) || true
  done
}

for i in "${!tool_folders[@]}"; do
  out=$checks/tools-$i
  step "run ${tool_folders[$i]}" run_folder "$out" "${tool_folders[$i]}"
  for entry in "${cases[@]}"; do
    name=${entry%%|*}
    command=${entry#*|}
    command=${command#pdftotext.exe }
    eval "set -- $command"
    (cd "$checks/native" && cp -f ../sample.pdf ../locked.pdf . && pdftotext "$@")
    cmp -s "$out/$name" "$checks/native/$name" || fail "$name differs from Debian's pdftotext"
    [ -s "$out/${name%.*}.out" ] && fail "pdftotext printed something for $name"
  done
  grep -q $'^Page 1 of 3\r$' "$out/layout.txt" || fail "no CR LF lines in layout.txt"
  grep -q 'Grüße aus Köln' "$out/layout.txt" || fail "no UTF-8 text in layout.txt"
  [ "$(grep -c $'\f' "$out/layout.txt")" -eq 3 ] || fail "layout.txt has no form feed per page"
  grep -q '^Larkspan known words page 2' "$out/raw-pages.txt" || fail "page 2 missing"
  grep -q 'page 1' "$out/raw-pages.txt" && fail "page 1 was not left out"
  grep -Eq $'^Pages: +3\r$' "$out/info.out" || fail "pdfinfo gave no page count"
  grep -Eq $'^Pages: +3\r$' "$out/info-unlocked.out" || fail "pdfinfo did not open with -upw"
  [ "$(head -n 1 "$out/info-locked.out")" = $'Command Line Error: Incorrect password\r' ] ||
    fail "pdfinfo without password: $(head -n 1 "$out/info-locked.out")"
  [ -s "$out/notool.out" ] || fail "cmd.exe said nothing about a missing tool"
  echo "missing input file: $(tr -d '\r' <"$out/missing.out")"
  echo "missing tool: $(tr -d '\r' <"$out/notool.out")"
  if [ "$i" -gt 0 ]; then
    diff -r -x '*.exe' "$checks/tools-0" "$out" >/dev/null || fail "tools-$i differ from tools-0"
  fi
done

# The PDF on standard input ("-", as the tools are fed decrypted bytes) and pdftoppm's grey image
# on standard output, through cmd.exe's redirections: all bytes as they are, no CR LF or end of
# file (^Z) of a text stream. The scanned page is a JPEG, which the renderer must decode, and its
# image must be the one Debian's pdftoppm renders.
check_streams() {
  local out=$checks/streams
  mkdir -p "$out"
  cp "${tool_folders[0]}/pdftotext.exe" "${tool_folders[0]}/pdfinfo.exe" \
    "$build/deps/pdftoppm/bin/pdftoppm.exe" "$checks/sample.pdf" "$checks/locked.pdf" "$out"
  pdftoppm -r 300 -gray -jpeg -singlefile -f 1 -l 1 "$checks/sample.pdf" "$out/page" &&
    img2pdf -o "$out/scan.pdf" "$out/page.jpg"
  (cd "$out" &&
    "$WINE" cmd.exe /C "pdftotext.exe -enc UTF-8 -eol dos -layout - layout.txt < sample.pdf" &&
    "$WINE" cmd.exe /C "pdfinfo.exe -upw secret - < locked.pdf > info.out" &&
    "$WINE" cmd.exe /C "pdftoppm.exe -r 300 -gray -f 1 -l 1 - < scan.pdf > page.pgm") \
    2>"$out/said" || fail "a tool failed on standard input: $(cat "$out/said")"
  cmp -s "$out/layout.txt" "$checks/tools-0/layout.txt" || fail "pdftotext read - differently"
  grep -Eq $'^Pages: +3\r$' "$out/info.out" || fail "pdfinfo did not read the locked PDF from -"
  pdftoppm -r 300 -gray -f 1 -l 1 "$out/scan.pdf" >"$out/native.pgm"
  cmp -s "$out/page.pgm" "$out/native.pgm" || fail "pdftoppm.exe's image differs from" \
    "Debian's ($(head -c 20 "$out/page.pgm" | od -c | head -n 1))"
}
step "standard input and output" check_streams

[ "$failures" -eq 0 ] && echo "poppler tools under wine: all checks passed"
exit "$failures"

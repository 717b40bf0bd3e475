#!/usr/bin/env bash
# What a long password costs: extractions by textract.bin of two large AES-256 documents of about
# the same size, unencrypted, with a 20-byte password (which poppler opens itself) and with a
# 40-byte one (which the adapter decrypts once with libqpdf into a private copy): "text", pages
# of dense text with a small picture each, whose extraction is mostly reading text, and
# "pictures", few pages each with a large picture of noise that no filter makes smaller, where
# nearly all the work of a long password is the decryption. Prints seconds and the peak resident
# memory of textract.bin and everything it started, summed (sampled every 20 ms), and whether the
# three texts of a document are the same. With WIN_BUILD=<the Windows build folder> the same
# under wine for its textract.bin; BENCH_DOCUMENTS="pictures" (or "text") measures only that one.
# Arguments: [megabytes] [runs of each] (default 300 and 1).
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${BUILD_DIR:-$top/build}
megabytes=${1:-300}
runs=${2:-1}
"$top/scripts/install-deps.sh" "$top/scripts/debian-packages.txt" "$top/scripts/bench-packages.txt"
[ -f "$build/CMakeCache.txt" ] || cmake -S "$top" -B "$build" -G Ninja
cmake --build "$build" --target textract.bin

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
short=$(printf 'p%.0s' {1..20})
long=$(printf 'q%.0s' {1..40})

# PAGES pages of LINES lines of text and a picture of SIDE x SIDE grey noise each.
make_pdf() { # PATH PAGES LINES SIDE
    python3 - "$@" <<'EOF'
import os, sys
target, count, lines, side = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), int(sys.argv[4])
out = [b"%PDF-1.7\n"]
offsets = []
size = [len(out[0])]
def obj(body):
    offsets.append(size[0])
    out.append(b"%d 0 obj\n" % len(offsets) + body + b"\nendobj\n")
    size[0] += len(out[-1])
obj(b"<< /Type /Catalog /Pages 2 0 R >>")
kids = " ".join("%d 0 R" % (4 + 3 * i) for i in range(count)).encode()
obj(b"<< /Type /Pages /Kids [" + kids + b"] /Count %d >>" % count)
obj(b"<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>")
for i in range(count):
    page, content, image = 4 + 3 * i, 5 + 3 * i, 6 + 3 * i
    obj(b"<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Resources << /Font << /F1 3 0 R >> "
        b"/XObject << /Im %d 0 R >> >> /Contents %d 0 R >>" % (image, content))
    text = b"BT /F1 9 Tf 10.5 TL 40 760 Td"
    for line in range(lines):
        text += b" (Page %d line %d: the quick brown fox jumps over the lazy dog) '" % (i + 1, line + 1)
    text += b" ET q 100 0 0 100 450 40 cm /Im Do Q"
    obj(b"<< /Length %d >>\nstream\n" % len(text) + text + b"\nendstream")
    noise = os.urandom(side * side)
    obj(b"<< /Type /XObject /Subtype /Image /Width %d /Height %d /ColorSpace /DeviceGray "
        b"/BitsPerComponent 8 /Length %d >>\nstream\n" % (side, side, len(noise)) + noise + b"\nendstream")
start = size[0]
out.append(b"xref\n0 %d\n0000000000 65535 f \n" % (len(offsets) + 1))
out += [b"%010d 00000 n \n" % offset for offset in offsets]
out.append(b"trailer\n<< /Size %d /Root 1 0 R >>\nstartxref\n%d\n%%%%EOF\n" % (len(offsets) + 1, start))
with open(target, "wb") as f:
    f.writelines(out)
EOF
}

encrypt_copies() { # NAME
    qpdf --encrypt "$short" owner-secret 256 -- "$work/$1-plain.pdf" "$work/$1-short.pdf"
    qpdf --encrypt "$long" owner-secret 256 -- "$work/$1-plain.pdf" "$work/$1-long.pdf"
    printf '%s: %s MB\n' "$1" "$(($(stat -c %s "$work/$1-long.pdf") / 1000000))"
}
# A page of dense text is about 4 KB of PDF; its picture brings it to about 16 KB.
for document in ${BENCH_DOCUMENTS:-text pictures}; do
    case $document in
    text) make_pdf "$work/text-plain.pdf" $((megabytes * 1000 / 16)) 60 110 ;;
    pictures) make_pdf "$work/pictures-plain.pdf" "$megabytes" 1 1024 ;;
    esac
    encrypt_copies "$document"
done

# Peak of the summed resident memory of PID and its descendants, in MB, until PID ends.
peak_of_tree() { # PID
    local peak=0 sum pids rss
    while kill -0 "$1" 2>/dev/null; do
        pids=$(ps -e -o pid=,ppid= | awk -v root="$1" '
            { parent[$1] = $2 }
            END { for (p in parent) { q = p; while (q != "" && q != root && q > 1) q = parent[q]; if (q == root) print p } }')
        sum=0
        for pid in $pids; do
            rss=$(awk '/^VmRSS:/ { print $2 }' "/proc/$pid/status" 2>/dev/null || true)
            sum=$((sum + ${rss:-0}))
        done
        [ "$sum" -gt "$peak" ] && peak=$sum
        sleep 0.02
    done
    echo $((peak / 1024))
}

measure() { # LABEL PROGRAM PREFIX... (the arguments in ARGS)
    local label=$1 program=$2 run start end mb
    shift 2
    for run in $(seq "$runs"); do
        start=$(date +%s.%N)
        LARKSPAN_TESSERACT=/nonexistent "$@" "$program" -enc UTF-8 -eol dos -layout "${ARGS[@]}" &
        mb=$(peak_of_tree $!)
        wait $! || echo "  ($label: exit status $?)"
        end=$(date +%s.%N)
        printf '  %-22s %7.1f s %6s MB\n' "$label" "$(awk "BEGIN { print $end - $start }")" "$mb"
    done
}

run_set() { # SYSTEM PROGRAM PREFIX...
    local system=$1 program=$2 document
    shift 2
    for document in ${BENCH_DOCUMENTS:-text pictures}; do
        echo "$system, $document (load average $(cut -d' ' -f1-3 /proc/loadavg)):"
        ARGS=("$work/$document-plain.pdf" "$work/$system-plain.txt")
        measure unencrypted "$program" "$@"
        ARGS=(-upw "$short" "$work/$document-short.pdf" "$work/$system-short.txt")
        measure "20-byte password" "$program" "$@"
        ARGS=(-upw "$long" "$work/$document-long.pdf" "$work/$system-long.txt")
        measure "40-byte password" "$program" "$@"
        if cmp -s "$work/$system-plain.txt" "$work/$system-short.txt" &&
            cmp -s "$work/$system-plain.txt" "$work/$system-long.txt"; then
            echo "  the three texts are the same"
        else
            echo "  THE TEXTS DIFFER"
        fi
    done
}

run_set linux "$build/bin/textract.bin" env
if [ -n "${WIN_BUILD:-}" ]; then
    # shellcheck source=windows/wine-env.sh
    source "$top/scripts/windows/wine-env.sh" "$WIN_BUILD"
    run_set wine "$WIN_BUILD/bin/textract.bin" "$WINE"
fi

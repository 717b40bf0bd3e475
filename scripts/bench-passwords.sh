#!/usr/bin/env bash
# What a long password costs: one extraction by textract.bin of a large AES-256 document (by
# default about 300 MB: 300 pages, each with its text and a picture of 1 MB of noise that no
# filter makes smaller), unencrypted, with a 20-byte password (which poppler opens itself) and
# with a 40-byte one (which the adapter decrypts with libqpdf first); seconds and the peak
# resident memory of textract.bin and everything it started, summed (sampled every 20 ms), and
# whether the three texts are the same. With WIN_BUILD=<the Windows build folder> the same under
# wine for its textract.bin. Arguments: [megabytes] [runs of each] (default 300 and 1).
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

# Pages of a line of text and a picture of noise (an image of raw grey bytes).
python3 - "$work/plain.pdf" "$megabytes" <<'EOF'
import os, sys
target, count = sys.argv[1], int(sys.argv[2])
side = 1024
out = [b"%PDF-1.7\n"]
offsets = []
def obj(body):
    offsets.append(sum(len(part) for part in out))
    out.append(b"%d 0 obj\n" % len(offsets) + body + b"\nendobj\n")
obj(b"<< /Type /Catalog /Pages 2 0 R >>")
kids = " ".join("%d 0 R" % (4 + 3 * i) for i in range(count)).encode()
obj(b"<< /Type /Pages /Kids [" + kids + b"] /Count %d >>" % count)
obj(b"<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>")
for i in range(count):
    page, content, image = 4 + 3 * i, 5 + 3 * i, 6 + 3 * i
    obj(b"<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Resources << /Font << /F1 3 0 R >> "
        b"/XObject << /Im %d 0 R >> >> /Contents %d 0 R >>" % (image, content))
    text = b"BT /F1 12 Tf 72 720 Td (Page %d of %d, a picture of noise below) Tj ET " % (i + 1, count)
    text += b"q 400 0 0 400 106 200 cm /Im Do Q"
    obj(b"<< /Length %d >>\nstream\n" % len(text) + text + b"\nendstream")
    noise = os.urandom(side * side)
    obj(b"<< /Type /XObject /Subtype /Image /Width %d /Height %d /ColorSpace /DeviceGray "
        b"/BitsPerComponent 8 /Length %d >>\nstream\n" % (side, side, len(noise)) + noise + b"\nendstream")
start = sum(len(part) for part in out)
out.append(b"xref\n0 %d\n0000000000 65535 f \n" % (len(offsets) + 1))
out += [b"%010d 00000 n \n" % offset for offset in offsets]
out.append(b"trailer\n<< /Size %d /Root 1 0 R >>\nstartxref\n%d\n%%%%EOF\n" % (len(offsets) + 1, start))
with open(target, "wb") as f:
    f.writelines(out)
EOF
qpdf --encrypt "$short" owner-secret 256 -- "$work/plain.pdf" "$work/short.pdf"
qpdf --encrypt "$long" owner-secret 256 -- "$work/plain.pdf" "$work/long.pdf"
printf 'document: %s MB, %s pages\n' "$(($(stat -c %s "$work/long.pdf") / 1000000))" "$megabytes"

# Peak of the summed resident memory of PID and its descendants, in MB, until PID ends.
peak_of_tree() { # PID
    local peak=0 sum pids
    while kill -0 "$1" 2>/dev/null; do
        pids=$(ps -e -o pid=,ppid= | awk -v root="$1" '
            { parent[$1] = $2 } END { for (p in parent) { q = p; while (q != "" && q != root && q > 1) q = parent[q]; if (q == root) print p } }')
        sum=0
        for pid in $pids; do
            sum=$((sum + $(awk '/^VmRSS:/ { print $2 }' "/proc/$pid/status" 2>/dev/null || echo 0)))
        done
        [ "$sum" -gt "$peak" ] && peak=$sum
        sleep 0.02
    done
    echo $((peak / 1024))
}

measure() { # LABEL PROGRAM [wine] -- ARGS...
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

run_set() { # NAME PROGRAM [PREFIX...]
    local name=$1 program=$2
    shift 2
    echo "$name (load average $(cut -d' ' -f1-3 /proc/loadavg)):"
    ARGS=("$work/plain.pdf" "$work/$name-plain.txt")
    measure unencrypted "$program" "$@"
    ARGS=(-upw "$short" "$work/short.pdf" "$work/$name-short.txt")
    measure "20-byte password" "$program" "$@"
    ARGS=(-upw "$long" "$work/long.pdf" "$work/$name-long.txt")
    measure "40-byte password" "$program" "$@"
    if cmp -s "$work/$name-plain.txt" "$work/$name-short.txt" &&
        cmp -s "$work/$name-plain.txt" "$work/$name-long.txt"; then
        echo "  the three texts are the same"
    else
        echo "  THE TEXTS DIFFER"
    fi
}

run_set linux "$build/bin/textract.bin" env
if [ -n "${WIN_BUILD:-}" ]; then
    # shellcheck source=windows/wine-env.sh
    source "$top/scripts/windows/wine-env.sh" "$WIN_BUILD"
    run_set wine "$WIN_BUILD/bin/textract.bin" "$WINE"
fi
